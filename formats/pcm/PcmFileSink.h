// PCM WAV writers: a 46-byte header whose sizes stay 0xFFFFFFFF until the file is finished.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/SoundSink.h"
#include "support/File.h"

namespace sonvex {

class LSNKPCMFileBase : public LSoundSinkBase {
public:
    static constexpr int kHeaderBytes = 46;

    LSNKPCMFileBase(const std::string& path, int32_t rate, int bytesPerSample, int nChannels);
    ~LSNKPCMFileBase() override;

    void Write(const int32_t* pBuffer, int frames) override;
    // Writes frames already in this sink's sample bytes.
    void WriteStored(const uint8_t* pBytes, int frames);
    int BytesPerSample() const { return nBytesPerSample_; }
    // Cuts the output back to a frame already written.
    void Seek(int32_t frame) override;
    // Writes the final header and closes the file; false when a write failed.
    bool Finish() override;

protected:
    virtual void Convert(const int32_t* pIn, int64_t nSamples) = 0;
    void WriteHeader(uint32_t dataSize, uint32_t riffSize);
    void WriteBytes(const uint8_t* p, int64_t n);

    int nBytesPerSample_;
    int nBlockBytes_;
    LFile file_;
    std::unique_ptr<uint8_t[]> pBuffer_;
    bool bFinished_ = false;
};

class LSNKPCMFile8 final : public LSNKPCMFileBase {
public:
    LSNKPCMFile8(const std::string& path, int32_t rate, int nChannels)
        : LSNKPCMFileBase(path, rate, 1, nChannels) {}

protected:
    void Convert(const int32_t* pIn, int64_t nSamples) override;
};

class LSNKPCMFile16 final : public LSNKPCMFileBase {
public:
    LSNKPCMFile16(const std::string& path, int32_t rate, int nChannels)
        : LSNKPCMFileBase(path, rate, 2, nChannels) {}

protected:
    void Convert(const int32_t* pIn, int64_t nSamples) override;
};

}  // namespace sonvex
