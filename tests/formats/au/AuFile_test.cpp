#include "formats/au/AuFile.h"

#include <gtest/gtest.h>

#include "formats/FormatTestUtil.h"
#include "formats/pcm/SampleCodecs.h"

namespace sonvex {
namespace {

using namespace test;

TEST(AuRead, MuLawWithAnnotationBeforeTheData) {
    TempDir dir;
    std::vector<uint8_t> f = AuHeader(32, 16000, 1, 8000, 1);
    for (int i = 0; i < 8; ++i) f.push_back('A');  // annotation, never read as samples
    for (int i = 0; i < 16000; ++i) f.push_back(static_cast<uint8_t>(i));
    WriteBytes(dir.file("a.au"), f);
    LSoundSourceRef src = LAuFile::OpenSource(dir.file("a.au"));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(src->SampleRate, 8000);
    EXPECT_EQ(src->nChans, 1);
    EXPECT_EQ(src->MaxAmplitude, 0x7E000);
    EXPECT_EQ(src->GetLength(), 16000);
    std::vector<int32_t> all = ReadAll(src);
    ASSERT_EQ(all.size(), 16000u);
    for (int i = 0; i < 16000; ++i) ASSERT_EQ(all[i], G711ULawDecode(static_cast<uint8_t>(i))) << i;
}

TEST(AuRead, UnknownSizeTakesTheLengthFromTheFile) {
    TempDir dir;
    std::vector<uint8_t> f = AuHeader(40, 0xFFFFFFFF, 3, 44100, 2);
    f.resize(40, 0);
    for (int i = 0; i < 201; ++i)
        PutBE16(f, static_cast<uint32_t>(i * 50));  // 100 frames and a half
    WriteBytes(dir.file("u.au"), f);
    LSoundSourceRef src = LAuFile::OpenSource(dir.file("u.au"));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(src->nChans, 2);
    EXPECT_EQ(src->GetLength(), 100);
    std::vector<int32_t> all = ReadAll(src);
    ASSERT_EQ(all.size(), 200u);
    EXPECT_EQ(all[0], 0);
    EXPECT_EQ(all[1], 50 * 16);
    EXPECT_EQ(all[199], static_cast<int16_t>(199 * 50) * 16);
    // The length follows the file as it grows.
    PutBE16(f, 7);
    WriteBytes(dir.file("u.au"), f);
    EXPECT_EQ(src->GetLength(), 101);
}

TEST(AuRead, EightBitLinearAndALaw) {
    TempDir dir;
    std::vector<uint8_t> f = AuHeader(24, 4, 2, 11025, 1);
    for (uint8_t b : {0x80, 0x00, 0x7F, 0xFF}) f.push_back(b);
    WriteBytes(dir.file("s8.au"), f);
    LSoundSourceRef src = LAuFile::OpenSource(dir.file("s8.au"));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(ReadAll(src), (std::vector<int32_t>{-524288, 0, 127 * 4096, -4096}));

    f = AuHeader(24, 3, 27, 8000, 1);
    for (uint8_t b : {0xD5, 0x55, 0xAA}) f.push_back(b);
    WriteBytes(dir.file("al.au"), f);
    src = LAuFile::OpenSource(dir.file("al.au"));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(ReadAll(src), (std::vector<int32_t>{128, -128, 516096}));
}

TEST(AuRead, RefusalsAndTheirErrorStates) {
    TempDir dir;
    auto state = [&](const std::vector<uint8_t>& f) {
        WriteBytes(dir.file("x.au"), f);
        return static_cast<int>(LAuFile::OpenSource(dir.file("x.au"))->ErrorState);
    };
    EXPECT_EQ(LAuFile::OpenSource(dir.file("missing.au"))->ErrorState, 4);
    std::vector<uint8_t> h = AuHeader(24, 0, 1, 8000, 1);
    EXPECT_EQ(state(h), 0);
    EXPECT_EQ(state(std::vector<uint8_t>(h.begin(), h.end() - 1)), 3);
    EXPECT_EQ(state(AuHeader(24, 0, 23, 8000, 1)), 5);  // G.721 ADPCM
    EXPECT_EQ(state(AuHeader(24, 0, 4, 8000, 1)), 5);
    EXPECT_EQ(state(AuHeader(24, 0, 0, 8000, 1)), 5);
    EXPECT_EQ(state(AuHeader(12, 0, 1, 8000, 1)), 3);  // data offset inside the header
    // Channel counts and rates no file can have.
    for (uint32_t chans : {0u, 256u, 0xFFFFu, 0xFFFFFFFFu})
        EXPECT_EQ(state(AuHeader(24, 0, 1, 8000, chans)), 3) << chans;
    for (uint32_t rate : {0u, kMaxHeaderRate + 1, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(state(AuHeader(24, 0, 1, rate, 1)), 3) << rate;
    EXPECT_EQ(state(AuHeader(24, 0, 1, 1, 255)), 0);
    EXPECT_EQ(state(AuHeader(24, 0, 1, kMaxHeaderRate, 1)), 0);
    std::vector<uint8_t> wav;
    PutTag(wav, "RIFF");
    PutLE32(wav, 36);
    PutTag(wav, "WAVE");
    wav.resize(44, 0);
    EXPECT_EQ(state(wav), 3);
}

TEST(AuRead, DeclaredDataBeyondTheFileIsCutToTheWholeFramesThere) {
    TempDir dir;
    // 16-bit stereo: 100 frames and a half.
    std::vector<uint8_t> data;
    for (int i = 0; i < 201; ++i) PutBE16(data, static_cast<uint32_t>(i * 40));
    for (uint32_t declared : {1000u, 0x7FFFF000u, 0x80000000u, 0xFFFFFFFEu}) {
        std::vector<uint8_t> f = AuHeader(24, declared, 3, 8000, 2);
        f.insert(f.end(), data.begin(), data.end());
        WriteBytes(dir.file("t.au"), f);
        LSoundSourceRef src = LAuFile::OpenSource(dir.file("t.au"));
        ASSERT_EQ(src->ErrorState, 0);
        EXPECT_EQ(src->GetLength(), 100) << declared;
        std::vector<int32_t> all = ReadAll(src);
        ASSERT_EQ(all.size(), 200u) << declared;
        EXPECT_EQ(all[199], 199 * 40 * 16);
    }
}

TEST(AuWrite, HeaderOfAThousandStereoFrames) {
    TempDir dir;
    std::vector<int32_t> sig = ToInternal(Sine16(1000, 2, 100, 22050, 32000));
    {
        LSoundSinkRef sink = LAuFile::OpenSink(dir.file("o.au"), 22050, 2);
        ASSERT_FALSE(sink->IsUnusable());
        std::vector<uint8_t> open = ReadBytes(dir.file("o.au"));
        ASSERT_EQ(open.size(), 24u);
        EXPECT_EQ(GetBE32(open, 8), 0xFFFFFFFFu);
        WriteAll(sink, sig, 2, 64);
    }
    std::vector<uint8_t> f = ReadBytes(dir.file("o.au"));
    ASSERT_EQ(f.size(), 4024u);
    EXPECT_EQ(GetBE32(f, 0), AUMAGICHEADER);
    EXPECT_EQ(GetBE32(f, 4), 24u);
    EXPECT_EQ(GetBE32(f, 8), 4000u);
    EXPECT_EQ(GetBE32(f, 12), 3u);
    EXPECT_EQ(GetBE32(f, 16), 22050u);
    EXPECT_EQ(GetBE32(f, 20), 2u);
    LSoundSourceRef src = LAuFile::OpenSource(dir.file("o.au"));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(ReadAll(src), sig);
}

TEST(AuWrite, CutBackAndUnfinishedFiles) {
    TempDir dir;
    {
        LSoundSinkRef sink = LAuFile::OpenSink(dir.file("c.au"), 8000, 1);
        std::vector<int32_t> z(300, 16);
        sink->Write(z.data(), 300);
        sink->Seek(10);
    }
    std::vector<uint8_t> f = ReadBytes(dir.file("c.au"));
    EXPECT_EQ(f.size(), 44u);
    EXPECT_EQ(GetBE32(f, 8), 20u);

    // A sink that is never finished leaves "unknown size", which still reads completely.
    std::vector<uint8_t> unfinished = AuHeader(24, 0xFFFFFFFF, 3, 8000, 1);
    for (int i = 0; i < 10; ++i) PutBE16(unfinished, 1);
    WriteBytes(dir.file("u.au"), unfinished);
    EXPECT_EQ(LAuFile::OpenSource(dir.file("u.au"))->GetLength(), 10);
}

class AuSox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    }
    TempDir dir;
};

TEST_F(AuSox, SoxFilesReadAsSoxReadsThem) {
    std::vector<int16_t> sig = Sine16(4000, 2, 700, 16000, 32000);
    Save16(dir.file("in.s16"), sig);
    const char* kEncodings[] = {"-e mu-law -b 8", "-e a-law -b 8", "-e signed-integer -b 8",
                                "-e signed-integer -b 16"};
    for (const char* enc : kEncodings) {
        std::string file = dir.file("s.au");
        ASSERT_EQ(RunShell("sox -D -t raw -e signed-integer -b 16 -L -r 16000 -c 2 " +
                           Q(dir.file("in.s16")) + " " + enc + " " + Q(file)),
                  0);
        std::vector<int16_t> sox = SoxDecode16(Q(file), dir.file("sox.s16"));
        ASSERT_EQ(sox.size(), sig.size()) << enc;
        LSoundSourceRef src = LAuFile::OpenSource(file);
        ASSERT_EQ(src->ErrorState, 0) << enc;
        EXPECT_EQ(src->SampleRate, 16000);
        EXPECT_EQ(src->nChans, 2);
        EXPECT_EQ(ReadAll(src), ToInternal(sox)) << enc;
    }
}

TEST_F(AuSox, SoxReadsWhatWeWrite) {
    std::vector<int32_t> sig = ToInternal(Sine16(2501, 1, 3000, 8000, 32767));
    {
        LSoundSinkRef sink = LAuFile::OpenSink(dir.file("o.au"), 8000, 1);
        WriteAll(sink, sig, 1, 500);
    }
    std::string info;
    ASSERT_EQ(RunShell("soxi " + Q(dir.file("o.au")), &info), 0);
    EXPECT_NE(info.find("2501 samples"), std::string::npos) << info;
    EXPECT_EQ(ToInternal(SoxDecode16(Q(dir.file("o.au")), dir.file("sox.s16"))), sig);
}

}  // namespace
}  // namespace sonvex
