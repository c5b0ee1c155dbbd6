#include "formats/pcm/PcmFileSink.h"

#include <algorithm>
#include <cstring>

#include "audio/SoundSource.h"
#include "formats/wav/WaveFormat.h"
#include "platform/Debug.h"

namespace sonvex {

LSNKPCMFileBase::LSNKPCMFileBase(const std::string& path, int32_t rate, int bytesPerSample,
                                 int nChannels)
    : LSoundSinkBase(rate, nChannels), nBytesPerSample_(bytesPerSample) {
    nBlockBytes_ = nBytesPerSample_ * nChans;
    pBuffer_.reset(
        new uint8_t[static_cast<size_t>(kBlockFrames) * static_cast<size_t>(nBlockBytes_)]);
    if (!file_.Open(path, LFile::Mode::Write)) {
        DebugLog("LSNKPCMFileBase::LSNKPCMFileBase unable to open file:%s", path.c_str());
        uErrorFlags |= kErrorUnusable;
        return;
    }
    WriteHeader(0xFFFFFFFF, 0xFFFFFFFF);
    if (!file_.Truncate()) DebugLog("LFile::Truncate()");
}

LSNKPCMFileBase::~LSNKPCMFileBase() {
    if (!bFinished_) Finish();
}

bool LSNKPCMFileBase::Finish() {
    if (bFinished_) return !IsUnusable();
    bFinished_ = true;
    if (!file_.IsOpen()) return !IsUnusable();
    // Sizes past what 32 bits hold stay at the streaming value, which readers take as "to the end".
    const uint64_t data = static_cast<uint64_t>(sPosition) * static_cast<uint64_t>(nBlockBytes_);
    const uint32_t dataSize = data >= 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(data);
    const uint32_t riffSize =
        data + 38 >= 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(data + 38);
    file_.Seek(0);
    WriteHeader(dataSize, riffSize);
    file_.Close();
    return !IsUnusable();
}

void LSNKPCMFileBase::WriteHeader(uint32_t dataSize, uint32_t riffSize) {
    uint8_t h[kHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    SetLE32(h + 4, riffSize);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    SetLE32(h + 16, 18);
    SetLE16(h + 20, WAVE_FORMAT_PCM);
    SetLE16(h + 22, nChans);
    SetLE32(h + 24, static_cast<uint32_t>(SampleRate));
    SetLE32(h + 28, static_cast<uint32_t>(SampleRate) * static_cast<uint32_t>(nBlockBytes_));
    SetLE16(h + 32, static_cast<uint32_t>(nBlockBytes_));
    SetLE16(h + 34, static_cast<uint32_t>(8 * nBytesPerSample_));
    SetLE16(h + 36, 0);
    std::memcpy(h + 38, "data", 4);
    SetLE32(h + 42, dataSize);
    if (!file_.WriteExact(h, kHeaderBytes)) uErrorFlags |= kErrorUnusable;
}

void LSNKPCMFileBase::WriteBytes(const uint8_t* p, int64_t n) {
    // A short write (disk full, file gone) makes the sink unusable so the caller sees it.
    if (file_.IsOpen() && !file_.WriteExact(p, n)) uErrorFlags |= kErrorUnusable;
}

void LSNKPCMFileBase::Write(const int32_t* pBuffer, int frames) {
    if (frames <= 0 || bFinished_) return;
    sPosition += frames;
    int done = 0;
    while (done < frames) {
        const int n = std::min(frames - done, kBlockFrames);
        Convert(pBuffer + static_cast<int64_t>(done) * nChans, static_cast<int64_t>(n) * nChans);
        WriteBytes(pBuffer_.get(), static_cast<int64_t>(n) * nBlockBytes_);
        done += n;
    }
}

void LSNKPCMFileBase::WriteStored(const uint8_t* pBytes, int frames) {
    if (frames <= 0 || bFinished_) return;
    sPosition += frames;
    WriteBytes(pBytes, static_cast<int64_t>(frames) * nBlockBytes_);
}

void LSNKPCMFileBase::Seek(int32_t frame) {
    if (bFinished_) return;
    if (frame > sPosition) {
        DebugLog("LSNKPCMFileBase::Seek Position > sPosition");
        return;
    }
    if (frame < 0) {
        DebugLog("LSNKPCMFileBase::Seek Position < 0");
        frame = 0;
    }
    sPosition = frame;
    file_.Seek(kHeaderBytes + static_cast<int64_t>(frame) * nBlockBytes_);
    file_.Truncate();
}

void LSNKPCMFile8::Convert(const int32_t* pIn, int64_t nSamples) {
    uint8_t* out = pBuffer_.get();
    for (int64_t i = 0; i < nSamples; ++i) out[i] = SampleToU8(pIn[i]);
}

void LSNKPCMFile16::Convert(const int32_t* pIn, int64_t nSamples) {
    uint8_t* __restrict out = pBuffer_.get();
    const int32_t* __restrict in = pIn;
    ForEachSample(nSamples, [=](int64_t i) {
        const int16_t v = SampleTo16(in[i]);
        std::memcpy(out + 2 * i, &v, 2);  // little-endian host
    });
}

}  // namespace sonvex
