#include "formats/wav/PcmFileSource.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/Debug.h"

namespace sonvex {

LSRCPCMFileBase::LSRCPCMFileBase(LFile&& file, int32_t rate, int nChannels, int bytesPerSample,
                                 uint32_t dataSize)
    : LSoundSourceBase(rate, nChannels, kFullScale16), file_(std::move(file)) {
    if (!file_.IsOpen()) {
        DebugLog("LSRCPCMFileBase::LSRCPCMFileBase File Not Open");
        ErrorState = LSRC_CANNOT_OPEN;
    }
    iDataStart_ = file_.Tell();
    nBlockBytes_ = bytesPerSample * nChans;
    if (nBlockBytes_ == 0) {
        DebugLog("LSRCPCMFileBase::LSRCPCMFileBase nChans == 0");
        ErrorState = LSRC_CORRUPT;
        nBlockBytes_ = 2;
    }
    int64_t size = dataSize;
    if (dataSize == kStreamingSize) {
        DebugLog("LSRCPCMFileBase::LSRCPCMFileBase Wav File Is Streaming");
        size = std::max<int64_t>(file_.GetFileSizeBytes() - iDataStart_, 0);
    }
    nLength_ = static_cast<int32_t>(std::min<int64_t>(size / nBlockBytes_, INT32_MAX));
    pBuffer_.reset(
        new uint8_t[static_cast<size_t>(kBlockFrames) * static_cast<size_t>(nBlockBytes_)]);
}

void LSRCPCMFileBase::Read(int32_t* pBuffer, int frames) {
    if (frames <= 0) return;
    const int64_t p = sPosition_;
    const int64_t end = p + frames;
    sPosition_ = static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX));
    int32_t* out = pBuffer;
    const int64_t total = static_cast<int64_t>(frames) * nChans;
    int64_t done = 0;
    if (end <= 0) {
        std::memset(pBuffer, 0, sizeof(int32_t) * static_cast<size_t>(total));
        return;
    }
    int64_t from = p;
    if (p < 0) {
        done = -p * nChans;
        std::memset(out, 0, sizeof(int32_t) * static_cast<size_t>(done));
        from = 0;
    }
    int64_t want = std::clamp<int64_t>(std::min<int64_t>(end, nLength_) - from, 0, kBlockFrames);
    if (want > 0) {
        int64_t got = file_.Read(pBuffer_.get(), want * nBlockBytes_);
        int64_t samples = got / (nBlockBytes_ / nChans);
        Convert(out + done, samples);
        done += samples;
    }
    if (done < total)
        std::memset(out + done, 0, sizeof(int32_t) * static_cast<size_t>(total - done));
}

void LSRCPCMFileBase::Seek(int32_t frame) {
    sPosition_ = frame;
    int64_t f = frame > 0 ? std::min<int64_t>(frame, nLength_) : 0;
    file_.Seek(iDataStart_ + f * nBlockBytes_);
}

void LSRCPCMFile8::Convert(int32_t* pOut, int64_t nSamples) {
    const uint8_t* in = pBuffer_.get();
    for (int64_t i = 0; i < nSamples; ++i) pOut[i] = (static_cast<int32_t>(in[i]) - 128) * 4096;
}

void LSRCPCMFile16::Convert(int32_t* pOut, int64_t nSamples) {
    const uint8_t* in = pBuffer_.get();
    for (int64_t i = 0; i < nSamples; ++i) {
        int16_t v;
        std::memcpy(&v, in + 2 * i, 2);  // little-endian host
        pOut[i] = static_cast<int32_t>(v) * 16;
    }
}

}  // namespace sonvex
