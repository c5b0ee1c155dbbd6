#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "formats/FormatTestUtil.h"
#include "formats/raw/RawFile.h"
#include "formats/raw/RawFileData.h"
#include "formats/raw/SampleCodecs.h"

namespace sonvex {
namespace {

using namespace test;

TEST(G711, WorkedValues) {
    EXPECT_EQ(G711ULawDecode(0xFF), 0);
    EXPECT_EQ(G711ULawDecode(0x00), -513984);
    EXPECT_EQ(G711ULawDecode(0xFE), 128);
    EXPECT_EQ(G711ALawDecode(0xD5), 128);
    EXPECT_EQ(G711ALawDecode(0x55), -128);
    EXPECT_EQ(G711ALawDecode(0xAA), 516096);
    EXPECT_EQ(G711ULawEncode(0), 0xFF);
    EXPECT_EQ(G711ALawEncode(0), 0xD5);
    EXPECT_EQ(G711ULawEncode(-1), 0x7F);
    EXPECT_EQ(G711ALawEncode(-1), 0x55);
}

// Segment 5 of mu-law: base 4092 and threshold 3964 in 16-bit units, as G.711 has them.
TEST(G711, ULawSegmentFiveFollowsG711) {
    EXPECT_EQ(G711ULawDecode(0xAF), 4092 * 16);   // segment 5, mantissa 0, positive
    EXPECT_EQ(G711ULawDecode(0x2F), -4092 * 16);  // negative
    EXPECT_EQ(G711ULawEncode(3964 * 16), 0xAF);
    EXPECT_EQ(G711ULawEncode(3964 * 16 - 1), 0xB0);  // last code of segment 4
}

// Every code decodes to a value that encodes back to the same code (mu-law 0x7F is -0).
TEST(G711, EveryCodeRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        if (b != 0x7F) {
            EXPECT_EQ(G711ULawEncode(G711ULawDecode(static_cast<uint8_t>(b))), b) << b;
        }
        EXPECT_EQ(G711ALawEncode(G711ALawDecode(static_cast<uint8_t>(b))), b) << b;
    }
}

// The encoding rules step by step: the largest segment whose threshold the magnitude reaches,
// then the mantissa, at most 15.
uint8_t ULawByRule(int32_t x) {
    const int64_t T[8] = {0, 1984, 6080, 14272, 30656, 63424, 128960, 260032};
    int64_t mag = x;
    int sign = 0;
    if (mag < 0) {
        sign = 0x80;
        mag = -mag;
    }
    int e = 0;
    for (int i = 0; i < 8; ++i)
        if (mag >= T[i]) e = i;
    int64_t m = std::min<int64_t>((mag - T[e]) >> (e + 7), 15);
    return static_cast<uint8_t>(~(sign | e * 16 | static_cast<int>(m)));
}

uint8_t ALawByRule(int32_t x) {
    const int64_t U[8] = {0, 4096, 8192, 16384, 32768, 65536, 131072, 262144};
    const int64_t S[8] = {256, 256, 512, 1024, 2048, 4096, 8192, 16384};
    int64_t mag = x;
    int sign = 0x80;
    if (mag < 0) {
        sign = 0;
        mag = -mag;
    }
    int e = 0;
    for (int i = 0; i < 8; ++i)
        if (mag >= U[i]) e = i;
    int64_t m = std::min<int64_t>((mag - U[e]) / S[e], 15);
    return static_cast<uint8_t>((sign | e * 16 | static_cast<int>(m)) ^ 0x55);
}

TEST(G711, EncodersFollowTheRulesForEveryValueInRange) {
    for (int32_t x = -1100000; x <= 1100000; ++x) {
        ASSERT_EQ(G711ULawEncode(x), ULawByRule(x)) << x;
        ASSERT_EQ(G711ALawEncode(x), ALawByRule(x)) << x;
    }
    for (int32_t x : {INT32_MIN, INT32_MIN + 1, -2000000000, 2000000000, INT32_MAX}) {
        EXPECT_EQ(G711ULawEncode(x), ULawByRule(x)) << x;
        EXPECT_EQ(G711ALawEncode(x), ALawByRule(x)) << x;
    }
}

TEST(SampleCodecs, EightBitOutputsHoldTheTop) {
    uint8_t b;
    LCodecU8::Encode(0, &b);
    EXPECT_EQ(b, 0x80);
    LCodecS8::Encode(0, &b);
    EXPECT_EQ(b, 0x00);
    // 0x7F800 and above would round one step past the top; they stay at the largest value.
    for (int32_t x : {0x7F000, 0x7F7FF, 0x7F800, 0x7FFF0, 0x80000, INT32_MAX}) {
        LCodecU8::Encode(x, &b);
        EXPECT_EQ(b, 0xFF) << x;
        LCodecS8::Encode(x, &b);
        EXPECT_EQ(b, 0x7F) << x;
    }
    LCodecU8::Encode(-524288, &b);
    EXPECT_EQ(b, 0x00);
    LCodecS8::Encode(-524288, &b);
    EXPECT_EQ(b, 0x80);
}

}  // namespace
}  // namespace sonvex
