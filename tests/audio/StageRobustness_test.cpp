// Random rates, lengths, channel counts, read sizes and seeks through the whole stage chain.
// Covers 1 .. 196000 Hz in both directions. Meant to run under the sanitizer build: any read or
// write beyond a buffer fails there.
#include <gtest/gtest.h>

#include <random>

#include "audio/AudioTestSources.h"
#include "audio/ConvertChannels.h"
#include "audio/ConvertRate.h"
#include "audio/PeakLimit.h"

namespace sonvex {
namespace {

using test::Noise;
using test::VecSource;

TEST(StageRobustness, RandomRatesLengthsReadsAndSeeks) {
    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto rate = [&] {
        // Mostly anywhere in range, sometimes the extremes.
        switch (pick(0, 5)) {
            case 0:
                return pick(1, 50);
            case 1:
                return pick(190000, 196000);
            default:
                return pick(1, 196000);
        }
    };
    std::vector<int32_t> buffer;
    for (int iter = 0; iter < 250; ++iter) {
        const int from = rate(), to = rate();
        const int channels = pick(1, 6);
        const int length = pick(0, 3) == 0 ? 0 : pick(1, 40000);
        const int32_t amp = pick(0, 1) ? kFullScale16 : 0x7FFFFFFF;
        auto* raw =
            new VecSource(from, channels, Noise(static_cast<size_t>(length) * channels, amp, iter));
        LSoundSourceRef chain(raw);
        LSPConvChannels(static_cast<int16_t>(pick(1, 2))).OpenSource(chain, chain);
        // The two-stage path pulls a whole block through its first converter per refill, so
        // extreme downsampling takes a single converter here to keep the test quick.
        if (from <= 64 * to)
            LSPConvertRate(to).OpenSource(chain, chain);
        else
            chain = new LSRCConvertRate(chain, to, pick(0, 1) == 1);
        LSPPeakLimit(kFullScale16).OpenSource(chain, chain);
        SCOPED_TRACE(::testing::Message()
                     << from << "->" << to << " ch " << channels << " len " << length);

        // Bound the input consumed per step so extreme downsampling stays quick.
        const double ratio = static_cast<double>(from) / to;
        const int maxFrames =
            static_cast<int>(std::clamp(50000.0 / std::max(ratio, 1.0), 1.0, 8192.0));
        for (int step = 0; step < 6; ++step) {
            if (pick(0, 2) == 0) {
                const int32_t len = chain->GetLength();
                chain->Seek(pick(-100, std::max(0, len) + 100));
            }
            const int frames = pick(0, maxFrames);
            buffer.assign(static_cast<size_t>(frames) * chain->nChans + 1, 0x5A5A5A5A);
            chain->Read(buffer.data(), frames);
            ASSERT_EQ(buffer.back(), 0x5A5A5A5A) << "wrote past the request";
            for (int i = 0; i < frames * chain->nChans; ++i)
                ASSERT_LE(std::abs(static_cast<int64_t>(buffer[i])), kFullScale16);
            (void)chain->GetPosition();
        }
    }
}

}  // namespace
}  // namespace sonvex
