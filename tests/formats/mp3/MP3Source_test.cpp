// LMP3Source on streams built byte by byte: frame search, acceptance, free format, tags, the
// length estimate and its refinement, reading and seeking at the edges.
#include "formats/mp3/MP3Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "formats/mp3/MP3Header.h"
#include "formats/mp3/MP3Tables.h"
#include "formats/mp3/Mp3TestUtil.h"

namespace sonvex {
namespace {

using Bytes = std::vector<uint8_t>;

struct FrameSpec {
    int version = 0;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int brIndex = 9;  // 128 kbit/s for MPEG-1
    int sf = 0;       // 44100 / 22050 / 11025
    int mode = 0;
    int pad = 0;
    bool crc = false;
    int freeBytes = 0;  // with brIndex 0: the free-format frame length without padding
};

const int kBr[2][15] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
                        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
const int kRate[3] = {44100, 48000, 32000};

int FrameBytes(const FrameSpec& f) {
    if (f.brIndex == 0) return f.freeBytes + f.pad;
    int rate = kRate[f.sf] >> f.version;
    return (f.version == 0 ? 144 : 72) * kBr[f.version ? 1 : 0][f.brIndex] * 1000 / rate + f.pad;
}

// A frame whose side information and main data are all zero: it decodes to silence.
void AddFrame(Bytes& v, const FrameSpec& f) {
    int verBits = f.version == 0 ? 3 : f.version == 1 ? 2 : 0;
    v.push_back(0xFF);
    v.push_back(static_cast<uint8_t>(0xE0 | (verBits << 3) | (1 << 1) | (f.crc ? 0 : 1)));
    v.push_back(static_cast<uint8_t>(f.brIndex << 4 | f.sf << 2 | f.pad << 1));
    v.push_back(static_cast<uint8_t>(f.mode << 6));
    v.insert(v.end(), static_cast<size_t>(FrameBytes(f) - 4), 0);
}

void PutBE32(Bytes& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (24 - 8 * i));
}

struct MP3SourceTest : ::testing::Test {
    test::TempDir dir;
    std::string Write(const Bytes& b, const char* name = "t.mp3") {
        std::string p = dir.file(name);
        test::WriteBytes(p, b);
        return p;
    }
};

using MP3Header = mp3::MP3Header;

TEST(MP3HeaderTest, AcceptsLayerThreeHeadersOnly) {
    MP3Header h;
    const uint8_t good[4] = {0xFF, 0xFB, 0x92, 0x64};  // MPEG-1, 128k, 44.1k, pad, joint, ext 2
    ASSERT_TRUE(MP3Header::Parse(good, h));
    EXPECT_EQ(h.version, 0);
    EXPECT_EQ(h.bitrate, 128000);
    EXPECT_EQ(h.padding_bit, 1);
    EXPECT_EQ(h.mode, 1);
    EXPECT_EQ(h.mode_extension, 2);
    EXPECT_EQ(h.PayloadBytes(), 418 - 4);  // 417 bytes plus padding, less the header
    EXPECT_EQ(h.MainDataBytes(), 418 - 4 - 32);
    const uint8_t lsfCrc[4] = {0xFF, 0xF2, 0x10, 0xC0};  // MPEG-2, CRC, 8k, 22.05k, mono
    ASSERT_TRUE(MP3Header::Parse(lsfCrc, h));
    EXPECT_EQ(h.version, 1);
    EXPECT_EQ(h.SampleRate(), 22050);
    EXPECT_EQ(h.SideInfoBytes(), 9);
    EXPECT_EQ(h.PayloadBytes(), 72 * 8000 / 22050 - 4 - 2);
    const uint8_t v25[4] = {0xFF, 0xE3, 0x18, 0x00};  // MPEG-2.5, 8000 Hz
    ASSERT_TRUE(MP3Header::Parse(v25, h));
    EXPECT_EQ(h.version, 2);
    EXPECT_EQ(h.SampleRate(), 8000);
    EXPECT_EQ(h.FrameSamples(), 576);

    const uint8_t refused[][4] = {
        {0xFF, 0xEB, 0x90, 0x00},  // version bits 01
        {0xFF, 0xFD, 0x90, 0x00},  // layer II
        {0xFF, 0xFB, 0x00, 0x00},  // free format
        {0xFF, 0xFB, 0xF0, 0x00},  // bitrate index 15
        {0xFF, 0xFB, 0x9C, 0x00},  // sampling frequency 3
        {0xFE, 0xFB, 0x90, 0x00},  // no sync
    };
    for (auto& b : refused) EXPECT_FALSE(MP3Header::Parse(b, h));

    // Free format once the stream's frame length is known: padding adds one byte as usual.
    const uint8_t free[4] = {0xFF, 0xFA, 0x02, 0x00};  // MPEG-1, CRC, free, 44.1k, pad
    ASSERT_TRUE(MP3Header::Parse(free, h, 391));
    EXPECT_EQ(h.free_bytes, 391);
    EXPECT_EQ(h.FrameBytes(), 392);
    EXPECT_EQ(h.PayloadBytes(), 392 - 4 - 2);
    EXPECT_EQ(h.bitrate, 391 * 44100 / 144);
    ASSERT_TRUE(MP3Header::Parse(free, h, MP3Header::kFreeUnmeasured));
    EXPECT_EQ(h.bitrate, 0);
    EXPECT_EQ(h.free_bytes, 0);
}

TEST(MP3TablesTest, HuffmanTreesAreCompletePrefixCodes) {
    const mp3::SharedTables& t = mp3::GetSharedTables();
    // A complete code over n symbols flattens to 2n - 1 entries; every leaf is reachable.
    const int symbols[34] = {1,   4,   9,   9,   1,   16,  16,  36,  36,  36,  64,  64,
                             64,  256, 1,   256, 256, 256, 256, 256, 256, 256, 256, 256,
                             256, 256, 256, 256, 256, 256, 256, 256, 16,  16};
    for (int i = 0; i < 34; ++i) EXPECT_EQ(t.huffTreeSize[i], 2 * symbols[i] - 1) << "table " << i;
    // Table 1 by hand: 1 -> (0,0), 001 -> (0,1), 01 -> (1,0), 000 -> (1,1).
    const int16_t* t1 = t.huffTree[1];
    EXPECT_EQ(t1[1 - t1[0]], 0x00);
    EXPECT_EQ(t.huffLook[1][0x20] >> 8, 0x01);  // 001xxxxx
    EXPECT_EQ(t.huffLook[1][0x40] >> 8, 0x10);  // 01xxxxxx
    EXPECT_EQ(t.huffLook[1][0x00] >> 8, 0x11);  // 000xxxxx
    // Whole-pair entries agree with the tree: 1 then no sign for (0,0); 01 and a sign bit 1
    // for (-1,0).
    EXPECT_EQ(t.huffPair[1][0x200] & 31, 1u);
    EXPECT_EQ((t.huffPair[1][0x180] >> 8) & 63, 13u);  // 01 1: x = -1
    // Count1 entries: code plus signs always fit; 0001 with a sign 1 in table B is y = -1.
    for (int q = 0; q < 2; ++q)
        for (uint32_t e : t.huffQuad[q]) EXPECT_TRUE((e >> 31) && (e & 31) >= 1 && (e & 31) <= 10);
    EXPECT_EQ(t.huffQuad[1][0x3A0 >> 0] & 31, 5u);  // 1110 1: y set, negative
    EXPECT_EQ((t.huffQuad[1][0x3A0] >> 8) & 0xFF, 2u << 6);
    // The synthesis window is odd around 256 except at multiples of 64.
    EXPECT_FLOAT_EQ(t.window[256], 1.144989014f);
    EXPECT_FLOAT_EQ(t.window[511], 0.000015259f);
    EXPECT_FLOAT_EQ(t.window[448], t.window[64]);
}

TEST(MP3ReorderTest, ShortAndMixedMaps) {
    mp3::LLayer3Decoder d;
    d.BuildReorderMap(0, 0);  // 44.1 kHz: short band 0 is 4 lines wide
    const uint16_t* s = d.ReorderMap(1);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], 3);  // window 0, line 1
    EXPECT_EQ(s[4], 1);  // window 1, line 0
    EXPECT_EQ(s[8], 2);  // window 2, line 0
    EXPECT_EQ(s[575], 575);
    const uint16_t* m = d.ReorderMap(2);
    for (int i = 0; i < 36; ++i) EXPECT_EQ(m[i], i);
    EXPECT_EQ(m[36], s[36]);
    d.BuildReorderMap(2, 2);  // 8 kHz: the long part of a mixed block is 72 lines
    for (int i = 0; i < 72; ++i) EXPECT_EQ(d.ReorderMap(2)[i], i);
    EXPECT_NE(d.ReorderMap(2)[73], 73);
}

// Files without one decodable frame, each looking like MP3 data in its own way.
std::vector<std::pair<std::string, Bytes>> UndecodableFiles() {
    std::vector<std::pair<std::string, Bytes>> v;
    v.emplace_back("empty", Bytes{});
    Bytes text;
    for (int i = 0; i < 100; ++i)
        for (char c : std::string("Not audio at all.\n")) text.push_back(static_cast<uint8_t>(c));
    v.emplace_back("text", text);
    Bytes noise(200000);  // holds false sync words
    uint32_t seed = 1;
    for (uint8_t& x : noise) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 23);
    v.emplace_back("noise", noise);
    v.emplace_back("cut_header", Bytes{0xFF, 0xFB, 0x90});
    Bytes frame;
    AddFrame(frame, FrameSpec{});
    v.emplace_back("cut_frame", Bytes(frame.begin(), frame.begin() + 200));
    Bytes tag = frame;
    std::memcpy(&tag[36], "Info", 4);
    PutBE32(tag, 40, 1);
    PutBE32(tag, 44, 1);
    v.emplace_back("tag_frame_alone", tag);
    Bytes late = frame;  // main data begins before the file, in both frames
    late.insert(late.end(), frame.begin(), frame.end());
    late[4] = late[4 + frame.size()] = 0xFF;
    v.emplace_back("reservoir_never_filled", late);
    return v;
}

TEST_F(MP3SourceTest, OpenFailures) {
    LMP3Source missing(dir.file("none.mp3"));
    EXPECT_EQ(missing.ErrorState, 4);
    for (const auto& [name, bytes] : UndecodableFiles()) {
        LMP3Source s(Write(bytes, (name + ".mp3").c_str()));
        EXPECT_EQ(s.ErrorState, 3) << name;
        std::vector<int32_t> buf(100, 7);
        s.Read(buf.data(), 50);
        EXPECT_EQ(buf[0], 0) << name;
    }
}

// Through the program: such a file fails its row with the opener's message and exit status 2,
// and leaves no output; a decodable file beside them converts.
TEST(MP3Program, UndecodableFileFailsItsRow) {
    test::ScopedHome home;
    const std::string dir = home.home();
    auto files = UndecodableFiles();
    Bytes good;
    for (int i = 0; i < 5; ++i) AddFrame(good, FrameSpec{});
    files.emplace_back("good", good);
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        test::WriteBytes(dir + "/" + name + ".mp3", bytes);
        std::string err;
        const int rc = test::RunShell("cd '" + dir + "' && '" + test::ProgramPath() + "' " + name +
                                          ".mp3 -format .wav -outfolder out -convert -exit "
                                          "</dev/null 2>&1 >/dev/null",
                                      &err);
        const bool bGood = name == "good";
        EXPECT_EQ(rc, bGood ? 0 : 2) << err;
        const std::string message = "Cannot open the file \"" + name + ".mp3\".";
        EXPECT_EQ(err.find(message) != std::string::npos, !bGood) << err;
        EXPECT_EQ(test::FileExists(dir + "/out/" + name + ".wav"), bGood);
    }
}

// Free format: the frame length is the distance between the first two headers of the stream,
// less the first one's padding; a false sync inside the first frame is not taken for the
// second header, since no third header follows at its distance.
TEST_F(MP3SourceTest, FreeFormatFrameLength) {
    const FrameSpec cases[] = {
        {0, 0, 0, 1, 0, false, 391},  // MPEG-1 joint stereo, 44.1 kHz
        {0, 0, 2, 3, 0, true, 1500},  // MPEG-1 mono with CRC, 32 kHz
        {1, 0, 1, 0, 0, false, 700},  // MPEG-2 stereo, 24 kHz
        {2, 0, 2, 3, 0, true, 90},    // MPEG-2.5 mono with CRC, 8 kHz
    };
    for (const FrameSpec& c : cases) {
        SCOPED_TRACE(c.freeBytes);
        Bytes b;
        for (int i = 0; i < 12; ++i) {
            FrameSpec f = c;
            f.pad = i % 3 == 0;
            AddFrame(b, f);
        }
        std::copy(b.begin(), b.begin() + 4, b.begin() + 60);  // in the main data of frame 0
        LMP3Source s(Write(b));
        ASSERT_EQ(s.ErrorState, 0);
        EXPECT_EQ(s.FreeFormatBytes(), c.freeBytes);
        const int samples = c.version == 0 ? 1152 : 576;
        EXPECT_EQ(test::ReadAll(s).size(), 12u * samples * (c.mode == 3 ? 1 : 2));
        EXPECT_EQ(s.GetLength(), 12 * samples);
    }
}

TEST_F(MP3SourceTest, HeaderSearchLimit) {
    FrameSpec f;
    for (size_t garbage : {65535u, 65536u}) {
        Bytes b(garbage, 0x55);
        for (int i = 0; i < 3; ++i) AddFrame(b, f);
        LMP3Source s(Write(b));
        // Position 65535 is the last one tested.
        EXPECT_EQ(s.ErrorState, garbage == 65535u ? 0 : 3) << garbage;
    }
}

TEST_F(MP3SourceTest, ConstantBitrateLengthEstimate) {
    FrameSpec f;
    Bytes b;
    for (int i = 0; i < 20; ++i) AddFrame(b, f);
    LMP3Source s(Write(b));
    ASSERT_EQ(s.ErrorState, 0);
    EXPECT_EQ(s.nChans, 2);
    EXPECT_EQ(s.SampleRate, 44100);
    EXPECT_EQ(s.MaxAmplitude, 0x200000);
    EXPECT_NEAR(s.AverageFrameBytes(), 144.0 * 128000 / 44100, 1e-9);
    int32_t expect =
        static_cast<int32_t>(std::trunc((b.size() - 128) / s.AverageFrameBytes() + 0.9)) * 1152;
    EXPECT_EQ(s.GetLength(), expect);
    std::vector<int32_t> all = test::ReadAll(s);
    EXPECT_EQ(all.size(), 20u * 1152 * 2);
    EXPECT_EQ(s.GetLength(), 20 * 1152);
    // All-zero side information and main data: silence.
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](int32_t v) { return v == 0; }));
}

// Low bit rates: the last 128 bytes hold real frames, not a tag. None may be dropped, also
// when a block ends exactly where the estimate from the bytes left would end the stream
// (133 frames: the estimate reaches its end after frame 128, at 16 blocks of 8192).
TEST_F(MP3SourceTest, SmallFramesAtTheEndAreKept) {
    FrameSpec f{1, 1, 1, 3};  // MPEG-2, 8 kbit/s, 24 kHz, mono: 24-byte frames
    Bytes b;
    for (int i = 0; i < 133; ++i) AddFrame(b, f);
    ASSERT_EQ(b.size(), 133u * 24);
    LMP3Source s(Write(b));
    ASSERT_EQ(s.ErrorState, 0);
    EXPECT_EQ(s.nChans, 1);
    EXPECT_EQ(s.GetLength() % 576, 0);
    std::vector<int32_t> all = test::ReadAll(s);
    EXPECT_EQ(all.size(), 133u * 576);
    EXPECT_EQ(s.GetLength(), 133 * 576);

    // With a trailing 128-byte tag the length still ends at the last frame.
    Bytes tagged = b;
    tagged.insert(tagged.end(), {'T', 'A', 'G'});
    tagged.resize(tagged.size() + 125, ' ');
    LMP3Source t(Write(tagged, "tag.mp3"));
    EXPECT_EQ(test::ReadAll(t).size(), 133u * 576);
    EXPECT_EQ(t.GetLength(), 133 * 576);
}

TEST_F(MP3SourceTest, AverageOfFewerThanEightFrames) {
    Bytes b;
    for (int idx : {5, 9, 11}) {  // 64, 128, 192 kbit/s
        FrameSpec f;
        f.brIndex = idx;
        AddFrame(b, f);
    }
    LMP3Source s(Write(b));
    ASSERT_EQ(s.ErrorState, 0);
    EXPECT_EQ(s.FirstHeader().bitrate, 128000);
    EXPECT_EQ(test::ReadAll(s).size(), 3u * 1152 * 2);
}

TEST_F(MP3SourceTest, XingAndVbriTags) {
    FrameSpec f;
    // Xing (or Info, its constant-rate twin) with the frames flag: the tag frame gives no
    // output, the length is the count.
    Bytes b;
    AddFrame(b, f);
    PutBE32(b, 40, 0x0F);
    PutBE32(b, 44, 30);
    for (int i = 0; i < 30; ++i) AddFrame(b, f);
    for (const char* tag : {"Info", "Xing"}) {
        SCOPED_TRACE(tag);
        std::memcpy(&b[36], tag, 4);
        LMP3Source s(Write(b));
        ASSERT_EQ(s.ErrorState, 0);
        EXPECT_EQ(s.FrameCountFromTag(), 30);
        EXPECT_EQ(s.GetLength(), 30 * 1152);
        EXPECT_EQ(test::ReadAll(s).size(), 30u * 1152 * 2);
    }
    // A count larger than the stream: the length drops to the real end.
    PutBE32(b, 44, 50);
    {
        LMP3Source s(Write(b, "long.mp3"));
        EXPECT_EQ(s.GetLength(), 50 * 1152);
        EXPECT_EQ(test::ReadAll(s).size(), 30u * 1152 * 2);
        EXPECT_EQ(s.GetLength(), 30 * 1152);
    }
    // Without the frames flag the tag frame is an ordinary (silent) frame.
    PutBE32(b, 40, 0x0E);
    {
        LMP3Source s(Write(b, "noflag.mp3"));
        EXPECT_EQ(s.FrameCountFromTag(), 0);
        EXPECT_EQ(test::ReadAll(s).size(), 31u * 1152 * 2);
    }
    // A side-information byte that is not zero hides the tag.
    PutBE32(b, 40, 0x0F);
    b[10] = 1;
    {
        LMP3Source s(Write(b, "nonzero.mp3"));
        EXPECT_EQ(s.FrameCountFromTag(), 0);
    }
    // VBRI: the count sits 10 bytes after the tag name.
    Bytes v;
    AddFrame(v, f);
    std::memcpy(&v[36], "VBRI", 4);
    PutBE32(v, 50, 12);
    for (int i = 0; i < 12; ++i) AddFrame(v, f);
    LMP3Source s(Write(v, "vbri.mp3"));
    EXPECT_EQ(s.FrameCountFromTag(), 12);
    EXPECT_EQ(s.GetLength(), 12 * 1152);
    EXPECT_EQ(test::ReadAll(s).size(), 12u * 1152 * 2);
}

TEST_F(MP3SourceTest, ChannelModesAndRates) {
    struct Case {
        FrameSpec f;
        int chans, rate, samples;
    } cases[] = {
        {{0, 9, 0, 3}, 1, 44100, 1152},           // single channel
        {{0, 9, 1, 2}, 2, 48000, 1152},           // dual channel
        {{1, 9, 0, 1}, 2, 22050, 576},            // MPEG-2 joint stereo
        {{2, 4, 2, 0}, 2, 8000, 576},             // MPEG-2.5
        {{0, 9, 2, 0, 0, true}, 2, 32000, 1152},  // with CRC
    };
    for (const Case& c : cases) {
        Bytes b;
        for (int i = 0; i < 5; ++i) AddFrame(b, c.f);
        LMP3Source s(Write(b));
        ASSERT_EQ(s.ErrorState, 0);
        EXPECT_EQ(s.nChans, c.chans);
        EXPECT_EQ(s.SampleRate, c.rate);
        EXPECT_EQ(s.GetLength() % c.samples, 0);
        EXPECT_EQ(test::ReadAll(s).size(), 5u * c.samples * c.chans);
    }
}

TEST_F(MP3SourceTest, DifferingHeadersAreSkippedThenEndTheStream) {
    FrameSpec a, other;
    other.sf = 1;  // 48 kHz
    Bytes few, many;
    for (int i = 0; i < 10; ++i) AddFrame(few, a), AddFrame(many, a);
    for (int i = 0; i < 10; ++i) AddFrame(few, other);
    for (int i = 0; i < 11; ++i) AddFrame(many, other);
    for (int i = 0; i < 5; ++i) AddFrame(few, a), AddFrame(many, a);
    LMP3Source s1(Write(few, "few.mp3"));
    EXPECT_EQ(test::ReadAll(s1).size(), 15u * 1152 * 2);  // ten skipped, then on
    LMP3Source s2(Write(many, "many.mp3"));
    EXPECT_EQ(test::ReadAll(s2).size(), 10u * 1152 * 2);  // the eleventh ends it
}

TEST_F(MP3SourceTest, ReadBeforeStartAndAfterEnd) {
    FrameSpec f;
    Bytes b;
    for (int i = 0; i < 4; ++i) AddFrame(b, f);
    LMP3Source s(Write(b));
    std::vector<int32_t> buf(2 * 2000, 1);
    s.Seek(-1000);
    s.Read(buf.data(), 600);
    EXPECT_EQ(s.GetPosition(), -400);
    s.Read(buf.data(), 2000);
    EXPECT_EQ(s.GetPosition(), 1600);
    test::ReadAll(s);
    EXPECT_EQ(s.GetLength(), 4 * 1152);
    const int32_t p0 = s.GetPosition();
    std::fill(buf.begin(), buf.end(), 1);
    s.Read(buf.data(), 2000);
    s.Read(buf.data(), 2000);
    EXPECT_EQ(s.GetPosition(), p0 + 4000);
    EXPECT_EQ(s.GetLength(), 4 * 1152);
    for (int32_t x : buf) EXPECT_EQ(x, 0);
}

}  // namespace
}  // namespace sonvex
