// The MP3 sound source: MPEG-1, MPEG-2 and MPEG-2.5 layer III files, decoded by our own
// layer III decoder.
#pragma once

#include <cstdint>
#include <string>

#include "audio/SoundSource.h"
#include "formats/mp3/Layer3Decoder.h"
#include "formats/mp3/MP3Header.h"
#include "formats/mp3/MP3Stream.h"

namespace sonvex {

class LMP3Source : public LSoundSourceBase {
public:
    // Always yields an object: ErrorState 4 when the file cannot be opened, 3 when no frame
    // can be decoded.
    explicit LMP3Source(const std::string& path);
    explicit LMP3Source(LByteSource&& bytes);
    ~LMP3Source() override = default;

    void Read(int32_t* pBuffer, int frames) override;
    int32_t GetPosition() override { return sPosition; }
    int32_t GetLength() override { return sLength; }
    void Seek(int32_t frame) override;

    // Stream facts, for diagnostics and tests.
    int32_t FrameCountFromTag() const { return nFrames; }
    double AverageFrameBytes() const { return dFrameBytes; }
    const mp3::MP3Header& FirstHeader() const { return firstHeader; }
    int32_t FrameSamples() const { return nFrameSamples; }
    int32_t FreeFormatBytes() const { return nFreeBytes; }

private:
    int32_t ID3v2TagBytes();
    bool FindFirstFrame(mp3::MP3Header& h);
    bool HeaderAt(int64_t pos, mp3::MP3Header& h, int freeBytes);
    bool EndsStream(int64_t pos);
    bool MeasureFreeFormat(int64_t pos, mp3::MP3Header& h);
    bool DecodeInitialHeader();
    void Rewind();
    bool DecodeHeader();
    bool DecodeFrame(int32_t* pDest);
    void ReestimateLength(int64_t sAfterFrame);

    int32_t sPosition = 0;
    int32_t sLength = 0;
    uint8_t bStereo = 0;
    int32_t nFrames = 0;
    mp3::LMP3Stream hFile;  // holds nBytesLeft
    int32_t nDataBytes = 0;
    int32_t nTagBytes = 0;  // leading ID3v2 tag
    int64_t nFileBytes = 0;
    int64_t nAudioStart = 0;  // after a Xing/Info/VBRI tag frame, else after the ID3v2 tag
    int32_t nFreeBytes = 0;   // free format: bytes of every frame without padding
    int nMainFill = 0;
    alignas(16) uint8_t MainData[mp3::kMainDataBytes + mp3::kMainDataGuard] = {};
    mp3::LLayer3Decoder decoder;
    mp3::MP3Header firstHeader;
    mp3::MP3Header curHeader;
    mp3::SideInfo sideInfo;
    double dFrameBytes = 0.0;
    alignas(32) int32_t pcmFrame[1152 * 2] = {};
    int32_t nFrameSamples = 1152;
    int32_t nBufferPos = 1152;
};

}  // namespace sonvex
