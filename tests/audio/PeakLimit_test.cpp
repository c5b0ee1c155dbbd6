#include "audio/PeakLimit.h"

#include <gtest/gtest.h>

#include "audio/AudioTestSources.h"
#include "audio/ConvertRate.h"

namespace sonvex {
namespace {

using test::Noise;
using test::ReadFrames;
using test::Sine;
using test::VecSource;

LSoundSourceRef Limit(const LSoundSourceRef& source, int32_t limit = kFullScale16) {
    return test::Staged<LSPPeakLimit>(source, limit);
}
int32_t MaxAbs(const std::vector<int32_t>& v) {
    int32_t m = 0;
    for (int32_t x : v) m = std::max(m, x < 0 ? -x : x);
    return m;
}

TEST(PeakLimit, BlockSizesAndStageDecision) {
    struct Case {
        int32_t rate, block;
    };
    for (Case c : {Case{44100, 1260},
                   {8000, 228},
                   {699, 20},
                   {1, 20},
                   {286720, 8192},
                   {286719, 8191},
                   {400000, 8192}}) {
        LSRCPeakLimit lim(LSoundSourceRef(new VecSource(c.rate, 1, {})), kFullScale16);
        EXPECT_EQ(lim.BlockFrames(), c.block) << c.rate;
        EXPECT_EQ(lim.LookAhead(), 3 * c.block) << c.rate;
    }
    LSoundSourceRef sixteen(new VecSource(44100, 2, {}, kFullScale16));
    EXPECT_EQ(Limit(sixteen).get(), sixteen.get());
    LSoundSourceRef louder(new VecSource(44100, 2, {}, 0xFFFE0));
    LSoundSourceRef lim = Limit(louder);
    ASSERT_NE(dynamic_cast<LSRCPeakLimit*>(lim.get()), nullptr);
    EXPECT_EQ(lim->MaxAmplitude, kFullScale16);
    EXPECT_EQ(lim->nChans, 2);
    // The limit is held at 0x3FFFFF; a failed source is still wrapped (it only looks at
    // MaxAmplitude) and the limiter reports the failure.
    LSoundSourceRef huge(new VecSource(44100, 1, {}, 0x7FFFFFFF));
    EXPECT_EQ(Limit(huge, 0x7FFFFFF0)->MaxAmplitude, 0x3FFFFF);
    LSoundSourceRef overFailed = Limit(MakeErrorSource(4), 0x100000);
    EXPECT_EQ(overFailed->ErrorState, 2);
}

TEST(PeakLimit, BlockGainOfOneLoudSample) {
    // 229-frame blocks: the sample in each of four lanes and in the last, odd one.
    LSRCPeakLimit lim(LSoundSourceRef(new VecSource(8015, 1, {}, 0xFFFE0)), kFullScale16);
    ASSERT_EQ(lim.BlockFrames(), 229);
    struct Case {
        int32_t sample, gain;
    };
    for (Case c : {Case{0xFFFE0, 0x7FFE00},
                   {-0xFFFE0, 0x7FFE00},
                   {kFullScale16, LSRCPeakLimit::kUnity},
                   {-kFullScale16, LSRCPeakLimit::kUnity},
                   {kFullScale16 + 1, 0xFFFE00},
                   {-kFullScale16 - 1, 0xFFFE00},
                   {INT32_MAX, 0xE00},
                   {INT32_MIN, 0xE00}}) {
        for (int at : {0, 101, 102, 227, 228}) {
            std::vector<int32_t> block(229, -kFullScale16);
            block[static_cast<size_t>(at)] = c.sample;
            EXPECT_EQ(lim.BlockGain(block.data()), c.gain) << c.sample << " at " << at;
        }
    }
}

TEST(PeakLimit, SignalBelowTheLimitPassesBitExactly) {
    const int frames = 50000;
    auto in = Noise(2 * frames, kFullScale16, 5);
    auto* raw = new VecSource(44100, 2, in, 0xFFFE0);
    LSoundSourceRef lim = Limit(LSoundSourceRef(raw));
    ASSERT_NE(lim.get(), raw);
    EXPECT_EQ(lim->GetPosition(), 0);
    auto first = ReadFrames(*lim, 100);
    // The limiter read three blocks ahead, but reports the delivered position.
    EXPECT_EQ(raw->GetPosition(), 3 * 1260);
    EXPECT_EQ(lim->GetPosition(), 100);
    EXPECT_EQ(lim->GetLength(), frames);
    auto rest = ReadFrames(*lim, frames - 100, 777);
    first.insert(first.end(), rest.begin(), rest.end());
    EXPECT_EQ(first, in);
}

TEST(PeakLimit, LoudBlockIsReachedByARampAndHeldAtTheLimit) {
    // Constant levels make the applied gain visible: quiet, a loud stretch at 0xFFFE0, quiet.
    const int B = 228;  // 8000 Hz
    std::vector<int32_t> in(40 * B, 0x40000);
    for (int i = 10 * B; i < 13 * B; ++i) in[i] = 0xFFFE0;
    LSoundSourceRef lim = Limit(LSoundSourceRef(new VecSource(8000, 1, in, 0xFFFE0)));
    auto got = ReadFrames(*lim, static_cast<int>(in.size()), 100);

    // The loud blocks are multiplied by the block gain 0x7FFE00 on 12-bit halves.
    for (int i = 10 * B; i < 13 * B; ++i) ASSERT_EQ(got[i], 524239) << i;
    // Two blocks ahead the four-block average starts the ramp down; earlier blocks are copied.
    for (int i = 0; i < 8 * B; ++i) ASSERT_EQ(got[i], 0x40000) << i;
    for (int i = 8 * B + 1; i < 10 * B; ++i) ASSERT_LE(got[i], got[i - 1]) << i;
    EXPECT_LT(got[9 * B], 0x40000);
    EXPECT_LT(got[10 * B - 1], 0x40000 * 0.55);
    // Recovery is gradual (four-block average) and returns to the copy path.
    EXPECT_LT(got[13 * B], 0x40000);
    for (int i = 13 * B + 1; i < 15 * B; ++i) ASSERT_GE(got[i], got[i - 1]) << i;
    for (int i = 15 * B; i < 40 * B; ++i) ASSERT_EQ(got[i], 0x40000) << i;
}

TEST(PeakLimit, NoLimitedSampleExceedsFullScale) {
    // Converted full-scale noise and loud bursts of noise, mono and stereo.
    for (int channels : {1, 2}) {
        auto noise = Noise(static_cast<size_t>(60000) * channels, kFullScale16, 9 + channels);
        for (size_t i = 20000 * channels; i < 30000u * channels; ++i) noise[i] *= 4;
        LSoundSourceRef src(new VecSource(44100, channels, noise));
        LSoundSourceRef chain;
        LSPConvertRate(48000).OpenSource(chain, src);
        LSoundSourceRef lim = Limit(chain);
        ASSERT_NE(lim.get(), chain.get());
        auto got = ReadFrames(*lim, lim->GetLength());
        EXPECT_LE(MaxAbs(got), kFullScale16) << channels;

        auto sine = Sine(30000, channels, 440, 44100, 0x7FFF0 * 3.0);
        LSoundSourceRef loud =
            Limit(LSoundSourceRef(new VecSource(44100, channels, sine, 0x200000)));
        EXPECT_LE(MaxAbs(ReadFrames(*loud, 30000)), kFullScale16);
    }
}

TEST(PeakLimit, SeekReprimesAndMatchesAFreshLimiter) {
    auto in = Noise(2 * 30000, 0xFFFE0, 21);
    auto make = [&] { return Limit(LSoundSourceRef(new VecSource(44100, 2, in, 0xFFFE0))); };
    LSoundSourceRef fresh = make(), used = make();
    ReadFrames(*used, 12345, 1000);
    used->Seek(0);
    EXPECT_EQ(used->GetPosition(), 0);
    EXPECT_EQ(ReadFrames(*used, 30000, 999), ReadFrames(*fresh, 30000));
    used->Seek(700);
    EXPECT_EQ(used->GetPosition(), 700);
}

}  // namespace
}  // namespace sonvex
