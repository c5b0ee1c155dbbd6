#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "formats/FormatTestUtil.h"
#include "formats/pcm/RawFileData.h"
#include "formats/pcm/SampleCodecs.h"
#include "formats/raw/RawFile.h"

namespace sonvex {
namespace {

using namespace test;

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

// 0x7F800 and above would round one step past the top of the 8-bit codecs; they stay there.
TEST(SampleCodecs, EightBitOutputsHoldTheTop) {
    for (int32_t x : {0x7F000, 0x7F7FF, 0x7F800, 0x7FFF0, 0x80000, INT32_MAX}) {
        uint8_t u, s;
        LCodecU8::Encode(x, &u);
        LCodecS8::Encode(x, &s);
        EXPECT_EQ(u, 0xFF) << x;
        EXPECT_EQ(s, 0x7F) << x;
    }
}

}  // namespace
}  // namespace sonvex
