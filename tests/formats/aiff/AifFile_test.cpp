#include "formats/aiff/AifFile.h"

#include <gtest/gtest.h>

#include "formats/FormatTestUtil.h"

namespace sonvex {
namespace {

using namespace test;
using Bytes = std::vector<uint8_t>;

const Bytes kRate44100 = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};

Bytes Comm(int chans, uint32_t frames, int bits, const Bytes& rate = kRate44100, size_t extra = 0) {
    Bytes c;
    PutBE16(c, static_cast<uint32_t>(chans));
    PutBE32(c, frames);
    PutBE16(c, static_cast<uint32_t>(bits));
    Append(c, rate);
    c.resize(c.size() + extra, 0x55);
    return Chunk("COMM", c, true);
}

// Sound data behind a zero offset and block size.
Bytes Ssnd(const Bytes& samples, int64_t declared = -1) {
    Bytes s(8, 0);
    Append(s, samples);
    return Chunk("SSND", s, true, declared);
}

Bytes Aiff(const std::vector<Bytes>& chunks, const char* form = "AIFF") {
    return Container("FORM", form, chunks, true);
}

LSoundSourceRef Open(const Bytes& bytes) {
    return LAifFile::OpenSource(LByteSource::FromMemory(bytes));
}

Bytes Extended(uint32_t rate) {
    Bytes e(10);
    AiffRateToExtended(rate, e.data());
    return e;
}

TEST(AiffRate, ExtendedValues) {
    const std::pair<Bytes, int32_t> read[] = {
        {kRate44100, 44100},
        {{0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 22050},
        {{0x40, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0}, 8000},
        {{0x40, 0x0C, 0xAC, 0x46, 0, 0, 0, 0, 0, 0}, 11026},  // 11025.5 rounds half up
        {{0x40, 0x0C, 0xAC, 0x45, 0, 0, 0, 0, 0, 0}, 11025},  // 11025.25 rounds down
    };
    for (const auto& [ext, rate] : read) EXPECT_EQ(AiffRateFromExtended(ext.data()), rate);
    EXPECT_EQ(Extended(44100), kRate44100);
    for (uint32_t r : {2u, 3u, 6000u, 11025u, 96000u, 196000u, 1u << 20, 0x7FFFFFFFu, 12345677u})
        EXPECT_EQ(AiffRateFromExtended(Extended(r).data()), static_cast<int32_t>(r)) << r;
}

// An odd-sized chunk before COMM is padded; the length comes from SSND, not from COMM's frame
// count nor from the chunks after it. Sample sizes up to 8 read as signed bytes, 9 to 16 as
// 16-bit; a COMM longer than 18 bytes is stepped over.
TEST(AiffRead, ChunksLengthAndSampleSizes) {
    std::vector<int16_t> s(2000);
    for (int i = 0; i < 2000; ++i) s[static_cast<size_t>(i)] = static_cast<int16_t>(i * 3 - 500);
    LSoundSourceRef src = Open(Aiff({Chunk("NAME", {'h', 'i', '!'}, true), Comm(2, 77, 16),
                                     Ssnd(Pcm16Bytes(s, true)), Chunk("ANNO", {'x', 'y'}, true)}));
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(src->nChans, 2);
    EXPECT_EQ(src->SampleRate, 44100);
    EXPECT_EQ(src->MaxAmplitude, 0x7FFF0);
    EXPECT_EQ(src->GetLength(), 1000);
    EXPECT_EQ(ReadAll(src, 333), ToInternal(s));

    const std::vector<int32_t> bytes = {-524288, 0, 0x7F000, -4096}, words = {-524288, 0x7FFF0};
    for (int bits : {0, 4, 8, 12}) {
        src = Open(Aiff({Comm(1, 0, bits, kRate44100, 1), Ssnd({0x80, 0x00, 0x7F, 0xFF})}));
        ASSERT_EQ(src->ErrorState, 0) << bits;
        EXPECT_EQ(ReadAll(src), bits > 8 ? words : bytes) << bits;
    }
}

TEST(AiffRead, Refusals) {
    TempDir dir;
    EXPECT_EQ(LAifFile::OpenSource(dir.file("missing.aif"))->ErrorState, 4);
    const Bytes ssnd = Ssnd(Pcm16Bytes({1, 2, 3, 4}, true));
    const Bytes comm = Comm(1, 0, 16);
    Bytes shortComm = Chunk("COMM", Bytes(comm.begin() + 8, comm.end() - 1), true);
    shortComm.pop_back();  // 17 bytes, and no pad byte that would hide SSND
    struct Case {
        const char* what;
        Bytes file;
        int state;
    };
    const Case cases[] = {
        {"good", Aiff({comm, ssnd}), 0},
        {"short", {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F'}, 3},
        {"AIFC", Aiff({comm, ssnd}, "AIFC"), 3},
        {"SSND before COMM", Aiff({ssnd, comm}), 3},
        {"no SSND", Aiff({comm}), 3},
        {"short COMM", Aiff({shortComm, ssnd}), 3},
        {"negative chunk size", Aiff({Chunk("JUNK", {}, true, 0x80000000), comm, ssnd}), 3},
        {"24-bit", Aiff({Comm(2, 0, 24), ssnd}), 5},
        {"0 channels", Aiff({Comm(0, 0, 16), ssnd}), 3},
        {"256 channels", Aiff({Comm(256, 0, 16), ssnd}), 3},
        {"65535 channels", Aiff({Comm(0xFFFF, 0, 16), ssnd}), 3},
        {"NaN", Aiff({Comm(255, 0, 8, {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0}), ssnd}), 3},
        {"infinity", Aiff({Comm(255, 0, 8, {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}), ssnd}), 3},
        {"rate 0", Aiff({Comm(255, 0, 8, Bytes(10, 0)), ssnd}), 3},
        {"-44100", Aiff({Comm(255, 0, 8, {0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), ssnd}), 3},
        {"0.5", Aiff({Comm(255, 0, 8, {0x3F, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0}), ssnd}), 3},
        {"2^49", Aiff({Comm(255, 0, 8, {0x40, 0x30, 0x80, 0, 0, 0, 0, 0, 0, 0}), ssnd}), 3},
        {"44100 with a wrong exponent high byte",
         Aiff({Comm(255, 0, 8, {0x41, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), ssnd}), 3},
        {"above the limit", Aiff({Comm(255, 0, 8, Extended(kMaxHeaderRate + 1)), ssnd}), 3},
        {"the limit", Aiff({Comm(255, 0, 8, Extended(kMaxHeaderRate)), ssnd}), 0},
        {"rate 1", Aiff({Comm(255, 0, 8, Extended(1)), ssnd}), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Open(c.file)->ErrorState, c.state) << c.what;
}

// Until finished: no frames, and a sound data size that reads to the end.
TEST(AiffWrite, WholeFile) {
    TempDir dir;
    const std::vector<int16_t> sig = Sine16(1000, 2, 440, 44100, 20000);
    {
        LSoundSinkRef sink = LAifFile::OpenSink(dir.file("o.aiff"), 44100, 2);
        ASSERT_FALSE(sink->IsUnusable());
        EXPECT_EQ(ReadBytes(dir.file("o.aiff")), Aiff({Comm(2, 0, 16), Ssnd({}, 0xFFFFFFFF)}));
        WriteAll(sink, ToInternal(sig), 2, 300);
    }
    EXPECT_EQ(ReadBytes(dir.file("o.aiff")),
              Aiff({Comm(2, 1000, 16), Ssnd(Pcm16Bytes(sig, true))}));
}

}  // namespace
}  // namespace sonvex
