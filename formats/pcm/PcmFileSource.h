// PCM sample data read from an open file (WAV data chunks).
#pragma once

#include <cstdint>
#include <memory>

#include "audio/SoundSource.h"
#include "support/ByteSource.h"
#include "support/File.h"

namespace sonvex {

class LSRCPCMFileBase : public LSoundSourceBase {
public:
    static constexpr uint32_t kStreamingSize = 0xFFFFFFFF;
    // The file is read in blocks of this many bytes (whole frames, at least one).
    static constexpr int kReadBytes = 1 << 20;

    // Takes the file positioned at the first sample; dataSize kStreamingSize means "to the end".
    LSRCPCMFileBase(LByteSource&& file, int32_t rate, int nChannels, int bytesPerSample,
                    uint32_t dataSize);

    void Read(int32_t* pBuffer, int frames) override;
    int32_t GetPosition() override { return sPosition_; }
    int32_t GetLength() override { return nLength_; }
    void Seek(int32_t frame) override;
    // Hands whole read blocks to a PCM WAV sink of the same sample size and channel count:
    // converting those samples in and out would give the same bytes.
    int CopyTo(LSoundSinkBase& sink) override;

protected:
    // Converts n samples of file bytes.
    virtual void Convert(int32_t* pOut, const uint8_t* pIn, int64_t nSamples) = 0;

private:
    // Reads the block starting at the frame; false when the file has no bytes there.
    bool Fill(int64_t frame);

    LByteSource file_;
    int64_t iDataStart_ = 0;
    int32_t sPosition_ = 0;
    int32_t nLength_ = 0;
    int nBytesPerSample_;
    int nBlockBytes_ = 2;
    uint8_t uSilence_;         // the byte of a zero sample
    int64_t nBufferFrames_;    // capacity of pBuffer_
    int64_t iBufferFrom_ = 0;  // frames [iBufferFrom_, iBufferTo_) are in pBuffer_
    int64_t iBufferTo_ = 0;
    int64_t iFileFrame_ = 0;  // the frame the file offset is at; -1 when not on a frame
    std::unique_ptr<uint8_t[]> pBuffer_;
};

class LSRCPCMFile8 final : public LSRCPCMFileBase {
public:
    LSRCPCMFile8(LByteSource&& file, int32_t rate, int nChannels, uint32_t dataSize)
        : LSRCPCMFileBase(std::move(file), rate, nChannels, 1, dataSize) {}

protected:
    void Convert(int32_t* pOut, const uint8_t* pIn, int64_t nSamples) override;
};

class LSRCPCMFile16 final : public LSRCPCMFileBase {
public:
    LSRCPCMFile16(LByteSource&& file, int32_t rate, int nChannels, uint32_t dataSize)
        : LSRCPCMFileBase(std::move(file), rate, nChannels, 2, dataSize) {}

protected:
    void Convert(int32_t* pOut, const uint8_t* pIn, int64_t nSamples) override;
};

}  // namespace sonvex
