#include "audio/ConvertRate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "audio/AudioTestSources.h"

namespace sonvex {
namespace {

using test::Channel;
using test::CyclesPerSample;
using test::Noise;
using test::ReadFrames;
using test::Rms;
using test::Sine;
using test::VecSource;

LSoundSourceRef Convert(const LSoundSourceRef& source, int32_t target) {
    LSoundSourceRef result;
    LSPConvertRate(target).OpenSource(result, source);
    return result;
}

const LSRCConvertRate* AsConverter(const LSoundSourceRef& s) {
    return dynamic_cast<const LSRCConvertRate*>(s.get());
}

// Direct evaluation of the filter: output n sits at input n * M / L with phase (n * M) mod L.
// Valid for signals where every block normalises by the same `shift`.
std::vector<int32_t> Reference(const LRateFilter& f, const std::vector<int32_t>& in, int channels,
                               int frames, int shift = 0) {
    const int64_t len = static_cast<int64_t>(in.size()) / channels;
    const int64_t half = shift ? int64_t{1} << (shift - 1) : 0;
    std::vector<int32_t> out(static_cast<size_t>(frames) * channels);
    for (int64_t n = 0; n < frames; ++n) {
        const int64_t pos = n * f.nStep;
        const int64_t base = pos / f.nPhases - 31;
        const int32_t* row = f.Row(static_cast<int>(pos % f.nPhases));
        for (int c = 0; c < channels; ++c) {
            int64_t s[2] = {0, 0};
            for (int k = 0; k < LRateFilter::kTaps; ++k) {
                const int64_t i = base + k;
                const int64_t x = (i >= 0 && i < len) ? (in[i * channels + c] + half) >> shift : 0;
                s[k < 33 ? 0 : 1] += row[k] * x;
            }
            out[n * channels + c] = static_cast<int32_t>(
                ((s[0] >> 1) + (s[1] >> 1) + (int64_t{1} << (14 - shift))) >> (15 - shift));
        }
    }
    return out;
}

TEST(ConvertRate, StagePicksOneOrTwoConvertersWithTheDocumentedRatios) {
    struct Case {
        int32_t from, to, L, M;
    };
    // 20000 -> 8000 is the largest ratio (2.5) one converter takes.
    const Case cases[] = {{44100, 22050, 1, 2}, {22050, 44100, 2, 1},   {20000, 8000, 2, 5},
                          {16000, 8000, 1, 2},  {44100, 48000, 37, 34}, {8000, 44100, 11, 2}};
    for (const Case& c : cases) {
        LSoundSourceRef src(new VecSource(c.from, 1, {}));
        LSoundSourceRef out = Convert(src, c.to);
        const LSRCConvertRate* conv = AsConverter(out);
        ASSERT_NE(conv, nullptr) << c.from << "->" << c.to;
        EXPECT_EQ(conv->Wrapped().get(), src.get()) << "one stage for " << c.from << "->" << c.to;
        EXPECT_EQ(conv->Filter().nPhases, c.L) << c.from << "->" << c.to;
        EXPECT_EQ(conv->Filter().nStep, c.M) << c.from << "->" << c.to;
        EXPECT_EQ(out->SampleRate, c.to);
    }

    // Same rate: nothing is built.
    LSoundSourceRef same(new VecSource(44100, 2, {}));
    EXPECT_EQ(Convert(same, 44100).get(), same.get());
    // A failed source is left alone.
    LSoundSourceRef failed = MakeErrorSource(4);
    EXPECT_EQ(Convert(failed, 44100).get(), failed.get());

    // Above 2.5 times: to twice the target with the wide transition, then halved. Centre taps:
    // truncate(g * 65536 + 0.5), g = 2 x target / source - 0.09375 (wide) and 0.5 - 0.046875.
    struct TwoCase {
        int32_t from, to, L, M, centre;
    };
    const TwoCase twoCases[] = {
        {44100, 8000, 37, 102, 17633}, {44100, 11025, 1, 2, 26624}, {48000, 16000, 2, 3, 37547}};
    for (const TwoCase& c : twoCases) {
        LSoundSourceRef src(new VecSource(c.from, 2, {}));
        LSoundSourceRef out = Convert(src, c.to);
        const LSRCConvertRate* outer = AsConverter(out);
        ASSERT_NE(outer, nullptr) << c.from << "->" << c.to;
        EXPECT_EQ(outer->Filter().nPhases, 1);
        EXPECT_EQ(outer->Filter().nStep, 2);
        EXPECT_EQ(outer->Filter().Row(0)[31], 29696);
        const LSRCConvertRate* inner = AsConverter(outer->Wrapped());
        ASSERT_NE(inner, nullptr) << c.from << "->" << c.to;
        EXPECT_EQ(inner->SampleRate, 2 * c.to);
        EXPECT_EQ(inner->Filter().nPhases, c.L) << c.from << "->" << c.to;
        EXPECT_EQ(inner->Filter().nStep, c.M) << c.from << "->" << c.to;
        EXPECT_EQ(inner->Wrapped().get(), src.get()) << c.from << "->" << c.to;
        EXPECT_EQ(inner->Filter().Row(0)[31], c.centre) << c.from << "->" << c.to;
    }
}

TEST(ConvertRate, FilterRowsMatchKnownSums) {
    // Taps 0..32 of a row add up to more than 65536, which is why s1 needs more than 32 bits.
    LRateFilter down;
    down.Design(44100, 22050, false);
    const int32_t* r = down.Row(0);
    EXPECT_EQ(std::accumulate(r, r + 33, 0), 68184);
    LRateFilter up;
    up.Design(44100, 48000, false);
    int32_t most = 0;
    for (int j = 0; j < up.nPhases; ++j)
        most = std::max(most, std::accumulate(up.Row(j), up.Row(j) + 33, 0));
    EXPECT_EQ(most, 74664);
    // Upsampling: cutoff 0.975 at the centre of row 0; rows are symmetric around the centre.
    EXPECT_EQ(up.Row(0)[31], 63898);
    for (int k = 0; k < 31; ++k) EXPECT_EQ(up.Row(0)[31 - k - 1], up.Row(0)[31 + k + 1]) << k;
}

TEST(ConvertRate, LengthPositionAndAmplitudeBookkeeping) {
    LSoundSourceRef src(new VecSource(22050, 1, std::vector<int32_t>(1000)));
    LSoundSourceRef out = Convert(src, 44100);
    EXPECT_EQ(out->GetLength(), 2000);
    EXPECT_EQ(out->MaxAmplitude, 0xFFFE0);
    EXPECT_EQ(out->GetPosition(), 0);
    // The position is the frames delivered, exactly, for any ratio and after seeks (the pump
    // cuts the last block by it).
    for (int32_t target : {44100, 8000, 11025, 16000, 48000, 96000}) {
        LSoundSourceRef s(new VecSource(22050, 1, std::vector<int32_t>(30000)));
        LSoundSourceRef c = Convert(s, target);
        int64_t delivered = 0;
        for (int n : {1, 100, 8192, 7, 5000}) {
            ReadFrames(*c, n);
            delivered += n;
            EXPECT_EQ(c->GetPosition(), delivered) << target;
        }
        for (int32_t f : {0, 1, 12345, 333}) {
            c->Seek(f);
            EXPECT_EQ(c->GetPosition(), f) << target;
            ReadFrames(*c, 10);
            EXPECT_EQ(c->GetPosition(), f + 10) << target;
        }
    }

    LSoundSourceRef big(new VecSource(44100, 1, {}, 0x100000));
    EXPECT_EQ(Convert(big, 22050)->MaxAmplitude, 0x200000);
    LSoundSourceRef bigger(new VecSource(44100, 1, {}, 0x100001));
    EXPECT_EQ(Convert(bigger, 22050)->MaxAmplitude, 0x100001);

    LSoundSourceRef bad(new LSRCConvertRate(src, 0, false));
    EXPECT_EQ(bad->SampleRate, 44100);
    EXPECT_EQ(bad->ErrorState, 3);
    LSoundSourceRef overFailed(new LSRCConvertRate(MakeErrorSource(4), 8000, false));
    EXPECT_EQ(overFailed->ErrorState, 2);
}

TEST(ConvertRate, MatchesDirectFilterEvaluationForOneTwoAndMoreChannels) {
    // Long enough to cross several refills; small enough that no block is normalised.
    const int inFrames = 30000;
    for (int channels : {1, 2, 3, 6}) {
        for (auto [from, to] : {std::pair{44100, 48000}, {44100, 22050}, {8000, 44100}}) {
            auto in = Noise(static_cast<size_t>(inFrames) * channels, 0x7FFF, channels * 7 + to);
            LSoundSourceRef src(new VecSource(from, channels, in));
            LSoundSourceRef out(new LSRCConvertRate(src, to, false));
            const int frames = out->GetLength();
            // Odd read sizes so frames of one read straddle refills.
            auto got = ReadFrames(*out, frames, 1237);
            auto want = Reference(AsConverter(out)->Filter(), in, channels, frames);
            ASSERT_EQ(got, want) << channels << " channels " << from << "->" << to;
        }
    }
}

TEST(ConvertRate, BlocksWhosePeakRoundsUpToFullScaleAreStillExact) {
    // Even samples up to 0xFFFE and a 0xFFFF every 1000 frames: every block shifts by 1, and
    // 0xFFFF rounds to +0x8000, which the 16-bit planes cannot hold.
    const int inFrames = 30000;
    for (int channels : {1, 2, 3}) {
        auto in = Noise(static_cast<size_t>(inFrames) * channels, 0x7FFF, 100 + channels);
        for (auto& x : in) x *= 2;
        for (int f = 0; f < inFrames; f += 1000) in[static_cast<size_t>(f) * channels] = 0xFFFF;
        for (auto [from, to] : {std::pair{44100, 22050}, {44100, 48000}}) {
            LSoundSourceRef src(new VecSource(from, channels, in));
            LSoundSourceRef out(new LSRCConvertRate(src, to, false));
            const int frames = out->GetLength();
            auto got = ReadFrames(*out, frames, 4096);
            auto want = Reference(AsConverter(out)->Filter(), in, channels, frames, 1);
            ASSERT_EQ(got, want) << channels << " channels " << from << "->" << to;
        }
    }
}

TEST(ConvertRate, FirstFrameAndSeekZeroAreCentredOnInputFrameZero) {
    // An impulse at frame 0 comes out as the centre tap of row 0 in frame 0.
    std::vector<int32_t> in(5000, 0);
    in[0] = 0x4000;
    auto* raw = new VecSource(44100, 1, in);
    LSoundSourceRef src(raw);
    LSoundSourceRef out(new LSRCConvertRate(src, 22050, false));
    auto first = ReadFrames(*out, 100);
    EXPECT_EQ(first[0], (0x4000 * 29696 / 2 + 16384) >> 15);

    out->Seek(0);
    EXPECT_EQ(raw->seeks.back(), -31);
    EXPECT_EQ(ReadFrames(*out, 100), first);
}

TEST(ConvertRate, SeekZeroAfterReadingEqualsFreshConverter) {
    // Steady-level material: every block normalises by the same shift however it is cut.
    for (int channels : {1, 2}) {
        auto in = Sine(60000, channels, 997, 44100, 0x7FFF0 * 0.7);
        LSoundSourceRef fresh(
            new LSRCConvertRate(LSoundSourceRef(new VecSource(44100, channels, in)), 48000, false));
        LSoundSourceRef used(
            new LSRCConvertRate(LSoundSourceRef(new VecSource(44100, channels, in)), 48000, false));
        ReadFrames(*used, 20000, 3000);
        used->Seek(0);
        EXPECT_EQ(used->GetPosition(), 0);
        EXPECT_EQ(ReadFrames(*used, 30000), ReadFrames(*fresh, 30000)) << channels;
    }
}

TEST(ConvertRate, FullScaleSineHasNoWrapClicks) {
    // Near its block peak a 32-bit sum of taps 0..32 would wrap; the output must stay a sine.
    for (double amp : {16383.0, 2047.0, 32767.0}) {
        const double a = amp * 16;
        auto in = Sine(44100, 1, 100, 44100, a);
        LSoundSourceRef out = Convert(LSoundSourceRef(new VecSource(44100, 1, in)), 22050);
        auto got = ReadFrames(*out, 22050);
        double worst = 0;
        for (int n = 100; n < 22000; ++n)
            worst = std::max(worst, std::abs(got[n] - a * std::sin(2 * M_PI * 100 * n / 22050.0)));
        EXPECT_LT(worst, a * 0.002) << amp;
    }
}

TEST(ConvertRate, SineKeepsFrequencyAndLevelThroughEveryConversion) {
    const std::pair<int, int> pairs[] = {{44100, 22050}, {22050, 44100}, {44100, 11025},
                                         {44100, 8000},  {44100, 48000}, {8000, 44100},
                                         {48000, 44100}, {11025, 8000},  {96000, 16000}};
    const double amp = 0x7FFF0 * 0.5;
    for (auto [from, to] : pairs) {
        for (int channels : {1, 2}) {
            const double freq = 700;  // channel 1 carries 1400 Hz
            auto in = Sine(from, channels, freq, from, amp);
            LSoundSourceRef out = Convert(LSoundSourceRef(new VecSource(from, channels, in)), to);
            auto got = ReadFrames(*out, to);
            // The content runs at from * L / M (the output rate when it is exact).
            double contentRate = from;
            for (LSoundSourceRef s = out; auto* c = AsConverter(s); s = c->Wrapped())
                contentRate = contentRate * c->Filter().nPhases / c->Filter().nStep;
            for (int c = 0; c < channels; ++c) {
                auto x = Channel(got, channels, c, to / 10, to * 9 / 10);
                const double want = freq * (c + 1) / contentRate;
                EXPECT_NEAR(CyclesPerSample(x) / want, 1.0, 2e-5) << from << "->" << to;
                const double db = 20 * std::log10(Rms(x) / (amp / std::sqrt(2.0)));
                EXPECT_NEAR(db, 0.0, 0.1) << from << "->" << to << " ch " << c;
            }
        }
    }
}

// Levels in dB, relative to the input, of a quarter-second tone per channel (channel c at
// freq * (c + 1)) through the stage, measured over the steady middle half of the output.
std::vector<double> ToneLevelsDb(int32_t from, int32_t to, double freq, int channels) {
    const double amp = 0x7FFF0 * 0.5;
    auto in = Sine(from / 4, channels, freq, from, amp);
    LSoundSourceRef out = Convert(LSoundSourceRef(new VecSource(from, channels, in)), to);
    const int frames = to / 4;
    auto got = ReadFrames(*out, frames);
    std::vector<double> db;
    for (int c = 0; c < channels; ++c) {
        const double rms = Rms(Channel(got, channels, c, frames / 4, frames * 3 / 4));
        db.push_back(20 * std::log10(rms / (amp / std::sqrt(2.0))));
    }
    return db;
}

TEST(ConvertRate, RateGridKeepsToneLevelAndRejectsAboveNewNyquist) {
    const int32_t rates[] = {6000,  8000,  11025, 16000,  22050,  32000,  44100,
                             48000, 88200, 96000, 144000, 176400, 192000, 196000};
    for (int32_t from : rates) {
        for (int32_t to : rates) {
            if (from == to) continue;
            const double lower = std::min(from, to);
            // Stereo: tones at 0.03 and 0.06, then 0.2 and 0.4, times the lower rate.
            for (double f : {0.03, 0.2}) {
                const auto db = ToneLevelsDb(from, to, f * lower, 2);
                for (int c = 0; c < 2; ++c)
                    EXPECT_NEAR(db[c], 0.0, 0.5)
                        << from << "->" << to << " at " << f * lower * (c + 1) << " Hz";
            }
            if (to > from) continue;
            // Just above the new Nyquist frequency (by 5% of the target, or by 2% of the source
            // rate when the two are close), and near the old one, which the first of several
            // converters must already reject.
            std::vector<double> above;
            if (const double f = to / 2.0 + std::min(0.05 * to, 0.02 * from); f < 0.48 * from)
                above.push_back(f);
            if (0.45 * from > 0.6 * to) above.push_back(0.45 * from);
            for (double f : above)
                EXPECT_LT(ToneLevelsDb(from, to, f, 1)[0], -50)
                    << from << "->" << to << " at " << f << " Hz";
        }
    }
}

}  // namespace
}  // namespace sonvex
