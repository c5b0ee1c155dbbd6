#include "audio/ConvertRate.h"

#include <gtest/gtest.h>

#include <cmath>

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

constexpr auto Convert = &test::Staged<LSPConvertRate>;

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

// One converter up to 2.5 times the target (20000 -> 8000); above, the wide converter to twice
// the target goes first. Per converter, innermost first: its rate, L, M and the centre tap of
// row 0, truncate(g * 65536 + 0.5) with g = 0.975 up, target / source - 0.046875 down and
// target / source - 0.09375 for the wide one.
TEST(ConvertRate, StagePicksItsConverters) {
    struct Conv {
        int32_t rate, L, M, centre;
    };
    struct Case {
        int32_t from, to;
        std::vector<Conv> chain;
    };
    const Case cases[] = {
        {44100, 22050, {{22050, 1, 2, 29696}}},
        {22050, 44100, {{44100, 2, 1, 63898}}},
        {20000, 8000, {{8000, 2, 5, 23142}}},
        {44100, 48000, {{48000, 37, 34, 63898}}},
        {8000, 44100, {{44100, 11, 2, 63898}}},
        {44100, 8000, {{16000, 37, 102, 17633}, {8000, 1, 2, 29696}}},
        {44100, 11025, {{22050, 1, 2, 26624}, {11025, 1, 2, 29696}}},
        {48000, 16000, {{32000, 2, 3, 37547}, {16000, 1, 2, 29696}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.from << "->" << c.to);
        LSoundSourceRef src(new VecSource(c.from, 2, {}));
        LSoundSourceRef s = Convert(src, c.to);
        for (auto it = c.chain.rbegin(); it != c.chain.rend(); ++it) {
            const LSRCConvertRate* conv = AsConverter(s);
            ASSERT_NE(conv, nullptr);
            EXPECT_EQ(conv->SampleRate, it->rate);
            EXPECT_EQ(conv->Filter().nPhases, it->L);
            EXPECT_EQ(conv->Filter().nStep, it->M);
            EXPECT_EQ(conv->Filter().Row(0)[31], it->centre);
            s = conv->Wrapped();
        }
        EXPECT_EQ(s.get(), src.get());
    }
    // Rows are symmetric around their centre.
    const LSoundSourceRef up = Convert(LSoundSourceRef(new VecSource(44100, 1, {})), 48000);
    const int32_t* row = AsConverter(up)->Filter().Row(0);
    for (int k = 0; k < 31; ++k) EXPECT_EQ(row[30 - k], row[32 + k]) << k;
    // Same rate, or a failed source: nothing is built.
    LSoundSourceRef same(new VecSource(44100, 2, {}));
    EXPECT_EQ(Convert(same, 44100).get(), same.get());
    LSoundSourceRef failed = MakeErrorSource(4);
    EXPECT_EQ(Convert(failed, 44100).get(), failed.get());
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

// Long enough to cross several refills; odd read sizes so the frames of one read straddle
// them. Small blocks are never normalised; even samples up to 0xFFFE with a 0xFFFF every 1000
// frames shift every block by 1, and 0xFFFF rounds to +0x8000, which the 16-bit planes cannot
// hold.
TEST(ConvertRate, MatchesDirectFilterEvaluation) {
    const int inFrames = 20000;
    for (int shift : {0, 1})
        for (int channels : {1, 2, 3, 6})
            for (auto [from, to] : {std::pair{44100, 48000}, {44100, 22050}, {8000, 44100}}) {
                auto in = Noise(static_cast<size_t>(inFrames) * channels, 0x7FFF,
                                channels * 7 + to + shift);
                if (shift)
                    for (size_t i = 0; i < in.size(); ++i)
                        in[i] = i % (1000u * channels) == 0 ? 0xFFFF : in[i] * 2;
                LSoundSourceRef out(new LSRCConvertRate(
                    LSoundSourceRef(new VecSource(from, channels, in)), to, false));
                const int frames = out->GetLength();
                ASSERT_EQ(ReadFrames(*out, frames, 1237),
                          Reference(AsConverter(out)->Filter(), in, channels, frames, shift))
                    << channels << " channels " << from << "->" << to << " shift " << shift;
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

// Levels in dB, relative to the input, and frequencies, relative to the tones', of a
// quarter-second tone per channel (channel c at freq * (c + 1)) through the stage, measured over
// the steady middle half of the output. The content runs at from * L / M of each converter (the
// output rate when that is exact).
struct Tones {
    std::vector<double> db, freq;
};
Tones Measure(int32_t from, int32_t to, double freq, int channels) {
    const double amp = 0x7FFF0 * 0.5;
    auto in = Sine(from / 4, channels, freq, from, amp);
    LSoundSourceRef out = Convert(LSoundSourceRef(new VecSource(from, channels, in)), to);
    double contentRate = from;
    for (LSoundSourceRef s = out; auto* c = AsConverter(s); s = c->Wrapped())
        contentRate = contentRate * c->Filter().nPhases / c->Filter().nStep;
    const int frames = to / 4;
    auto got = ReadFrames(*out, frames);
    Tones t;
    for (int c = 0; c < channels; ++c) {
        const auto x = Channel(got, channels, c, frames / 4, frames * 3 / 4);
        t.db.push_back(20 * std::log10(Rms(x) / (amp / std::sqrt(2.0))));
        t.freq.push_back(CyclesPerSample(x) * contentRate / (freq * (c + 1)));
    }
    return t;
}

TEST(ConvertRate, RateGridKeepsToneFrequencyAndLevelAndRejectsAboveNewNyquist) {
    const int32_t rates[] = {6000,  8000,  11025, 16000,  22050,  32000,  44100,
                             48000, 88200, 96000, 144000, 176400, 192000, 196000};
    for (int32_t from : rates) {
        for (int32_t to : rates) {
            if (from == to) continue;
            const double lower = std::min(from, to);
            // Stereo: tones at 0.03 and 0.06, then 0.2 and 0.4, times the lower rate.
            for (double f : {0.03, 0.2}) {
                const Tones t = Measure(from, to, f * lower, 2);
                for (int c = 0; c < 2; ++c) {
                    SCOPED_TRACE(::testing::Message()
                                 << from << "->" << to << " at " << f * lower * (c + 1) << " Hz");
                    EXPECT_NEAR(t.db[c], 0.0, f < 0.1 ? 0.1 : 0.5);
                    EXPECT_NEAR(t.freq[c], 1.0, 3e-4);
                }
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
                EXPECT_LT(Measure(from, to, f, 1).db[0], -50)
                    << from << "->" << to << " at " << f << " Hz";
        }
    }
}

}  // namespace
}  // namespace sonvex
