// The wave format record (the payload of a WAV file's "fmt " chunk), little-endian on disk.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace sonvex {

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

struct WAVEFORMATEX {
    uint16_t wFormatTag = WAVE_FORMAT_PCM;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
    std::vector<uint8_t> extra;  // cbSize codec-specific bytes

    static constexpr size_t kFixedBytes = 18;

    // PCM at the rate and channel count, 16 bits.
    static WAVEFORMATEX Pcm16(uint32_t rate, uint16_t channels);
    // Parses a record of n bytes (16 or 17 bytes mean cbSize 0); extra bytes are cut to what n
    // holds.
    static WAVEFORMATEX Parse(const uint8_t* p, size_t n);
    // The record's bytes: 18 fixed bytes then the extra bytes.
    std::vector<uint8_t> Serialize() const;
};

inline uint16_t GetLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void SetLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void SetLE32(uint8_t* p, uint32_t v) {
    SetLE16(p, v & 0xFFFF);
    SetLE16(p + 2, v >> 16);
}

}  // namespace sonvex
