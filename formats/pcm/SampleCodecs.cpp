#include "formats/pcm/SampleCodecs.h"

namespace sonvex {

namespace {

// mu-law segment bases and decision thresholds, in the internal scale. G.711 gives segment 5
// the base 4092 and the threshold 3964 in 16-bit units (65472 and 63424 here).
constexpr int32_t kULawBase[8] = {0, 2112, 6336, 14784, 31680, 65472, 133056, 268224};
constexpr int32_t kULawThreshold[8] = {0, 1984, 6080, 14272, 30656, 63424, 128960, 260032};

constexpr int32_t kALawBase[8] = {128, 4224, 8448, 16896, 33792, 67584, 135168, 270336};
constexpr int32_t kALawStep[8] = {256, 256, 512, 1024, 2048, 4096, 8192, 16384};
constexpr int64_t kALawThreshold[8] = {0, 4096, 8192, 16384, 32768, 65536, 131072, 262144};

}  // namespace

int32_t G711ULawDecode(uint8_t u) {
    int e = (~u >> 4) & 7;
    int m = ~u & 15;
    int32_t mag = (m << (e + 7)) + kULawBase[e];
    return (u & 0x80) ? mag : -mag;
}

int32_t G711ALawDecode(uint8_t a) {
    int e = ((a >> 4) & 7) ^ 5;
    int m = (a & 15) ^ 5;
    int32_t mag = kALawBase[e] + m * kALawStep[e];
    return (a & 0x80) ? mag : -mag;
}

// The segment search uses the thresholds' form: for e >= 1, T[e] = 2^(e + 11) - 2112 and
// U[e] = 2^(e + 11), so the segment follows from the bit length of the (offset) magnitude.
uint8_t G711ULawEncode(int32_t x) {
    int sign = 0;
    int64_t mag = x;
    if (mag < 0) {
        sign = 0x80;
        mag = -mag;
    }
    // At and above this the code is segment 7, mantissa 15.
    constexpr int64_t kTop = kULawThreshold[7] + (int64_t{15} << 14);
    uint32_t v = static_cast<uint32_t>((mag < kTop ? mag : kTop) + 2112);
    int e = (31 - __builtin_clz(v)) - 11;
    int m;
    if (e <= 0) {
        e = 0;
        m = static_cast<int>(v - 2112) >> 7;
    } else {
        m = static_cast<int>(v >> (e + 7)) - 16;
    }
    return static_cast<uint8_t>(~(sign | (e << 4) | m));
}

uint8_t G711ALawEncode(int32_t x) {
    int sign = 0x80;
    int64_t mag = x;
    if (mag < 0) {
        sign = 0;
        mag = -mag;
    }
    constexpr int64_t kTop = kALawThreshold[7] + (int64_t{16} << 14) - 1;
    uint32_t v = static_cast<uint32_t>(mag < kTop ? mag : kTop);
    int e = v ? (31 - __builtin_clz(v)) - 11 : 0;
    int m;
    if (e <= 0) {
        e = 0;
        m = static_cast<int>(v >> 8);
    } else {
        m = static_cast<int>(v >> (e + 7)) - 16;
    }
    return static_cast<uint8_t>((sign | (e << 4) | m) ^ 0x55);
}

int CodecBytesPerSample(int iCodec) {
    switch (iCodec) {
        case kCodecULaw:
        case kCodecALaw:
        case kCodecU8:
        case kCodecS8:
            return 1;
        case kCodecPcm16LE:
        case kCodecPcm16BE:
            return 2;
        default:
            return 0;
    }
}

int32_t CodecMaxAmplitude(int iCodec) {
    switch (iCodec) {
        case kCodecULaw:
        case kCodecALaw:
            return kG711MaxAmplitude;
        case kCodecPcm16LE:
        case kCodecPcm16BE:
        case kCodecU8:
        case kCodecS8:
            return kFullScale16;
        default:
            return 0;
    }
}

}  // namespace sonvex
