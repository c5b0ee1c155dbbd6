#include "audio/SoundSource.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio/SoundSink.h"
#include "audio/SoundTime.h"

namespace sonvex {
namespace {

// A silent source that counts its destructions; rate and channels as given.
class CountedSource : public LSoundSourceBase {
public:
    CountedSource(int* pDestroyed, int rate = 8000, int channels = 1)
        : LSoundSourceBase(rate, channels, kFullScale16), pDestroyed_(pDestroyed) {}
    ~CountedSource() override { ++*pDestroyed_; }
    void Read(int32_t*, int) override {}
    int32_t GetPosition() override { return 0; }
    int32_t GetLength() override { return 0; }
    void Seek(int32_t) override {}

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

// An invalid rate or channel count is replaced and marks the source corrupt; a filter over a
// failed source reports 2; a released handle holds a silent null source.
TEST(SoundSource, ErrorStatesAndTheNullSource) {
    int destroyed = 0;
    LSoundSourceRef a(new CountedSource(&destroyed, 0, 1));
    EXPECT_EQ(a->SampleRate, 44100);
    EXPECT_EQ(a->ErrorState, 3);
    LSoundSourceRef b(new CountedSource(&destroyed, 22050, 0));
    EXPECT_EQ(b->nChans, 1);
    EXPECT_EQ(b->SampleRate, 22050);
    EXPECT_EQ(b->ErrorState, 3);
    EXPECT_TRUE(LSoundSinkRef().empty());

    LSoundSourceRef f(new PassFilter(MakeErrorSource(4), &destroyed));
    EXPECT_EQ(f->ErrorState, 2);
    EXPECT_EQ(f->MaxAmplitude, 0x200000);

    a.Reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(a->SampleRate, 11025);
    EXPECT_EQ(a->nChans, 1);
    EXPECT_EQ(a->ErrorState, 1);
    EXPECT_EQ(a->GetLength(), 0);
    std::vector<int32_t> buf(16, 7);
    a->Read(buf.data(), 16);
    EXPECT_EQ(buf, std::vector<int32_t>(16, 0));
}

TEST(SoundSource, ChainIsDestroyedExactlyOnceAtLastRelease) {
    int destroyed = 0;
    {
        LSoundSourceRef chain(new CountedSource(&destroyed));
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

TEST(SoundSource, SampleConversions) {
    EXPECT_EQ(SampleTo16(0x7FFF0), 32767);
    EXPECT_EQ(SampleTo16(-524288), -32768);
    EXPECT_EQ(SampleTo16(7), 0);  // to the nearest step
    EXPECT_EQ(SampleTo16(8), 1);
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
