#include "formats/au/AuFile.h"

#include <gtest/gtest.h>

#include "formats/FormatTestUtil.h"
#include "formats/pcm/SampleCodecs.h"

namespace sonvex {
namespace {

using namespace test;

LSoundSourceRef Open(const std::vector<uint8_t>& bytes) {
    return LAuFile::OpenSource(LByteSource::FromMemory(bytes));
}

TEST(AuRead, Refusals) {
    TempDir dir;
    EXPECT_EQ(LAuFile::OpenSource(dir.file("missing.au"))->ErrorState, 4);
    const std::vector<uint8_t> h = AuHeader(24, 0, 1, 8000, 1);
    EXPECT_EQ(Open(h)->ErrorState, 0);
    EXPECT_EQ(Open(std::vector<uint8_t>(h.begin(), h.end() - 1))->ErrorState, 3);
    EXPECT_EQ(Open(AuHeader(12, 0, 1, 8000, 1))->ErrorState, 3);  // data inside the header
    for (uint32_t encoding : {0u, 4u, 23u})  // unspecified, 24-bit, G.721 ADPCM
        EXPECT_EQ(Open(AuHeader(24, 0, encoding, 8000, 1))->ErrorState, 5) << encoding;
    // Channel counts and rates no file can have.
    for (uint32_t chans : {0u, 256u, 0xFFFFu, 0xFFFFFFFFu})
        EXPECT_EQ(Open(AuHeader(24, 0, 1, 8000, chans))->ErrorState, 3) << chans;
    for (uint32_t rate : {0u, kMaxHeaderRate + 1, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(Open(AuHeader(24, 0, 1, rate, 1))->ErrorState, 3) << rate;
    EXPECT_EQ(Open(AuHeader(24, 0, 1, 1, 255))->ErrorState, 0);
    EXPECT_EQ(Open(AuHeader(24, 0, 1, kMaxHeaderRate, 1))->ErrorState, 0);
    EXPECT_EQ(Open(Wav16(8000, 1, std::vector<int16_t>(10)))->ErrorState, 3);
}

// 16-bit stereo, 100 frames and a half: an unknown size (0xFFFFFFFF) and sizes beyond the file
// hold the whole frames there; an unknown size follows the file as it grows.
TEST(AuRead, DeclaredSizes) {
    std::vector<int16_t> s(201);
    for (int i = 0; i < 201; ++i) s[static_cast<size_t>(i)] = static_cast<int16_t>(i * 40);
    const std::vector<int32_t> want = ToInternal(std::vector<int16_t>(s.begin(), s.end() - 1));
    for (uint32_t declared : {0xFFFFFFFFu, 1000u, 0x7FFFF000u, 0x80000000u, 0xFFFFFFFEu}) {
        std::vector<uint8_t> f = AuHeader(24, declared, 3, 8000, 2);
        Append(f, Pcm16Bytes(s, true));
        LSoundSourceRef src = Open(f);
        ASSERT_EQ(src->ErrorState, 0);
        EXPECT_EQ(src->nChans, 2);
        EXPECT_EQ(src->GetLength(), 100) << declared;
        EXPECT_EQ(ReadAll(src), want) << declared;
    }
    TempDir dir;
    std::vector<uint8_t> f = AuHeader(24, 0xFFFFFFFF, 3, 8000, 2);
    Append(f, Pcm16Bytes(s, true));
    WriteBytes(dir.file("u.au"), f);
    LSoundSourceRef src = LAuFile::OpenSource(dir.file("u.au"));
    PutBE16(f, 7);
    WriteBytes(dir.file("u.au"), f);
    EXPECT_EQ(src->GetLength(), 101);
}

}  // namespace
}  // namespace sonvex
