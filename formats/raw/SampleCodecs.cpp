#include "formats/raw/SampleCodecs.h"

namespace sonvex {

namespace {

// mu-law segment bases and decision thresholds, in the internal scale. G.711 gives segment 5
// the base 4092 and the threshold 3964 in 16-bit units (65472 and 63424 here).
constexpr int32_t kULawBase[8] = {0, 2112, 6336, 14784, 31680, 65472, 133056, 268224};
constexpr int32_t kULawThreshold[8] = {0, 1984, 6080, 14272, 30656, 63424, 128960, 260032};

constexpr int32_t kALawBase[8] = {128, 4224, 8448, 16896, 33792, 67584, 135168, 270336};
constexpr int32_t kALawStep[8] = {256, 256, 512, 1024, 2048, 4096, 8192, 16384};
constexpr int32_t kALawThreshold[8] = {0, 4096, 8192, 16384, 32768, 65536, 131072, 262144};

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

uint8_t G711ULawEncode(int32_t x) {
    int sign = 0;
    int64_t mag = x;
    if (mag < 0) {
        sign = 0x80;
        mag = -mag;
    }
    int e = 7;
    while (e > 0 && mag < kULawThreshold[e]) --e;
    int64_t m = (mag - kULawThreshold[e]) >> (e + 7);
    if (m > 15) m = 15;
    return static_cast<uint8_t>(~(sign | (e << 4) | static_cast<int>(m)));
}

uint8_t G711ALawEncode(int32_t x) {
    int sign = 0x80;
    int64_t mag = x;
    if (mag < 0) {
        sign = 0;
        mag = -mag;
    }
    int e = 7;
    while (e > 0 && mag < kALawThreshold[e]) --e;
    int64_t m = (mag - kALawThreshold[e]) / kALawStep[e];
    if (m > 15) m = 15;
    return static_cast<uint8_t>((sign | (e << 4) | static_cast<int>(m)) ^ 0x55);
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
