#include "formats/gsm/GsmFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "formats/FormatTestUtil.h"

namespace sonvex {
namespace {

using namespace test;

std::vector<int32_t> Signal(int n) {
    std::vector<int32_t> s = ToInternal(Sine16(n, 1, 210, 8000, 9000));
    std::vector<int16_t> b = Sine16(n, 1, 1330, 8000, 4000);
    for (int i = 0; i < n; ++i) s[i] += b[i] * 16;
    return s;
}

std::vector<uint8_t> EncodeFrames(const std::vector<int32_t>& pcm) {
    LGSMEncoderState st;
    std::vector<uint8_t> out(pcm.size() / kGsmFrameSamples * kGsmFrameBytes);
    for (size_t f = 0; f < out.size() / kGsmFrameBytes; ++f)
        LGSMFrame::EncodeNormal(st, &pcm[f * kGsmFrameSamples], &out[f * kGsmFrameBytes]);
    return out;
}

std::vector<int32_t> DecodeFrames(const std::vector<uint8_t>& bytes) {
    LGSMDecoderState st;
    std::vector<int32_t> out(bytes.size() / kGsmFrameBytes * kGsmFrameSamples);
    for (size_t f = 0; f < out.size() / kGsmFrameSamples; ++f)
        LGSMFrame::DecodeNormal(st, &bytes[f * kGsmFrameBytes], &out[f * kGsmFrameSamples]);
    return out;
}

TEST(GsmFrame, PackingRoundTripsEveryField) {
    std::mt19937 rng(7);
    const int kLarBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};
    for (int n = 0; n < 200; ++n) {
        LGSMParams p{}, q{};
        for (int i = 0; i < 8; ++i) p.LARc[i] = static_cast<int16_t>(rng() % (1u << kLarBits[i]));
        for (int j = 0; j < 4; ++j) {
            p.Nc[j] = static_cast<int16_t>(rng() % 128);
            p.bc[j] = static_cast<int16_t>(rng() % 4);
            p.Mc[j] = static_cast<int16_t>(rng() % 4);
            p.xmaxc[j] = static_cast<int16_t>(rng() % 64);
            for (int i = 0; i < 13; ++i) p.xMc[j][i] = static_cast<int16_t>(rng() % 8);
        }
        uint8_t f[kGsmFrameBytes];
        LGSMFrame::Pack(p, f);
        EXPECT_EQ(f[0] >> 4, 0xD);
        LGSMFrame::Unpack(f, q);
        ASSERT_EQ(std::memcmp(&p, &q, sizeof p), 0) << n;
    }
    // The first LAR starts right behind the signature, most significant bit first.
    LGSMParams p{};
    p.LARc[0] = 0x3F;
    p.xMc[3][12] = 5;
    uint8_t f[kGsmFrameBytes];
    LGSMFrame::Pack(p, f);
    EXPECT_EQ(f[0], 0xDF);
    EXPECT_EQ(f[1], 0xC0);
    EXPECT_EQ(f[32] & 7, 5);
}

TEST(GsmFrame, SignatureIsWrittenAndIgnored) {
    std::vector<uint8_t> bytes = EncodeFrames(Signal(1600));
    ASSERT_EQ(bytes.size(), 330u);
    for (size_t i = 0; i < bytes.size(); i += kGsmFrameBytes) EXPECT_EQ(bytes[i] >> 4, 0xD) << i;
    std::vector<int32_t> want = DecodeFrames(bytes);
    for (size_t i = 0; i < bytes.size(); i += kGsmFrameBytes)
        bytes[i] = static_cast<uint8_t>((bytes[i] & 0x0F) | ((i / 33) << 4));
    EXPECT_EQ(DecodeFrames(bytes), want);
}

TEST(GsmFrame, InvalidLagTakesThePreviousValidOne) {
    std::vector<uint8_t> bytes = EncodeFrames(Signal(480));
    auto setLag = [&](size_t frame, int sub, int lag) {
        LGSMParams p;
        LGSMFrame::Unpack(bytes.data() + frame * 33, p);
        p.Nc[sub] = static_cast<int16_t>(lag);
        LGSMFrame::Pack(p, bytes.data() + frame * 33);
    };
    setLag(0, 0, 40);
    setLag(1, 1, 77);
    setLag(1, 2, 77);
    std::vector<int32_t> want = DecodeFrames(bytes);
    setLag(0, 0, 39);  // after a reset the previous valid lag is 40
    setLag(1, 2, 121);
    std::vector<int32_t> got = DecodeFrames(bytes);
    EXPECT_EQ(got, want);
}

TEST(GsmSource, LengthsAndTheLeadingSilence) {
    TempDir dir;
    std::vector<uint8_t> bytes = EncodeFrames(Signal(16000));
    ASSERT_EQ(bytes.size(), 3300u);
    WriteBytes(dir.file("a.gsm"), bytes);
    bytes.resize(3332, 0x55);
    WriteBytes(dir.file("b.gsm"), bytes);
    LSoundSourceRef a(new LGSMFileSource(dir.file("a.gsm")));
    LSoundSourceRef b(new LGSMFileSource(dir.file("b.gsm")));
    EXPECT_EQ(a->GetLength(), 16000);
    EXPECT_EQ(b->GetLength(), 16000);
    EXPECT_EQ(a->SampleRate, 8000);
    EXPECT_EQ(a->nChans, 1);
    EXPECT_EQ(a->MaxAmplitude, 0xFFFE0);
    std::vector<int32_t> want =
        DecodeFrames(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3300));
    EXPECT_EQ(ReadAll(a, 1234), want);
    EXPECT_EQ(ReadAll(b, 160), want);

    LSoundSourceRef c(new LGSMFileSource(dir.file("a.gsm")));
    c->Seek(-80);
    std::vector<int32_t> buf(500, 1);
    c->Read(buf.data(), 500);
    for (int i = 0; i < 80; ++i) ASSERT_EQ(buf[i], 0);
    for (int i = 80; i < 500; ++i) ASSERT_EQ(buf[i], want[i - 80]) << i;

    EXPECT_EQ(LSoundSourceRef(new LGSMFileSource(dir.file("none.gsm")))->ErrorState, 4);
}

TEST(GsmSource, SeekRestartsTheDecoderAtTheFrame) {
    TempDir dir;
    std::vector<uint8_t> bytes = EncodeFrames(Signal(1600));
    WriteBytes(dir.file("a.gsm"), bytes);
    LSoundSourceRef src(new LGSMFileSource(dir.file("a.gsm")));
    // A fresh decoder on the second frame.
    std::vector<int32_t> fresh =
        DecodeFrames(std::vector<uint8_t>(bytes.begin() + 33, bytes.end()));
    src->Seek(170);
    std::vector<int32_t> buf(300);
    src->Read(buf.data(), 300);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(buf[i], fresh[10 + i]) << i;
    EXPECT_EQ(src->GetPosition(), 470);

    src->Seek(1590);  // the last ten samples, then silence
    src->Read(buf.data(), 20);
    std::vector<int32_t> last = DecodeFrames(std::vector<uint8_t>(bytes.end() - 33, bytes.end()));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buf[i], last[150 + i]);
    for (int i = 10; i < 20; ++i) EXPECT_EQ(buf[i], 0);
    src->Seek(5000);
    src->Read(buf.data(), 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(buf[i], 0);
}

// A frame is written when its block is complete; the last one is padded with silence.
TEST(GsmSink, FramesAreWrittenWholeAndPaddedWithSilence) {
    TempDir dir;
    std::vector<int32_t> sig = Signal(1000);
    {
        LSoundSinkRef sink(new LGSMFileSink(dir.file("a.gsm")));
        sink->Write(sig.data(), 100);
        EXPECT_EQ(ReadBytes(dir.file("a.gsm")).size(), 0u);
        sink->Write(sig.data() + 100, 60);
        EXPECT_EQ(ReadBytes(dir.file("a.gsm")).size(), 33u);
        sink->Seek(0);  // a GSM sink cannot be cut back
        WriteAll(sink, std::vector<int32_t>(sig.begin() + 160, sig.end()), 1, 333);
        EXPECT_EQ(sink->sPosition, 1000);
    }
    std::vector<int32_t> padded = sig;
    padded.resize(1120, 0);
    EXPECT_EQ(ReadBytes(dir.file("a.gsm")), EncodeFrames(padded));
    LSoundSourceRef src(new LGSMFileSource(dir.file("a.gsm")));
    EXPECT_EQ(src->GetLength(), 1120);
    LSoundSinkRef bad(new LGSMFileSink(dir.file("no/dir/b.gsm")));
    EXPECT_TRUE(bad->IsUnusable());
    EXPECT_EQ(bad->SampleRate, 8000);
    EXPECT_EQ(bad->nChans, 1);
}

}  // namespace
}  // namespace sonvex
