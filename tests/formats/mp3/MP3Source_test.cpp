// LMP3Source on streams built byte by byte: frame search, acceptance, free format, tags, the
// length estimate and its refinement.
#include "formats/mp3/MP3Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "formats/mp3/MP3Header.h"
#include "formats/mp3/Mp3TestUtil.h"

namespace sonvex {
namespace {

using Bytes = std::vector<uint8_t>;
using mp3::MP3Header;

struct FrameShape {
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

// A frame whose side information and main data are all zero: it decodes to silence.
void AddFrame(Bytes& v, const FrameShape& f) {
    const int verBits = f.version == 0 ? 3 : f.version == 1 ? 2 : 0;
    const int bytes = f.brIndex == 0
                          ? f.freeBytes
                          : (f.version == 0 ? 144 : 72) * kBr[f.version ? 1 : 0][f.brIndex] * 1000 /
                                (kRate[f.sf] >> f.version);
    v.push_back(0xFF);
    v.push_back(static_cast<uint8_t>(0xE0 | (verBits << 3) | (1 << 1) | (f.crc ? 0 : 1)));
    v.push_back(static_cast<uint8_t>(f.brIndex << 4 | f.sf << 2 | f.pad << 1));
    v.push_back(static_cast<uint8_t>(f.mode << 6));
    v.insert(v.end(), static_cast<size_t>(bytes + f.pad - 4), 0);
}

Bytes Frames(int n, const FrameShape& f = {}) {
    Bytes b;
    for (int i = 0; i < n; ++i) AddFrame(b, f);
    return b;
}

void SetBE32(Bytes& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (24 - 8 * i));
}

// Frames decoded to the end, from a stream in memory.
size_t DecodedFrames(const Bytes& b) {
    LMP3Source s(LByteSource::FromMemory(b));
    return test::ReadAll(s).size() / s.nChans / static_cast<size_t>(s.FrameSamples());
}

// Only layer III headers are taken; free format once the stream's frame length is known, its
// padding adding one byte as usual. The values of standard headers are proven by decoding.
TEST(MP3HeaderTest, AcceptsLayerThreeHeadersOnly) {
    MP3Header h;
    const uint8_t refused[][4] = {
        {0xFF, 0xEB, 0x90, 0x00},  // version bits 01
        {0xFF, 0xFD, 0x90, 0x00},  // layer II
        {0xFF, 0xFB, 0x00, 0x00},  // free format
        {0xFF, 0xFB, 0xF0, 0x00},  // bitrate index 15
        {0xFF, 0xFB, 0x9C, 0x00},  // sampling frequency 3
        {0xFE, 0xFB, 0x90, 0x00},  // no sync
    };
    for (auto& b : refused) EXPECT_FALSE(MP3Header::Parse(b, h)) << &b - refused;

    const uint8_t free[4] = {0xFF, 0xFA, 0x02, 0x00};  // MPEG-1, CRC, free, 44.1k, pad
    ASSERT_TRUE(MP3Header::Parse(free, h, 391));
    EXPECT_EQ(h.free_bytes, 391);
    EXPECT_EQ(h.FrameBytes(), 392);
    EXPECT_EQ(h.PayloadBytes(), 392 - 4 - 2);
    EXPECT_EQ(h.bitrate, 391 * 44100 / 144);
    const uint8_t freeLsf[4] = {0xFF, 0xF3, 0x04, 0xC0};  // MPEG-2, free, 24k, mono
    ASSERT_TRUE(MP3Header::Parse(freeLsf, h, 300));
    EXPECT_EQ(h.bitrate, 300 * 24000 / 72);
    ASSERT_TRUE(MP3Header::Parse(free, h, MP3Header::kFreeUnmeasured));
    EXPECT_EQ(h.bitrate, 0);
    EXPECT_EQ(h.free_bytes, 0);
}

// Files without one decodable frame, each looking like MP3 data in its own way, open as
// corrupt and read as silence.
TEST(MP3SourceTest, UndecodableFiles) {
    test::TempDir dir;
    EXPECT_EQ(LMP3Source(dir.file("none.mp3")).ErrorState, 4);
    Bytes text;
    for (int i = 0; i < 100; ++i)
        for (char c : std::string("Not audio at all.\n")) text.push_back(static_cast<uint8_t>(c));
    Bytes noise(200000);  // holds false sync words
    uint32_t seed = 1;
    for (uint8_t& x : noise) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 23);
    const Bytes frame = Frames(1);
    Bytes tag = frame;
    std::memcpy(&tag[36], "Info", 4);
    SetBE32(tag, 40, 1);
    SetBE32(tag, 44, 1);
    Bytes late = Frames(2);  // main data begins before the file, in both frames
    late[4] = late[4 + frame.size()] = 0xFF;
    const std::pair<const char*, Bytes> files[] = {
        {"empty", {}},
        {"text", text},
        {"noise", noise},
        {"cut header", {0xFF, 0xFB, 0x90}},
        {"cut frame", Bytes(frame.begin(), frame.begin() + 200)},
        {"tag frame alone", tag},
        {"reservoir never filled", late},
    };
    for (const auto& [name, bytes] : files) {
        LMP3Source s(LByteSource::FromMemory(bytes));
        EXPECT_EQ(s.ErrorState, 3) << name;
        std::vector<int32_t> buf(100, 7);
        s.Read(buf.data(), 50);
        EXPECT_EQ(buf[0], 0) << name;
    }
}

// Free format: the frame length is the distance between the first two headers of the stream,
// less the first one's padding; a false sync inside the first frame is not taken for the
// second header, since no third header follows at its distance.
TEST(MP3SourceTest, FreeFormatFrameLength) {
    const FrameShape cases[] = {
        {0, 0, 0, 1, 0, false, 391},  // MPEG-1 joint stereo, 44.1 kHz
        {0, 0, 2, 3, 0, true, 1500},  // MPEG-1 mono with CRC, 32 kHz
        {1, 0, 1, 0, 0, false, 700},  // MPEG-2 stereo, 24 kHz
        {2, 0, 2, 3, 0, true, 90},    // MPEG-2.5 mono with CRC, 8 kHz
    };
    for (const FrameShape& c : cases) {
        SCOPED_TRACE(c.freeBytes);
        Bytes b;
        for (int i = 0; i < 12; ++i) {
            FrameShape f = c;
            f.pad = i % 3 == 0;
            AddFrame(b, f);
        }
        std::copy(b.begin(), b.begin() + 4, b.begin() + 60);  // in the main data of frame 0
        LMP3Source s(LByteSource::FromMemory(b));
        ASSERT_EQ(s.ErrorState, 0);
        EXPECT_EQ(s.FreeFormatBytes(), c.freeBytes);
        const int samples = c.version == 0 ? 1152 : 576;
        EXPECT_EQ(test::ReadAll(s).size(), 12u * samples * (c.mode == 3 ? 1 : 2));
        EXPECT_EQ(s.GetLength(), 12 * samples);
    }
}

// Position 65535 is the last one the search tests.
TEST(MP3SourceTest, HeaderSearchLimit) {
    for (size_t garbage : {65535u, 65536u}) {
        Bytes b(garbage, 0x55);
        test::Append(b, Frames(3));
        EXPECT_EQ(LMP3Source(LByteSource::FromMemory(b)).ErrorState, garbage == 65535u ? 0 : 3);
    }
}

// Without a tag the length is estimated from the bytes and the average of the first eight
// frames' bit rates (of fewer, when the stream is shorter), then refined while reading.
TEST(MP3SourceTest, LengthEstimate) {
    LMP3Source s(LByteSource::FromMemory(Frames(20)));
    ASSERT_EQ(s.ErrorState, 0);
    EXPECT_EQ(s.nChans, 2);
    EXPECT_EQ(s.SampleRate, 44100);
    EXPECT_EQ(s.MaxAmplitude, 0x200000);
    EXPECT_EQ(s.GetLength(), 20 * 1152);
    const std::vector<int32_t> all = test::ReadAll(s);
    EXPECT_EQ(all.size(), 20u * 1152 * 2);
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](int32_t v) { return v == 0; }));

    Bytes mixed;
    for (int idx : {5, 9, 11}) AddFrame(mixed, FrameShape{0, idx});  // 64, 128, 192 kbit/s
    LMP3Source m(LByteSource::FromMemory(mixed));
    EXPECT_EQ(m.FirstHeader().bitrate, 128000);
    EXPECT_EQ(DecodedFrames(mixed), 3u);
}

// Low bit rates: the last 128 bytes hold real frames, not a tag. None may be dropped, also
// when a block ends exactly where the estimate from the bytes left would end the stream
// (133 frames: the estimate reaches its end after frame 128, at 16 blocks of 8192).
TEST(MP3SourceTest, SmallFramesAtTheEndAreKept) {
    Bytes b = Frames(133, FrameShape{1, 1, 1, 3});  // MPEG-2, 8 kbit/s, 24 kHz, mono: 24 bytes
    ASSERT_EQ(b.size(), 133u * 24);
    for (bool tagged : {false, true}) {
        if (tagged) {  // a trailing 128-byte tag: the length still ends at the last frame
            b.insert(b.end(), {'T', 'A', 'G'});
            b.resize(b.size() + 125, ' ');
        }
        LMP3Source s(LByteSource::FromMemory(b));
        ASSERT_EQ(s.ErrorState, 0);
        EXPECT_EQ(s.nChans, 1);
        EXPECT_EQ(s.GetLength() % 576, 0);
        EXPECT_EQ(test::ReadAll(s).size(), 133u * 576);
        EXPECT_EQ(s.GetLength(), 133 * 576);
    }
}

TEST(MP3SourceTest, XingAndVbriTags) {
    // Xing (or Info, its constant-rate twin) with the frames flag: the tag frame gives no
    // output, the length is the count.
    Bytes b = Frames(31);
    SetBE32(b, 40, 0x0F);
    SetBE32(b, 44, 30);
    for (const char* tag : {"Info", "Xing"}) {
        std::memcpy(&b[36], tag, 4);
        LMP3Source s(LByteSource::FromMemory(b));
        ASSERT_EQ(s.ErrorState, 0);
        EXPECT_EQ(s.FrameCountFromTag(), 30) << tag;
        EXPECT_EQ(s.GetLength(), 30 * 1152) << tag;
        EXPECT_EQ(DecodedFrames(b), 30u) << tag;
    }
    // A count larger than the stream: the length drops to the real end.
    SetBE32(b, 44, 50);
    {
        LMP3Source s(LByteSource::FromMemory(b));
        EXPECT_EQ(s.GetLength(), 50 * 1152);
        EXPECT_EQ(test::ReadAll(s).size(), 30u * 1152 * 2);
        EXPECT_EQ(s.GetLength(), 30 * 1152);
    }
    // Without the frames flag the tag frame is an ordinary (silent) frame.
    SetBE32(b, 40, 0x0E);
    EXPECT_EQ(LMP3Source(LByteSource::FromMemory(b)).FrameCountFromTag(), 0);
    EXPECT_EQ(DecodedFrames(b), 31u);
    // A side-information byte that is not zero hides the tag.
    SetBE32(b, 40, 0x0F);
    b[10] = 1;
    EXPECT_EQ(LMP3Source(LByteSource::FromMemory(b)).FrameCountFromTag(), 0);
    // VBRI: the count sits 10 bytes after the tag name.
    Bytes v = Frames(13);
    std::memcpy(&v[36], "VBRI", 4);
    SetBE32(v, 50, 12);
    LMP3Source s(LByteSource::FromMemory(v));
    EXPECT_EQ(s.FrameCountFromTag(), 12);
    EXPECT_EQ(s.GetLength(), 12 * 1152);
    EXPECT_EQ(DecodedFrames(v), 12u);
}

// Up to ten frames of another stream are skipped; the eleventh in a row ends the stream.
TEST(MP3SourceTest, DifferingHeadersAreSkippedThenEndTheStream) {
    const FrameShape other{0, 9, 1};  // 48 kHz
    for (int n : {10, 11}) {
        Bytes b = Frames(10);
        test::Append(b, Frames(n, other));
        test::Append(b, Frames(5));
        EXPECT_EQ(DecodedFrames(b), n == 10 ? 15u : 10u) << n;
    }
}

}  // namespace
}  // namespace sonvex
