// ".gsm" files: headerless sequences of 33-byte GSM 06.10 frames, 8000 Hz mono.
#pragma once

#include <cstdint>
#include <string>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "formats/gsm/GsmCodec.h"
#include "support/ByteSource.h"
#include "support/File.h"

namespace sonvex {

// Decoded samples are not clipped, so they may reach twice 16-bit full scale.
class LGSMFileSource final : public LSoundSourceBase {
public:
    explicit LGSMFileSource(const std::string& path);
    explicit LGSMFileSource(LByteSource&& bytes);

    void Read(int32_t* pBuffer, int frames) override;
    int32_t GetPosition() override { return sPosition_; }
    int32_t GetLength() override { return sLength_; }
    // Restarts the decoder without warm-up at the frame holding the position.
    void Seek(int32_t frame) override;

private:
    // Reads the frames of the next n samples in one go (when not yet read).
    void ReadAhead(int64_t nSamples);
    // Decodes the next frame read; a frame missing from the file gives silence.
    void DecodeNextFrame(int32_t* pOut);

    LGSMDecoderState state_;
    LByteSource hFile_;
    int32_t buffer_[kGsmFrameSamples];
    int iBufferIndex_ = kGsmFrameSamples;
    static constexpr int kReadAheadFrames = kBlockFrames / kGsmFrameSamples + 2;
    uint8_t frames_[kReadAheadFrames * kGsmFrameBytes];
    int nFramesRead_ = 0;  // bytes of whole frames in frames_
    int iFrameNext_ = 0;
    int32_t sPosition_ = 0;
    int32_t sLength_ = 0;
};

// Always 8000 Hz mono; a started block of 160 samples is padded with silence at the end.
class LGSMFileSink final : public LSoundSinkBase {
public:
    explicit LGSMFileSink(const std::string& path);
    ~LGSMFileSink() override;
    // Pads and writes the last frame, then closes the file; false when a write failed.
    bool Finish() override;

    void Write(const int32_t* pBuffer, int frames) override;

private:
    // Encodes a block into the frame buffer; Flush writes the buffer.
    void Encode(const int32_t* pSamples);
    void Flush();

    LGSMEncoderState state_;
    LFile hFile_;
    int32_t pending_[kGsmFrameSamples];
    int nPending_ = 0;
    static constexpr int kFrameBufferFrames = kBlockFrames / kGsmFrameSamples + 2;
    uint8_t frames_[kFrameBufferFrames * kGsmFrameBytes];
    int nFrames_ = 0;
    bool bFinished_ = false;
};

}  // namespace sonvex
