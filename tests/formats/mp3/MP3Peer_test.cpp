// Files written by lame, decoded by us and by mpg123 --no-gapless; seeking in them.
//
// Alignment: mpg123 never outputs lame's tag frame. We skip a "Xing" or "Info" tag frame when
// its side information is zero and the tag follows it directly; the tag of a file with CRC
// (two bytes further on) is decoded as one near-silent frame, so our output then starts one
// MPEG frame earlier than mpg123's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/mp3/MP3Source.h"
#include "formats/mp3/Mp3TestUtil.h"

namespace sonvex {
namespace {

// Two seconds of a stereo test signal: a different tone per channel, a slow sweep, and
// bursts of noise every quarter second (which make the encoder switch to short blocks).
std::vector<uint8_t> TestWav(int rate, int channels, double seconds = 2.0) {
    const int frames = static_cast<int>(rate * seconds);
    std::vector<int16_t> v;
    uint32_t seed = 12345;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double sweep = std::sin(2 * M_PI * (100 + 0.1 * rate * t / seconds) * t);
        const bool burst = std::fmod(t, 0.25) < 0.02;
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1103515245u + 12345u;
            const double noise = burst ? ((seed >> 9) / double(1 << 23) - 0.5) : 0.0;
            v.push_back(static_cast<int16_t>(
                (0.3 * std::sin(2 * M_PI * (c ? 330.0 : 440.0) * t) + 0.2 * sweep + 0.6 * noise) *
                20000));
        }
    }
    return test::Wav16(static_cast<uint32_t>(rate), static_cast<uint16_t>(channels), v);
}

struct PeerCase {
    const char* name;
    int rate;
    int channels;
    const char* lameArgs;
    int tagFramesDecoded;  // 1 when our output holds lame's tag frame
};

const PeerCase kCases[] = {
    {"mpeg1_joint_cbr", 44100, 2, "-b 128 -m j", 0},
    {"mpeg1_stereo_crc", 48000, 2, "-b 192 -m s -p", 1},
    {"mpeg1_mono_vbr", 32000, 1, "-V 4 -m m", 0},
    {"mpeg1_dual_notag", 44100, 2, "-b 160 -m d -t", 0},
    {"mpeg2_joint_vbr", 22050, 2, "-V 2 -m j", 0},
    {"mpeg2_stereo_vbr_crc", 16000, 2, "-V 5 -m s -p", 1},
    {"mpeg2_dual_cbr", 24000, 2, "-b 64 -m d", 0},
    {"mpeg25_mono_cbr", 11025, 1, "-b 24 -m m", 0},  // frames too small: lame writes no tag
    {"mpeg25_joint_vbr", 8000, 2, "-V 6 -m j", 0},
    {"mpeg25_stereo_cbr", 12000, 2, "-b 32 -m s -t", 0},
    {"mpeg1_free_400", 44100, 2, "--freeformat -b 400", 0},
    {"mpeg2_free_mono_crc", 22050, 1, "--freeformat -b 96 -m m -p", 1},
};

class MP3Peer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveProgram("lame") || !test::HaveProgram("mpg123"))
            GTEST_SKIP() << "lame and mpg123 are needed for the peer tests";
    }
    // Encodes the test signal; returns the path of the MP3 file.
    std::string Encode(const PeerCase& c) {
        std::string wav = dir.file(std::string(c.name) + ".wav");
        std::string mp3 = dir.file(std::string(c.name) + ".mp3");
        test::WriteBytes(wav, TestWav(c.rate, c.channels));
        std::string cmd =
            "lame --quiet " + std::string(c.lameArgs) + " '" + wav + "' '" + mp3 + "'";
        EXPECT_EQ(test::RunShell(cmd), 0) << cmd;
        return mp3;
    }
    test::TempDir dir;
};

TEST_F(MP3Peer, DecodesLikeMpg123) {
    for (const PeerCase& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string mp3 = Encode(c);
        std::string raw = mp3 + ".raw";
        ASSERT_EQ(test::RunShell("mpg123 --no-gapless -q -s '" + mp3 + "' > '" + raw + "'"), 0);
        std::vector<int16_t> theirs = test::Load16(raw);

        LMP3Source src(mp3);
        ASSERT_EQ(src.ErrorState, 0);
        ASSERT_EQ(src.nChans, c.channels);
        ASSERT_EQ(src.SampleRate, c.rate);
        const int nfs = src.FrameSamples();
        const int32_t lengthAtOpen = src.GetLength();
        std::vector<int32_t> ours = test::ReadAll(src);

        const size_t offset = size_t(c.tagFramesDecoded) * nfs * c.channels;
        ASSERT_EQ(ours.size(), theirs.size() + offset);
        EXPECT_EQ(src.GetLength() * c.channels, static_cast<int32_t>(ours.size()));
        double psnr = test::Psnr(ours.data() + offset, theirs.data(), theirs.size());
        std::printf("  %-22s %5d Hz %d ch  %7zu frames  %6.1f dB\n", c.name, c.rate, c.channels,
                    theirs.size() / c.channels, psnr);
        EXPECT_GT(psnr, 90.0);
        if (c.tagFramesDecoded) {
            int32_t peak = 0;
            for (size_t i = 0; i < offset; ++i) peak = std::max(peak, std::abs(ours[i]));
            EXPECT_LT(peak, 16 << 4) << "the tag frame should decode near-silent";
        }
        if (src.FrameCountFromTag() > 0) {
            // A Xing file's length is known at open: frames x samples per frame.
            EXPECT_EQ(lengthAtOpen, src.FrameCountFromTag() * nfs);
            EXPECT_EQ(lengthAtOpen * c.channels, static_cast<int32_t>(theirs.size()));
        }
    }
}

// After Seek(p) the next frames equal a straight decode from p: the warm-up frames rebuild
// the reservoir, the overlap and the synthesis history. Constant-rate files only: in a VBR
// file a position is found from the average frame size and lands near, not on, the frame.
TEST_F(MP3Peer, SeekLandsOnTheRequestedFrame) {
    for (const PeerCase& c : {kCases[0], kCases[3], kCases[6], kCases[9], kCases[10]}) {
        SCOPED_TRACE(c.name);
        std::string mp3 = Encode(c);
        LMP3Source straight(mp3);
        std::vector<int32_t> all = test::ReadAll(straight);
        const int32_t len = straight.GetLength();
        const int nfs = straight.FrameSamples();
        const int ch = c.channels;

        LMP3Source s(mp3);
        const int n = 3000;
        std::vector<int32_t> buf(size_t(n) * ch);
        for (int32_t p : {len / 2, 0, 1, nfs - 1, nfs, 3 * nfs + 17, 4 * nfs, 9 * nfs + 100,
                          len - n - 5, len / 3}) {
            s.Seek(p);
            s.Read(buf.data(), n);
            ASSERT_EQ(s.GetPosition(), p + n);
            bool same = std::equal(buf.begin(), buf.end(), all.begin() + size_t(p) * ch);
            EXPECT_TRUE(same) << "seek to " << p;
        }
        // Before the start: silence, then the stream from its first frame.
        s.Seek(-1000);
        s.Read(buf.data(), n);
        EXPECT_TRUE(
            std::all_of(buf.begin(), buf.begin() + 1000 * ch, [](int32_t v) { return v == 0; }));
        EXPECT_TRUE(std::equal(buf.begin() + 1000 * ch, buf.end(), all.begin()));
        // Beyond the end: silence, and the position keeps counting.
        s.Seek(len + 10);
        s.Read(buf.data(), n);
        EXPECT_EQ(s.GetPosition(), len + 10 + n);
        EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](int32_t v) { return v == 0; }));
    }
}

// A leading ID3v2 tag longer than the header search (cover art) is stepped over: the file
// decodes exactly as without it, lengths and seeks included.
TEST(MP3Id3v2, LargeLeadingTagIsSkipped) {
    if (!test::HaveProgram("lame") || !test::HaveProgram("sox")) GTEST_SKIP() << "lame/sox missing";
    test::TempDir dir;
    ASSERT_EQ(test::RunShell("sox -n -r 44100 -c 2 -b 16 '" + dir.file("s.wav") +
                             "' synth 2 sine 440 sine 880 gain -6 && lame --quiet -t -b 128 '" +
                             dir.file("s.wav") + "' '" + dir.file("plain.mp3") + "'"),
              0);
    const std::vector<uint8_t> plain = test::ReadBytes(dir.file("plain.mp3"));
    for (bool footer : {false, true}) {
        const uint32_t body = 150000;  // an embedded picture's worth
        std::vector<uint8_t> f = {'I', 'D', '3', 4, 0, static_cast<uint8_t>(footer ? 0x10 : 0)};
        for (int shift : {21, 14, 7, 0}) f.push_back(static_cast<uint8_t>((body >> shift) & 0x7F));
        for (uint32_t i = 0; i < body; ++i) f.push_back(static_cast<uint8_t>(i * 7));  // noise
        if (footer) f.insert(f.end(), {'3', 'D', 'I', 4, 0, 0x10, f[6], f[7], f[8], f[9]});
        f.insert(f.end(), plain.begin(), plain.end());
        test::WriteBytes(dir.file("tagged.mp3"), f);
        LMP3Source a(dir.file("plain.mp3")), b(dir.file("tagged.mp3"));
        ASSERT_EQ(b.ErrorState, 0);
        EXPECT_EQ(b.GetLength(), a.GetLength());
        EXPECT_EQ(test::ReadAll(b), test::ReadAll(a));
        a.Seek(44100);
        b.Seek(44100);
        std::vector<int32_t> x(2000), y(2000);
        a.Read(x.data(), 1000);
        b.Read(y.data(), 1000);
        EXPECT_EQ(x, y);
    }
}

}  // namespace
}  // namespace sonvex
