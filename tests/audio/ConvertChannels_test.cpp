#include "audio/ConvertChannels.h"

#include <gtest/gtest.h>

#include "audio/AudioTestSources.h"

namespace sonvex {
namespace {

using test::Noise;
using test::ReadFrames;
using test::VecSource;

constexpr auto ToChannels = &test::Staged<LSPConvChannels>;

TEST(ConvertChannels, StereoToMonoKeepsTheLeftChannelExactly) {
    const int frames = 20000;
    auto in = Noise(2 * frames, 0x3FFFFF, 11);
    auto* raw = new VecSource(22050, 2, in, 0x400000);
    LSoundSourceRef src(raw);
    LSoundSourceRef mono = ToChannels(src, 1);
    ASSERT_NE(dynamic_cast<LSRCStereoToMono*>(mono.get()), nullptr);
    EXPECT_EQ(mono->nChans, 1);
    EXPECT_EQ(mono->SampleRate, 22050);
    EXPECT_EQ(mono->MaxAmplitude, 0x400000);
    EXPECT_EQ(mono->GetLength(), frames);

    auto got = ReadFrames(*mono, frames + 100, 3001);
    for (int i = 0; i < frames; ++i) ASSERT_EQ(got[i], in[2 * i]) << i;
    for (int i = frames; i < frames + 100; ++i) ASSERT_EQ(got[i], 0);
    EXPECT_EQ(mono->GetPosition(), frames + 100);

    mono->Seek(5);
    EXPECT_EQ(raw->seeks.back(), 5);
    int32_t one = 0;
    mono->Read(&one, 1);
    EXPECT_EQ(one, in[10]);
}

TEST(ConvertChannels, MonoToStereoDuplicatesAndHandlesOversizedReads) {
    const int frames = 3 * kBlockFrames + 17;
    auto in = Noise(frames, 0x7FFF0, 12);
    LSoundSourceRef src(new VecSource(8000, 1, in));
    LSoundSourceRef stereo = ToChannels(src, 2);
    ASSERT_NE(dynamic_cast<LSRCMonoToStereo*>(stereo.get()), nullptr);
    EXPECT_EQ(stereo->nChans, 2);
    // One request larger than a block is still filled completely.
    std::vector<int32_t> got(2 * static_cast<size_t>(frames));
    stereo->Read(got.data(), frames);
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(got[2 * i], in[i]) << i;
        ASSERT_EQ(got[2 * i + 1], in[i]) << i;
    }
}

TEST(ConvertChannels, OtherCombinationsPassThrough) {
    LSoundSourceRef six(new VecSource(44100, 6, {}));
    EXPECT_EQ(ToChannels(six, 6).get(), six.get());
    EXPECT_EQ(ToChannels(six, 4).get(), six.get());
    LSoundSourceRef stereo(new VecSource(44100, 2, {}));
    EXPECT_EQ(ToChannels(stereo, 2).get(), stereo.get());
    EXPECT_EQ(ToChannels(stereo, 0).get(), stereo.get());
    EXPECT_EQ(ToChannels(stereo, 6).get(), stereo.get());
    LSoundSourceRef failed = MakeErrorSource(3);
    EXPECT_EQ(ToChannels(failed, 2).get(), failed.get());
}

}  // namespace
}  // namespace sonvex
