// WAV data in any format other than 8- or 16-bit PCM goes through the codec manager
// (platform/codec): the source decodes to 16-bit PCM, the sink encodes from it.
#pragma once

#include <memory>
#include <string>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "formats/wav/WaveFormat.h"
#include "platform/codec/CodecStream.h"
#include "support/ByteSource.h"
#include "support/File.h"

namespace sonvex {

class LSRCACMWave final : public LSoundSourceBase {
public:
    // The file positioned at the first data byte. ErrorState 4 when it is not open, 3 for a
    // malformed record, 5 when no codec decodes the format.
    LSRCACMWave(LByteSource&& file, const WAVEFORMATEX& format, uint32_t dataSize);

    void Read(int32_t* pBuffer, int frames) override;
    int32_t GetPosition() override { return sPosition_; }
    int32_t GetLength() override;
    void Seek(int32_t frame) override;

private:
    // Data bytes to frames and back: by whole codec blocks where the codec tells their
    // frames, else by the bytes per second.
    int64_t BytesToFrames(int64_t bytes) const;
    int64_t FramesToBytes(int64_t frames) const;
    // Conversion with the given flags; marks the end when it fails.
    bool Convert(unsigned flags, int64_t bytesNeeded);

    LByteSource file_;
    uint32_t nDataSize_ = 0;
    uint32_t nConsumed_ = 0;  // data bytes read from the file
    int64_t iDataStart_ = 0;
    std::unique_ptr<LCodecStream> stream_;
    LCodecStreamHeader header_;
    uint32_t nSrcSize_ = 0;
    uint32_t nDstSize_ = 0;
    uint32_t nRate_ = 0;
    uint32_t nBytesPerSec_ = 0;
    uint16_t nBlockAlign_ = 0;
    uint32_t nBlockFrames_ = 0;  // frames per block, 0 when the codec does not tell
    int32_t sPosition_ = 0;
    int32_t sEnd_ = -1;
    uint32_t nCarryAt_ = 0;  // delivered bytes at the front of the carry-over
    std::unique_ptr<uint8_t[]> pSrc_;
    std::unique_ptr<uint8_t[]> pDst_;
};

// The source for a data chunk in a non-PCM (or wider than 16-bit) format.
LSoundSourceRef OpenACMWaveSource(LByteSource&& file, const WAVEFORMATEX& format,
                                  uint32_t dataSize);

// Writes 16-bit PCM through the codec of the record into a WAV file holding the record as
// given. Unusable (and no file created) when no codec encodes the record.
class LSNKACMFile final : public LSoundSinkBase {
public:
    LSNKACMFile(const std::string& path, const WAVEFORMATEX& format);
    ~LSNKACMFile() override;
    void Write(const int32_t* pBuffer, int frames) override;
    // Flushes the codec and writes the final header.
    bool Finish() override;

private:
    void WriteHeader(uint32_t dataBytes, uint32_t riffBytes);
    void WriteOutput();

    LFile file_;
    std::vector<uint8_t> record_;
    std::unique_ptr<LCodecStream> stream_;
    LCodecStreamHeader header_;
    uint32_t nSrcSize_ = 0;
    uint32_t nDstSize_ = 0;
    uint32_t nSrcFill_ = 0;
    uint64_t nDataBytes_ = 0;
    std::unique_ptr<uint8_t[]> pSrc_;
    std::unique_ptr<uint8_t[]> pDst_;
    bool bFinished_ = false;
};

}  // namespace sonvex
