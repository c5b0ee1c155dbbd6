// The sample codecs of raw, AIFF and AU data: G.711 mu-law and A-law, 8-bit unsigned and
// signed, 16-bit little- and big-endian. Decoding gives the internal scale (16-bit << 4).
#pragma once

#include <cstdint>

#include "audio/SoundSource.h"

namespace sonvex {

// Codec numbers, in the order the raw settings dialog lists them.
enum : int {
    kCodecVox = 0,
    kCodecULaw = 1,
    kCodecALaw = 2,
    kCodecPcm16LE = 3,
    kCodecU8 = 4,
    kCodecS8 = 5,
    kCodecPcm16BE = 6,
    kCodecCount = 7,
};

inline constexpr int32_t kG711MaxAmplitude = 0x7E000;  // 32256 << 4, the largest A-law value

// G.711 decoding from segment and mantissa, scaled by 16.
int32_t G711ULawDecode(uint8_t u);
int32_t G711ALawDecode(uint8_t a);
// G.711 encoding of an internal sample; magnitudes past the last segment saturate.
uint8_t G711ULawEncode(int32_t x);
uint8_t G711ALawEncode(int32_t x);

// Internal -> 16-bit without undefined overflow for values near the int32 limits.
inline int16_t SampleTo16Wrap(int32_t x) {
    return static_cast<int16_t>((static_cast<int64_t>(x) + 8) >> 4);
}

// One codec per type: bytes per sample, MaxAmplitude, decode and encode of one sample.
struct LCodecULaw {
    static constexpr int kCodec = kCodecULaw, kBytes = 1;
    static constexpr int32_t kMaxAmplitude = kG711MaxAmplitude;
    static int32_t Decode(const uint8_t* p) { return G711ULawDecode(p[0]); }
    static void Encode(int32_t x, uint8_t* p) { p[0] = G711ULawEncode(x); }
};

struct LCodecALaw {
    static constexpr int kCodec = kCodecALaw, kBytes = 1;
    static constexpr int32_t kMaxAmplitude = kG711MaxAmplitude;
    static int32_t Decode(const uint8_t* p) { return G711ALawDecode(p[0]); }
    static void Encode(int32_t x, uint8_t* p) { p[0] = G711ALawEncode(x); }
};

struct LCodecPcm16LE {
    static constexpr int kCodec = kCodecPcm16LE, kBytes = 2;
    static constexpr int32_t kMaxAmplitude = kFullScale16;
    static int32_t Decode(const uint8_t* p) {
        return SampleFrom16(static_cast<int16_t>(p[0] | (p[1] << 8)));
    }
    static void Encode(int32_t x, uint8_t* p) {
        uint16_t v = static_cast<uint16_t>(SampleTo16Wrap(x));
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    }
};

struct LCodecPcm16BE {
    static constexpr int kCodec = kCodecPcm16BE, kBytes = 2;
    static constexpr int32_t kMaxAmplitude = kFullScale16;
    static int32_t Decode(const uint8_t* p) {
        return SampleFrom16(static_cast<int16_t>((p[0] << 8) | p[1]));
    }
    static void Encode(int32_t x, uint8_t* p) {
        uint16_t v = static_cast<uint16_t>(SampleTo16Wrap(x));
        p[0] = static_cast<uint8_t>(v >> 8);
        p[1] = static_cast<uint8_t>(v);
    }
};

// 8-bit outputs hold the top of the range at 127 (see SampleToU8): never wrap to the bottom.
struct LCodecU8 {
    static constexpr int kCodec = kCodecU8, kBytes = 1;
    static constexpr int32_t kMaxAmplitude = kFullScale16;
    static int32_t Decode(const uint8_t* p) { return SampleFromU8(p[0]); }
    static void Encode(int32_t x, uint8_t* p) {
        p[0] = SampleToU8(x > INT32_MAX - 2048 ? INT32_MAX - 2048 : x);
    }
};

struct LCodecS8 {
    static constexpr int kCodec = kCodecS8, kBytes = 1;
    static constexpr int32_t kMaxAmplitude = kFullScale16;
    static int32_t Decode(const uint8_t* p) { return static_cast<int8_t>(p[0]) * 4096; }
    static void Encode(int32_t x, uint8_t* p) {
        p[0] = static_cast<uint8_t>(SampleToS8(x > INT32_MAX - 2048 ? INT32_MAX - 2048 : x));
    }
};

// Bytes per sample and MaxAmplitude of codecs 1 to 6 (0 for any other number).
int CodecBytesPerSample(int iCodec);
int32_t CodecMaxAmplitude(int iCodec);

}  // namespace sonvex
