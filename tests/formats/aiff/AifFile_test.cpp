#include "formats/aiff/AifFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "formats/FormatTestUtil.h"

namespace sonvex {
namespace {

using namespace test;

const uint8_t kRate44100[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};

// A FORM AIFF file from its chunks.
struct AiffBuilder {
    std::vector<uint8_t> body;  // everything after "FORM" <len> "AIFF"
    void Chunk(const char* id, const std::vector<uint8_t>& data, uint32_t declared = UINT32_MAX) {
        PutTag(body, id);
        PutBE32(body, declared == UINT32_MAX ? static_cast<uint32_t>(data.size()) : declared);
        body.insert(body.end(), data.begin(), data.end());
        if (data.size() & 1) body.push_back(0);
    }
    void Comm(int chans, uint32_t frames, int bits, const uint8_t rate[10] = kRate44100) {
        std::vector<uint8_t> c;
        PutBE16(c, static_cast<uint32_t>(chans));
        PutBE32(c, frames);
        PutBE16(c, static_cast<uint32_t>(bits));
        c.insert(c.end(), rate, rate + 10);
        Chunk("COMM", c);
    }
    void Ssnd(const std::vector<uint8_t>& samples, uint32_t declared = UINT32_MAX) {
        std::vector<uint8_t> s(8, 0);
        s.insert(s.end(), samples.begin(), samples.end());
        Chunk("SSND", s, declared);
    }
    std::vector<uint8_t> File(const char* form = "AIFF") const {
        std::vector<uint8_t> f;
        PutTag(f, "FORM");
        PutBE32(f, static_cast<uint32_t>(body.size() + 4));
        PutTag(f, form);
        f.insert(f.end(), body.begin(), body.end());
        return f;
    }
};

std::vector<uint8_t> Be16Samples(int n, int chans) {
    std::vector<uint8_t> v;
    for (int i = 0; i < n * chans; ++i) PutBE16(v, static_cast<uint32_t>(i * 3 - 500) & 0xFFFF);
    return v;
}

TEST(AiffRate, ExtendedValues) {
    EXPECT_EQ(AiffRateFromExtended(kRate44100), 44100);
    const uint8_t r22050[10] = {0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    const uint8_t r8000[10] = {0x40, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(AiffRateFromExtended(r22050), 22050);
    EXPECT_EQ(AiffRateFromExtended(r8000), 8000);
    // 11025.5 rounds half up; 11025.25 rounds down.
    uint8_t half[10] = {0x40, 0x0C, 0xAC, 0x46, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(AiffRateFromExtended(half), 11026);
    uint8_t quarter[10] = {0x40, 0x0C, 0xAC, 0x45, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(AiffRateFromExtended(quarter), 11025);
    uint8_t ext[10];
    AiffRateToExtended(44100, ext);
    EXPECT_EQ(0, std::memcmp(ext, kRate44100, 10));
    for (uint32_t r : {2u, 3u, 6000u, 8000u, 11025u, 44100u, 96000u, 196000u, 1u << 20, 0x7FFFFFFFu,
                       12345677u}) {
        AiffRateToExtended(r, ext);
        EXPECT_EQ(AiffRateFromExtended(ext), static_cast<int32_t>(r)) << r;
    }
    // A rate too large for 31 bits reads as 0 (and its source as invalid).
    uint8_t huge[10] = {0x40, 0x30, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(AiffRateFromExtended(huge), 0);
}

TEST(AiffRead, LengthComesFromTheSoundDataChunk) {
    TempDir dir;
    AiffBuilder b;
    std::vector<uint8_t> text = {'h', 'i', '!'};  // odd length, padded
    b.Chunk("NAME", text);
    b.Comm(2, 77, 16);  // numSampleFrames is ignored
    b.Ssnd(Be16Samples(1000, 2));
    std::vector<uint8_t> f = b.File();
    ASSERT_EQ(GetBE32(f, 12 + 12 + 26 + 4), 4008u);
    WriteBytes(dir.file("a.aif"), f);
    LSoundSourceRef src = LAifFile::OpenSource(dir.file("a.aif"));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(src->nChans, 2);
    EXPECT_EQ(src->SampleRate, 44100);
    EXPECT_EQ(src->MaxAmplitude, 0x7FFF0);
    EXPECT_EQ(src->GetLength(), 1000);
    std::vector<int32_t> all = ReadAll(src, 333);
    ASSERT_EQ(all.size(), 2000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(all[i], (i * 3 - 500) * 16) << i;
}

TEST(AiffRead, EightBitIsSignedAndShortSizesWork) {
    TempDir dir;
    AiffBuilder b;
    b.Comm(1, 0, 8);
    b.Ssnd({0x80, 0x00, 0x7F, 0xFF});
    WriteBytes(dir.file("a.aiff"), b.File());
    LSoundSourceRef src = LAifFile::OpenSource(dir.file("a.aiff"));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(ReadAll(src), (std::vector<int32_t>{-524288, 0, 127 * 4096, -4096}));

    // sampleSize 0 reads as 8-bit, 12 as 16-bit; a COMM of 19 bytes (padded) is stepped over.
    for (int bits : {0, 4, 12}) {
        AiffBuilder c;
        std::vector<uint8_t> comm;
        PutBE16(comm, 1);
        PutBE32(comm, 0);
        PutBE16(comm, static_cast<uint32_t>(bits));
        comm.insert(comm.end(), kRate44100, kRate44100 + 10);
        comm.push_back(0x55);
        c.Chunk("COMM", comm);
        c.Ssnd({0x12, 0x34});
        WriteBytes(dir.file("b.aiff"), c.File());
        LSoundSourceRef s = LAifFile::OpenSource(dir.file("b.aiff"));
        ASSERT_EQ(s->ErrorState, 0) << bits;
        EXPECT_EQ(s->GetLength(), bits > 8 ? 1 : 2) << bits;
    }
}

TEST(AiffRead, RefusalsAndTheirErrorStates) {
    TempDir dir;
    EXPECT_EQ(LAifFile::OpenSource(dir.file("missing.aif"))->ErrorState, 4);
    WriteBytes(dir.file("short.aif"), {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F'});
    EXPECT_EQ(LAifFile::OpenSource(dir.file("short.aif"))->ErrorState, 3);

    auto state = [&](const std::vector<uint8_t>& f) {
        WriteBytes(dir.file("x.aif"), f);
        return static_cast<int>(LAifFile::OpenSource(dir.file("x.aif"))->ErrorState);
    };
    AiffBuilder good;
    good.Comm(1, 0, 16);
    good.Ssnd(Be16Samples(4, 1));
    EXPECT_EQ(state(good.File()), 0);
    EXPECT_EQ(state(good.File("AIFC")), 3);

    AiffBuilder ssndFirst;  // SSND before COMM
    ssndFirst.Ssnd(Be16Samples(4, 1));
    ssndFirst.Comm(1, 0, 16);
    EXPECT_EQ(state(ssndFirst.File()), 3);

    AiffBuilder noSsnd;
    noSsnd.Comm(1, 0, 16);
    EXPECT_EQ(state(noSsnd.File()), 3);

    AiffBuilder shortComm;
    shortComm.Chunk("COMM", std::vector<uint8_t>(10, 0));
    shortComm.Ssnd({});
    EXPECT_EQ(state(shortComm.File()), 3);

    AiffBuilder negative;  // a negative chunk length before COMM
    negative.Chunk("JUNK", {}, 0x80000000);
    negative.Comm(1, 0, 16);
    negative.Ssnd({});
    EXPECT_EQ(state(negative.File()), 3);

    AiffBuilder b24;
    b24.Comm(2, 0, 24);
    b24.Ssnd(std::vector<uint8_t>(12, 1));
    EXPECT_EQ(state(b24.File()), 5);

    // Channel counts and rates no file can have.
    for (int chans : {0, 256, 0xFFFF}) {
        AiffBuilder c;
        c.Comm(chans, 0, 16);
        c.Ssnd({});
        EXPECT_EQ(state(c.File()), 3) << chans;
    }
    struct Rate {
        const char* what;
        std::vector<uint8_t> ext;
        int state;
    };
    auto rate = [](uint32_t hz) {
        std::vector<uint8_t> e(10);
        AiffRateToExtended(hz, e.data());
        return e;
    };
    const Rate rates[] = {
        {"NaN", {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0}, 3},
        {"infinity", {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, 3},
        {"zero", std::vector<uint8_t>(10, 0), 3},
        {"-44100", {0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 3},
        {"0.5", {0x3F, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0}, 3},
        {"2^49", {0x40, 0x30, 0x80, 0, 0, 0, 0, 0, 0, 0}, 3},
        {"44100 with a wrong exponent high byte", {0x41, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 3},
        {"above the limit", rate(kMaxHeaderRate + 1), 3},
        {"the limit", rate(kMaxHeaderRate), 0},
        {"1", rate(1), 0},
    };
    for (const Rate& r : rates) {
        AiffBuilder c;
        c.Comm(255, 0, 8, r.ext.data());
        c.Ssnd({});
        EXPECT_EQ(state(c.File()), r.state) << r.what;
    }
}

TEST(AiffRead, DeclaredDataBeyondTheFileIsCutToTheWholeFramesThere) {
    TempDir dir;
    // 100 mono frames declared by the chunk, cut by half a frame more than half of them; then
    // sizes that claim far more than the file holds.
    const std::vector<uint8_t> samples = Be16Samples(100, 1);
    struct Case {
        uint32_t declared;
        size_t cut;
        int32_t frames;
    };
    const Case cases[] = {{208, 101, (200 - 101) / 2}, {0x7FFFF000, 0, 100}, {0xFFFFFFFE, 0, 100}};
    for (const Case& c : cases) {
        AiffBuilder b;
        b.Comm(1, 100, 16);
        b.Ssnd(samples, c.declared);
        std::vector<uint8_t> f = b.File();
        f.resize(f.size() - c.cut);
        WriteBytes(dir.file("t.aif"), f);
        LSoundSourceRef src = LAifFile::OpenSource(dir.file("t.aif"));
        ASSERT_EQ(src->ErrorState, 0);
        EXPECT_EQ(src->GetLength(), c.frames) << c.declared;
        std::vector<int32_t> all = ReadAll(src);
        ASSERT_EQ(all.size(), static_cast<size_t>(c.frames)) << c.declared;
        EXPECT_EQ(all.back(), ((c.frames - 1) * 3 - 500) * 16);
    }
}

TEST(AiffWrite, HeaderOfAThousandStereoFrames) {
    TempDir dir;
    std::vector<int32_t> sig = ToInternal(Sine16(1000, 2, 440, 44100, 20000));
    {
        LSoundSinkRef sink = LAifFile::OpenSink(dir.file("o.aiff"), 44100, 2);
        ASSERT_TRUE(sink);
        ASSERT_FALSE(sink->IsUnusable());
        std::vector<uint8_t> open = ReadBytes(dir.file("o.aiff"));
        ASSERT_EQ(open.size(), 54u);
        EXPECT_EQ(GetBE32(open, 4), 46u);
        EXPECT_EQ(GetBE32(open, 22), 0u);
        EXPECT_EQ(GetBE32(open, 42), 0xFFFFFFFFu);
        WriteAll(sink, sig, 2, 300);
    }
    std::vector<uint8_t> f = ReadBytes(dir.file("o.aiff"));
    ASSERT_EQ(f.size(), 4054u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "FORM");
    EXPECT_EQ(GetBE32(f, 4), 4046u);
    EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "AIFFCOMM");
    EXPECT_EQ(GetBE32(f, 16), 18u);
    EXPECT_EQ(f[20] * 256 + f[21], 2);
    EXPECT_EQ(GetBE32(f, 22), 1000u);
    EXPECT_EQ(f[26] * 256 + f[27], 16);
    EXPECT_EQ(0, std::memcmp(f.data() + 28, kRate44100, 10));
    EXPECT_EQ(std::string(f.begin() + 38, f.begin() + 42), "SSND");
    EXPECT_EQ(GetBE32(f, 42), 4008u);
    EXPECT_EQ(GetBE32(f, 46), 0u);
    EXPECT_EQ(GetBE32(f, 50), 0u);
    LSoundSourceRef src = LAifFile::OpenSource(dir.file("o.aiff"));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(ReadAll(src), sig);
}

TEST(AiffWrite, AnUnfinishedFileReadsToItsEnd) {
    TempDir dir;
    std::vector<int32_t> sig = ToInternal(Sine16(700, 1, 440, 8000, 20000));
    LSoundSinkRef sink = LAifFile::OpenSink(dir.file("o.aif"), 8000, 1);
    WriteAll(sink, sig, 1);
    WriteBytes(dir.file("copy.aif"), ReadBytes(dir.file("o.aif")));  // header still provisional
    LSoundSourceRef src = LAifFile::OpenSource(dir.file("copy.aif"));
    ASSERT_EQ(src->ErrorState, 0);
    ASSERT_EQ(src->GetLength(), 700);
    EXPECT_EQ(ReadAll(src), sig);
}

TEST(AiffWrite, CutBackSinkWritesTheSizesOfWhatRemains) {
    TempDir dir;
    {
        LSoundSinkRef sink = LAifFile::OpenSink(dir.file("c.aif"), 8000, 1);
        std::vector<int32_t> z(500, 32);
        sink->Write(z.data(), 500);
        sink->Seek(120);
    }
    std::vector<uint8_t> f = ReadBytes(dir.file("c.aif"));
    ASSERT_EQ(f.size(), 54u + 240u);
    EXPECT_EQ(GetBE32(f, 4), 240u + 46u);
    EXPECT_EQ(GetBE32(f, 22), 120u);
    EXPECT_EQ(GetBE32(f, 42), 248u);
    EXPECT_EQ(LSoundSinkRef(LAifFile::OpenSink(dir.file("no/dir/x.aif"), 8000, 1))->IsUnusable(),
              true);
}

class AiffSox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    }
    TempDir dir;
};

TEST_F(AiffSox, SoxFilesOfEightAndSixteenBitsReadAsSoxReadsThem) {
    Save16(dir.file("in.s16"), Sine16(4000, 2, 300, 22050, 31000));
    for (int bits : {8, 16}) {
        std::string file = dir.file("s" + std::to_string(bits) + ".aiff");
        ASSERT_EQ(RunShell("sox -D -t raw -e signed-integer -b 16 -L -r 22050 -c 2 " +
                           Q(dir.file("in.s16")) + " -b " + std::to_string(bits) + " " + Q(file)),
                  0);
        std::vector<int16_t> sox = SoxDecode16(Q(file), dir.file("sox.s16"));
        LSoundSourceRef src = LAifFile::OpenSource(file);
        ASSERT_EQ(src->ErrorState, 0) << bits;
        EXPECT_EQ(src->SampleRate, 22050);
        EXPECT_EQ(src->nChans, 2);
        std::vector<int32_t> ours = ReadAll(src);
        ASSERT_EQ(ours.size(), 8000u);
        EXPECT_EQ(ours, ToInternal(sox)) << bits;
    }
}

TEST_F(AiffSox, SoxReadsWhatWeWrite) {
    std::vector<int32_t> sig = ToInternal(Sine16(3001, 2, 1234, 48000, 32767));
    {
        LSoundSinkRef sink = LAifFile::OpenSink(dir.file("o.aif"), 48000, 2);
        WriteAll(sink, sig, 2, 1000);
    }
    std::string info;
    ASSERT_EQ(RunShell("soxi " + Q(dir.file("o.aif")), &info), 0);
    EXPECT_NE(info.find("48000"), std::string::npos) << info;
    EXPECT_NE(info.find("3001 samples"), std::string::npos) << info;
    EXPECT_EQ(ToInternal(SoxDecode16(Q(dir.file("o.aif")), dir.file("sox.s16"))), sig);
}

}  // namespace
}  // namespace sonvex
