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
    int32_t free_bytes = 0;  // free format: the frame's bytes without padding; else 0

    // Free format (bitrate index 0): refused when freeBytes is 0, taken with frames of
    // freeBytes bytes when it is positive, and with free_bytes and bitrate 0 (length not yet
    // known) when it is kFreeUnmeasured.
    static constexpr int kFreeUnmeasured = -1;
    static constexpr int kMaxFreeBytes = 3072;  // 640 kbit/s at 32000 Hz fits

    // Tests one 4-byte window; fills the header only when it is a layer III header we accept.
    static bool Parse(const uint8_t b[4], MP3Header& h, int freeBytes = 0);

    // Searches from the stream's position (at most maxTested window positions); skips the CRC.
    bool ReadHeader(LMP3Stream& s, int freeBytes = 0, int maxTested = 65536);

    // Same version, sampling frequency and channel count: frames of one stream.
    bool SameStream(const MP3Header& o) const {
        return version == o.version && sampling_frequency == o.sampling_frequency &&
               (mode == 3) == (o.mode == 3);
    }

    int SampleRate() const;
    int FrameSamples() const { return version == 0 ? 1152 : 576; }
    int Granules() const { return version == 0 ? 2 : 1; }
    int Channels() const { return mode == 3 ? 1 : 2; }
    int PayloadBytes() const;  // after the header and the CRC
    int FrameBytes() const { return PayloadBytes() + (protection_bit == 0 ? 6 : 4); }
    int SideInfoBytes() const;
    int MainDataBytes() const;
};

}  // namespace sonvex::mp3
