// PCM sample data read from an open file (WAV data chunks).
#pragma once

#include <cstdint>
#include <memory>

#include "audio/SoundSource.h"
#include "support/File.h"

namespace sonvex {

class LSRCPCMFileBase : public LSoundSourceBase {
public:
    static constexpr uint32_t kStreamingSize = 0xFFFFFFFF;

    // Takes the file positioned at the first sample; dataSize kStreamingSize means "to the end".
    LSRCPCMFileBase(LFile&& file, int32_t rate, int nChannels, int bytesPerSample,
                    uint32_t dataSize);

    void Read(int32_t* pBuffer, int frames) override;
    int32_t GetPosition() override { return sPosition_; }
    int32_t GetLength() override { return nLength_; }
    void Seek(int32_t frame) override;

protected:
    // Converts n samples from the conversion buffer.
    virtual void Convert(int32_t* pOut, int64_t nSamples) = 0;

    LFile file_;
    int64_t iDataStart_ = 0;
    int32_t sPosition_ = 0;
    int32_t nLength_ = 0;
    int nBlockBytes_ = 2;
    std::unique_ptr<uint8_t[]> pBuffer_;  // kBlockFrames frames of file bytes
};

class LSRCPCMFile8 final : public LSRCPCMFileBase {
public:
    LSRCPCMFile8(LFile&& file, int32_t rate, int nChannels, uint32_t dataSize)
        : LSRCPCMFileBase(std::move(file), rate, nChannels, 1, dataSize) {}

protected:
    void Convert(int32_t* pOut, int64_t nSamples) override;
};

class LSRCPCMFile16 final : public LSRCPCMFileBase {
public:
    LSRCPCMFile16(LFile&& file, int32_t rate, int nChannels, uint32_t dataSize)
        : LSRCPCMFileBase(std::move(file), rate, nChannels, 2, dataSize) {}

protected:
    void Convert(int32_t* pOut, int64_t nSamples) override;
};

}  // namespace sonvex
