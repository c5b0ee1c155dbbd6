#include "formats/vox/VoxFile.h"

#include <gtest/gtest.h>

#include <cmath>

#include "formats/FormatTestUtil.h"

namespace sonvex {
namespace {

using namespace test;

TEST(VoxCodec, DecodingFromTheInitialState) {
    LVoxState st;
    EXPECT_EQ(st.DecodeNibble(7), 3840);
    EXPECT_EQ(st.iStep, 8);
    EXPECT_EQ(st.DecodeNibble(0), 4324);
    EXPECT_EQ(st.iStep, 7);
    // The step index is clamped when it is next used, not when it is adjusted.
    LVoxState low;
    low.DecodeNibble(0);
    EXPECT_EQ(low.iStep, -1);
    EXPECT_EQ(low.DecodeNibble(8), 256 - 4 - 256);
    LVoxState high;
    high.iStep = 48;
    high.DecodeNibble(7);
    EXPECT_EQ(high.iStep, 56);
    EXPECT_EQ(high.iPredictor, 372480);
    high.DecodeNibble(1);  // the predictor leaks 1/64 of itself
    EXPECT_EQ(high.iPredictor, 441156);
}

TEST(VoxCodec, SilenceAlternatesAroundZero) {
    LVoxState st;
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(st.EncodeSample(0), i % 2 ? 8 : 0) << i;
        EXPECT_LE(st.iStep, 0);
        EXPECT_LT(std::abs(st.iPredictor), 300);
    }
}

// The decoder reproduces the encoder's predictor sample for sample.
TEST(VoxFile, DecoderTracksTheEncoder) {
    TempDir dir;
    std::vector<int32_t> sig = ToInternal(Sine16(4001, 1, 440, 8000, 12000));
    for (size_t i = 0; i < sig.size(); ++i)
        sig[i] += static_cast<int32_t>((i * 7919) % 30001) - 15000;
    LVoxState enc;
    std::vector<int32_t> predicted;
    for (size_t i = 0; i + 1 < sig.size(); ++i) {
        enc.EncodeSample(sig[i]);
        predicted.push_back(enc.iPredictor);
    }
    {
        LSoundSinkRef sink(new LSNKVOX(dir.file("a.vox").c_str(), 8000));
        WriteAll(sink, sig, 1, 777);  // odd blocks: the pending nibble crosses calls
        EXPECT_EQ(sink->sPosition, 0);
    }
    EXPECT_EQ(ReadBytes(dir.file("a.vox")).size(), 2000u);  // the odd last sample is lost
    LSoundSourceRef src(new LSRCVOX(dir.file("a.vox").c_str(), 8000));
    EXPECT_EQ(src->MaxAmplitude, 0x200000);
    EXPECT_EQ(src->GetLength(), 4000);
    std::vector<int32_t> decoded = ReadAll(src, 999);
    EXPECT_EQ(decoded, predicted);
    double err = 0, sum = 0;
    for (size_t i = 0; i < decoded.size(); ++i) {
        err += std::pow(double(decoded[i]) - sig[i], 2);
        sum += std::pow(double(sig[i]), 2);
    }
    EXPECT_GT(10 * std::log10(sum / err), 15.0);
}

TEST(VoxFile, PendingNibblesAcrossCalls) {
    TempDir dir;
    WriteBytes(dir.file("a.vox"), {0x70, 0x19, 0xAB, 0xC3, 0x5E});
    LSoundSourceRef whole(new LSRCVOX(dir.file("a.vox").c_str(), 8000));
    std::vector<int32_t> all(10);
    whole->Read(all.data(), 10);
    EXPECT_EQ(all[0], 3840);
    EXPECT_EQ(all[1], 4324);
    LSoundSourceRef parts(new LSRCVOX(dir.file("a.vox").c_str(), 8000));
    std::vector<int32_t> got(10);
    parts->Read(got.data(), 3);
    parts->Read(got.data() + 3, 3);
    parts->Read(got.data() + 6, 1);
    parts->Read(got.data() + 7, 0);
    parts->Read(got.data() + 7, 3);
    EXPECT_EQ(got, all);
    // Past the end: zeros, and the position still advances.
    std::vector<int32_t> tail(4, 99);
    parts->Read(tail.data(), 4);
    EXPECT_EQ(tail, std::vector<int32_t>(4, 0));
    EXPECT_EQ(parts->GetPosition(), 14);

    std::vector<uint8_t> big(1000, 0x11);
    WriteBytes(dir.file("b.vox"), big);
    EXPECT_EQ(LSoundSourceRef(new LSRCVOX(dir.file("b.vox").c_str(), 8000))->GetLength(), 2000);
    EXPECT_EQ(LSoundSourceRef(new LSRCVOX(dir.file("none.vox").c_str(), 8000))->ErrorState, 4);
}

TEST(VoxFile, SinkWritesEachByteWhenItsPairIsComplete) {
    TempDir dir;
    std::vector<int32_t> s = {100000, -100000, 50000, 0};
    {
        LSoundSinkRef sink(new LSNKVOX(dir.file("a.vox").c_str(), 8000));
        sink->Write(s.data(), 3);
        EXPECT_EQ(ReadBytes(dir.file("a.vox")).size(), 1u);
        sink->Write(s.data() + 3, 1);
        EXPECT_EQ(ReadBytes(dir.file("a.vox")).size(), 2u);
        sink->Seek(0);  // does nothing
    }
    EXPECT_EQ(ReadBytes(dir.file("a.vox")).size(), 2u);
    LSoundSinkRef bad(new LSNKVOX(dir.file("no/dir/c.vox").c_str(), 8000));
    EXPECT_TRUE(bad->IsUnusable());
}

TEST(VoxFile, SeekGivesTheSamplesOfAStraightRead) {
    TempDir dir;
    std::vector<int32_t> sig = ToInternal(Sine16(6000, 1, 300, 8000, 20000));
    {
        LSoundSinkRef sink(new LSNKVOX(dir.file("a.vox").c_str(), 8000));
        WriteAll(sink, sig, 1);
    }
    LSoundSourceRef src(new LSRCVOX(dir.file("a.vox").c_str(), 8000));
    std::vector<int32_t> all = ReadAll(src);
    ASSERT_EQ(all.size(), 6000u);
    ExpectSeeksRead(src, all, {{1001, 500}, {2, 500}, {5999, 500}, {0, 500}, {-10, 20}, {-30, 20}});
}

// sox's Dialogic ADPCM has no leak and reconstructs at 16 times the 12-bit scale, twice ours:
// the files interoperate with the waveform kept and a 6 dB level difference.
class VoxSox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    }
    TempDir dir;
};

void Compare(const std::vector<double>& ref, const std::vector<double>& test, double* pGain,
             double* pCorr) {
    double rr = 0, tt = 0, rt = 0;
    for (size_t i = 400; i < ref.size(); ++i) {
        rr += ref[i] * ref[i];
        tt += test[i] * test[i];
        rt += ref[i] * test[i];
    }
    *pGain = std::sqrt(tt / rr);
    *pCorr = rt / std::sqrt(rr * tt);
}

TEST_F(VoxSox, BothWaysKeepTheWaveform) {
    std::vector<int16_t> sig = Sine16(8000, 1, 700, 8000, 8000);
    Save16(dir.file("in.s16"), sig);
    std::vector<double> ref(sig.begin(), sig.end());

    ASSERT_EQ(RunShell("sox -t raw -e signed-integer -b 16 -L -r 8000 -c 1 " +
                       Q(dir.file("in.s16")) + " -t vox " + Q(dir.file("sox.vox"))),
              0);
    LSoundSourceRef src(new LSRCVOX(dir.file("sox.vox").c_str(), 8000));
    std::vector<int32_t> ours = ReadAll(src);
    ASSERT_EQ(ours.size(), sig.size());
    std::vector<double> ours16(ours.begin(), ours.end());
    for (double& v : ours16) v /= 16;
    double gain, corr;
    Compare(ref, ours16, &gain, &corr);
    EXPECT_GT(corr, 0.98);
    EXPECT_NEAR(gain, 0.5, 0.08);

    {
        LSoundSinkRef sink(new LSNKVOX(dir.file("ours.vox").c_str(), 8000));
        std::vector<int32_t> half = ToInternal(sig);
        WriteAll(sink, half, 1);
    }
    std::vector<int16_t> sox =
        SoxDecode16("-t vox -r 8000 " + Q(dir.file("ours.vox")), dir.file("o.s16"));
    ASSERT_EQ(sox.size(), sig.size());
    Compare(ref, std::vector<double>(sox.begin(), sox.end()), &gain, &corr);
    EXPECT_GT(corr, 0.98);
    EXPECT_NEAR(gain, 2.0, 0.3);
}

}  // namespace
}  // namespace sonvex
