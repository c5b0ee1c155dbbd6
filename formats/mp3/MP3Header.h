// MPEG audio frame headers (ISO/IEC 11172-3, 13818-3 and the MPEG-2.5 rates).
#pragma once

#include <cstdint>

namespace sonvex::mp3 {

class LMP3Stream;

struct MP3Header {
    int32_t version = 0;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int32_t protection_bit = 1;
    int32_t bitrate = 0;  // bits per second
    int32_t sampling_frequency = 0;
    int32_t padding_bit = 0;
    int32_t mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int32_t mode_extension = 0;

    // Tests one 4-byte window; fills the header only when it is a layer III header we accept.
    static bool Parse(const uint8_t b[4], MP3Header& h);

    // Searches from the stream's position (at most 65536 window positions); skips the CRC.
    bool ReadHeader(LMP3Stream& s);

    int SampleRate() const;
    int FrameSamples() const { return version == 0 ? 1152 : 576; }
    int Granules() const { return version == 0 ? 2 : 1; }
    int Channels() const { return mode == 3 ? 1 : 2; }
    int PayloadBytes() const;  // after the header and the CRC
    int SideInfoBytes() const;
    int MainDataBytes() const;
};

}  // namespace sonvex::mp3
