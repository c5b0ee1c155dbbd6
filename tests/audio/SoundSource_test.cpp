#include "audio/SoundSource.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio/SoundSink.h"
#include "audio/SoundTime.h"

namespace sonvex {
namespace {

// A source of a counting ramp that records its destruction.
class RampSource : public LSoundSourceBase {
public:
    RampSource(int32_t length, int* pDestroyed)
        : LSoundSourceBase(8000, 1, kFullScale16), nLength(length), pDestroyed_(pDestroyed) {}
    ~RampSource() override { ++*pDestroyed_; }
    void Read(int32_t* p, int frames) override {
        for (int i = 0; i < frames; ++i, ++sPos)
            p[i] = (sPos >= 0 && sPos < nLength) ? sPos + 1 : 0;
    }
    int32_t GetPosition() override { return sPos; }
    int32_t GetLength() override { return nLength; }
    void Seek(int32_t f) override { sPos = f; }
    int32_t nLength;
    int32_t sPos = 0;

private:
    int* pDestroyed_;
};

class PassFilter : public LSRCFilterBase {
public:
    PassFilter(const LSoundSourceRef& s, int* pDestroyed)
        : LSRCFilterBase(s), pDestroyed_(pDestroyed) {}
    ~PassFilter() override { ++*pDestroyed_; }
    void Read(int32_t* p, int frames) override { pSource->Read(p, frames); }

private:
    int* pDestroyed_;
};

TEST(SoundSource, ConstructionReplacesInvalidRateAndChannels) {
    int destroyed = 0;
    struct Bad : RampSource {
        Bad(int rate, int ch, int* d) : RampSource(0, d) {
            SetSampleRate(rate);
            SetChannels(ch);
        }
    };
    LSoundSourceRef a(new Bad(0, 1, &destroyed));
    EXPECT_EQ(a->SampleRate, 44100);
    EXPECT_EQ(a->ErrorState, 3);
    LSoundSourceRef b(new Bad(22050, 0, &destroyed));
    EXPECT_EQ(b->nChans, 1);
    EXPECT_EQ(b->SampleRate, 22050);
    EXPECT_EQ(b->ErrorState, 3);
    LSoundSinkRef sink;
    EXPECT_TRUE(sink.empty());
}

TEST(SoundSource, ResetHandleHoldsNullSource) {
    int destroyed = 0;
    LSoundSourceRef r(new RampSource(10, &destroyed));
    r.Reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(r->SampleRate, 11025);
    EXPECT_EQ(r->nChans, 1);
    EXPECT_EQ(r->ErrorState, 1);
    EXPECT_EQ(r->GetLength(), 0);
    std::vector<int32_t> buf(16, 7);
    r->Read(buf.data(), 16);
    for (int32_t v : buf) EXPECT_EQ(v, 0);
    EXPECT_EQ(MakeErrorSource(4)->ErrorState, 4);
}

TEST(SoundSource, EndOfStreamPadsWithSilence) {
    int destroyed = 0;
    LSoundSourceRef r(new RampSource(1000, &destroyed));
    std::vector<int32_t> buf(kBlockFrames, -1);
    r->Read(buf.data(), kBlockFrames);
    EXPECT_EQ(buf[999], 1000);
    EXPECT_EQ(buf[1000], 0);
    EXPECT_EQ(buf[kBlockFrames - 1], 0);
    EXPECT_EQ(r->GetPosition() - r->GetLength(), 7192);
}

TEST(SoundSource, ChainIsDestroyedExactlyOnceAtLastRelease) {
    int destroyed = 0;
    {
        LSoundSourceRef chain(new RampSource(5, &destroyed));
        chain = new PassFilter(chain, &destroyed);
        chain = new PassFilter(chain, &destroyed);
        LSoundSourceRef copy = chain;
        LSoundSourceRef& alias = copy;
        copy = alias;  // self-assignment keeps the object
        EXPECT_EQ(copy.RefCount(), 2);
        EXPECT_EQ(destroyed, 0);
        chain.Reset();
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 3);
}

TEST(SoundSource, FilterOverFailedSourceReportsTwo) {
    LSoundSourceRef failed = MakeErrorSource(4);
    int destroyed = 0;
    LSoundSourceRef f(new PassFilter(failed, &destroyed));
    EXPECT_EQ(f->ErrorState, 2);
    EXPECT_EQ(f->MaxAmplitude, 0x200000);
}

TEST(SoundSource, SampleConversions) {
    EXPECT_EQ(SampleTo16(0x7FFF0), 32767);
    EXPECT_EQ(SampleTo16(-524288), -32768);
    EXPECT_EQ(SampleToU8(0), 128);
    EXPECT_EQ(SampleToU8(SampleFromU8(255)), 255);
    EXPECT_EQ(SampleToU8(SampleFromU8(0)), 0);
    // The top never wraps to the bottom.
    EXPECT_EQ(SampleToU8(0x7F800), 255);
    EXPECT_EQ(SampleToU8(0x7FFF0), 255);
    EXPECT_EQ(SampleToS8(0x7FFF0), 127);
    for (int v = -32768; v <= 32767; v += 97)
        EXPECT_EQ(SampleTo16(SampleFrom16(static_cast<int16_t>(v))), v);
}

TEST(SoundTime, Milliseconds) {
    EXPECT_EQ(LSoundTime(44100, 44100).Milliseconds(), 1000);
    EXPECT_EQ(LSoundTime(22050 + 44100 * 3, 44100).Milliseconds(), 3500);
    // Large counts do not overflow the intermediate product.
    EXPECT_EQ(LSoundTime(2000000000, 8000).Milliseconds(), 250000000);
    EXPECT_EQ(LSoundTime(100, 0).Milliseconds(), 0);
}

}  // namespace
}  // namespace sonvex
