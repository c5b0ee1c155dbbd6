#include "formats/pcm/PcmFileSource.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "formats/pcm/PcmFileSink.h"
#include "platform/Debug.h"

namespace sonvex {

LSRCPCMFileBase::LSRCPCMFileBase(LByteSource&& file, int32_t rate, int nChannels,
                                 int bytesPerSample, uint32_t dataSize)
    : LSoundSourceBase(rate, nChannels, kFullScale16),
      file_(std::move(file)),
      nBytesPerSample_(bytesPerSample),
      uSilence_(bytesPerSample == 1 ? 0x80 : 0) {
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
    nBufferFrames_ = std::clamp<int64_t>(nLength_, 1, std::max(kReadBytes / nBlockBytes_, 1));
    pBuffer_.reset(new uint8_t[static_cast<size_t>(nBufferFrames_ * nBlockBytes_)]);
}

bool LSRCPCMFileBase::Fill(int64_t frame) {
    iBufferFrom_ = iBufferTo_ = frame;
    if (!file_.IsOpen()) return false;
    if (frame != iFileFrame_) file_.Seek(iDataStart_ + frame * nBlockBytes_);
    const int64_t want = std::min<int64_t>(nBufferFrames_, nLength_ - frame);
    const int64_t got = file_.Read(pBuffer_.get(), want * nBlockBytes_);
    int64_t frames = got / nBlockBytes_;
    iFileFrame_ = frame + frames;
    if (got % nBlockBytes_ != 0) {
        // A cut-short frame keeps its whole samples; the rest of it is silence.
        const int64_t whole = got - got % nBytesPerSample_;
        ++frames;
        std::memset(pBuffer_.get() + whole, uSilence_,
                    static_cast<size_t>(frames * nBlockBytes_ - whole));
        iFileFrame_ = -1;
    }
    iBufferTo_ = frame + frames;
    return frames > 0;
}

void LSRCPCMFileBase::Read(int32_t* pBuffer, int frames) {
    if (frames <= 0) return;
    int64_t f = sPosition_;
    const int64_t end = f + frames;
    sPosition_ = static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX));
    int32_t* out = pBuffer;
    if (f < 0) {
        const int64_t n = std::min<int64_t>(end, 0) - f;
        std::memset(out, 0, sizeof(int32_t) * static_cast<size_t>(n * nChans));
        out += n * nChans;
        f += n;
    }
    while (f < end && f < nLength_) {
        if ((f < iBufferFrom_ || f >= iBufferTo_) && !Fill(f)) break;
        const int64_t n = std::min(end, iBufferTo_) - f;
        Convert(out, pBuffer_.get() + (f - iBufferFrom_) * nBlockBytes_, n * nChans);
        out += n * nChans;
        f += n;
    }
    if (f < end) std::memset(out, 0, sizeof(int32_t) * static_cast<size_t>((end - f) * nChans));
}

int LSRCPCMFileBase::CopyTo(LSoundSinkBase& sink) {
    auto* out = dynamic_cast<LSNKPCMFileBase*>(&sink);
    const int64_t f = sPosition_;
    if (!out || out->BytesPerSample() != nBytesPerSample_ || out->nChans != nChans || f < 0 ||
        f >= nLength_)
        return 0;
    if ((f < iBufferFrom_ || f >= iBufferTo_) && !Fill(f)) return 0;
    const auto n = static_cast<int>(iBufferTo_ - f);
    out->WriteStored(pBuffer_.get() + (f - iBufferFrom_) * nBlockBytes_, n);
    sPosition_ = static_cast<int32_t>(f + n);
    return n;
}

void LSRCPCMFileBase::Seek(int32_t frame) {
    sPosition_ = frame;  // the file follows at the next read
}

void LSRCPCMFile8::Convert(int32_t* pOut, const uint8_t* pIn, int64_t nSamples) {
    int32_t* __restrict out = pOut;
    const uint8_t* __restrict in = pIn;
    ForEachSample(nSamples, [=](int64_t i) { out[i] = SampleFromU8(in[i]); });
}

void LSRCPCMFile16::Convert(int32_t* pOut, const uint8_t* pIn, int64_t nSamples) {
    int32_t* __restrict out = pOut;
    const uint8_t* __restrict in = pIn;
    ForEachSample(nSamples, [=](int64_t i) {
        int16_t v;
        std::memcpy(&v, in + 2 * i, 2);  // little-endian host
        out[i] = SampleFrom16(v);
    });
}

}  // namespace sonvex
