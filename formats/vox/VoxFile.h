// Dialogic (OKI) 4-bit ADPCM in headerless mono files, two samples per byte, the earlier in
// the high nibble. The predictor leaks 1/64 of itself per sample and reconstructs at 128 times
// the 12-bit reference scale, in the internal sample scale.
//
// Seek is exact: it restarts the decoder at the start of the file and decodes up to the frame,
// so reading from a sought position gives the same samples as reading straight through. A
// negative frame gives that many frames of silence before the first sample.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "support/ByteSource.h"
#include "support/File.h"

namespace sonvex {

// Codec state shared by the decoder and the encoder.
struct LVoxState {
    int32_t iStep = 0;
    int32_t iPredictor = 0;

    int32_t DecodeNibble(int nibble);
    int EncodeSample(int32_t x);
};

class LSRCVOX final : public LSoundSourceBase {
public:
    LSRCVOX(const char* szFileName, int32_t rate);
    LSRCVOX(LByteSource&& bytes, int32_t rate);

    void Read(int32_t* pBuffer, int frames) override;
    int32_t GetPosition() override { return sPosition_; }
    int32_t GetLength() override;
    void Seek(int32_t frame) override;

private:
    LVoxState state_;
    LByteSource hFile_;
    int32_t sPosition_ = 0;
    uint8_t bPending_ = 0;
    uint8_t uPendingByte_ = 0;
    std::vector<uint8_t> buffer_;
};

class LSNKVOX final : public LSoundSinkBase {
public:
    LSNKVOX(const char* szFileName, int32_t rate);
    ~LSNKVOX() override;

    void Write(const int32_t* pBuffer, int frames) override;
    // Closes the file; a pending odd sample is dropped. False when a write failed.
    bool Finish() override;

private:
    LVoxState state_;
    LFile hFile_;
    uint8_t bPending_ = 0;
    uint8_t uPendingByte_ = 0;  // the high nibble, already in bits 7-4
    bool bFinished_ = false;
    std::vector<uint8_t> buffer_;
};

}  // namespace sonvex
