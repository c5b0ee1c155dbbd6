// Raw files in every codec that sox shares with us, both ways, sample for sample.
#include <gtest/gtest.h>

#include "formats/FormatTestUtil.h"
#include "formats/pcm/SampleCodecs.h"
#include "formats/raw/RawFile.h"

namespace sonvex {
namespace {

using namespace test;

struct SoxCodec {
    int iCodec;
    const char* szSoxType;  // sox's description of the raw data
};

const SoxCodec kShared[] = {
    {kCodecULaw, "-t raw -e mu-law -b 8"},
    {kCodecALaw, "-t raw -e a-law -b 8"},
    {kCodecPcm16LE, "-t raw -e signed-integer -b 16 -L"},
    {kCodecU8, "-t raw -e unsigned-integer -b 8"},
    {kCodecS8, "-t raw -e signed-integer -b 8"},
    {kCodecPcm16BE, "-t raw -e signed-integer -b 16 -B"},
};

std::string SoxIn(const SoxCodec& c, int rate, int chans) {
    return std::string(c.szSoxType) + " -r " + std::to_string(rate) + " -c " +
           std::to_string(chans);
}

class RawSox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    }
    // Our reading of a raw file, which must be sox's reading of it.
    std::vector<int32_t> ReadAsSox(const std::string& file, const SoxCodec& c, int rate,
                                   int chans) {
        std::vector<int16_t> sox =
            SoxDecode16(SoxIn(c, rate, chans) + " " + Q(file), dir.file("s"));
        LSoundSourceRef src =
            LRawFile::OpenSource(file, LRawSettings{rate, static_cast<uint8_t>(chans), c.iCodec});
        EXPECT_EQ(src->ErrorState, 0);
        std::vector<int32_t> ours = ReadAll(src);
        EXPECT_EQ(ours, ToInternal(sox)) << "codec " << c.iCodec;
        return ours;
    }
    TempDir dir;
};

// Every byte value, decoded by sox and by us.
TEST_F(RawSox, EveryG711CodeDecodesAsSoxDecodesIt) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    WriteBytes(dir.file("all.raw"), all);
    for (const SoxCodec& c : {kShared[0], kShared[1]})
        EXPECT_EQ(ReadAsSox(dir.file("all.raw"), c, 8000, 1).size(), 256u);
}

// sox writes each codec from a stereo test signal; we read exactly what sox reads back.
TEST_F(RawSox, FilesWrittenBySoxReadAsSoxReadsThem) {
    std::vector<int16_t> sig = Sine16(3000, 2, 441, 22050, 30000);
    for (size_t i = 0; i < sig.size(); i += 7) sig[i] = static_cast<int16_t>(sig[i] / 3 + i);
    Save16(dir.file("in.s16"), sig);
    for (const SoxCodec& c : kShared) {
        std::string file = dir.file("c" + std::to_string(c.iCodec) + ".raw");
        ASSERT_EQ(RunShell("sox -D -t raw -e signed-integer -b 16 -L -r 22050 -c 2 " +
                           Q(dir.file("in.s16")) + " " + SoxIn(c, 22050, 2) + " " + Q(file)),
                  0);
        std::vector<int32_t> ours = ReadAsSox(file, c, 22050, 2);
        EXPECT_EQ(ours.size(), sig.size()) << c.iCodec;
        EXPECT_TRUE(CodecBytesPerSample(c.iCodec) == 1 || ours == ToInternal(sig)) << c.iCodec;
    }
}

// We write each codec; sox reads back the samples we read back, the top and bottom held.
TEST_F(RawSox, FilesWeWriteReadInSoxAsTheyReadHere) {
    std::vector<int32_t> sig = ToInternal(Sine16(5000, 1, 1000, 8000, 32000));
    sig[10] = 0x7FFF0;
    sig[11] = -524288;
    for (const SoxCodec& c : kShared) {
        std::string file = dir.file("o" + std::to_string(c.iCodec) + ".raw");
        {
            LSoundSinkRef sink = LRawFile::OpenSink(file, LRawSettings{8000, 1, c.iCodec});
            WriteAll(sink, sig, 1, 1000);
        }
        std::vector<int32_t> ours = ReadAsSox(file, c, 8000, 1);
        ASSERT_EQ(ours.size(), sig.size()) << c.iCodec;
        EXPECT_GT(ours[10], 0) << "codec " << c.iCodec;
        EXPECT_LT(ours[11], 0) << "codec " << c.iCodec;
    }
}

}  // namespace
}  // namespace sonvex
