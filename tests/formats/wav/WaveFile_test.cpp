#include "formats/wav/WaveFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/FormatTestUtil.h"
#include "formats/pcm/PcmFileSink.h"
#include "formats/pcm/PcmFileSource.h"

namespace sonvex {
namespace {

using test::PutLE16;
using test::PutLE32;
using test::PutTag;
using test::Q;
using test::ReadAll;
using test::ReadBytes;
using test::TempDir;
using test::ToInternal;
using test::WriteBytes;

std::vector<uint8_t> FmtChunk(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t bits,
                              uint32_t size = 16) {
    std::vector<uint8_t> v;
    PutTag(v, "fmt ");
    PutLE32(v, size);
    PutLE16(v, tag);
    PutLE16(v, ch);
    PutLE32(v, rate);
    PutLE32(v, rate * ch * ((bits + 7) / 8));
    PutLE16(v, static_cast<uint16_t>(ch * ((bits + 7) / 8)));
    PutLE16(v, bits);
    v.resize(v.size() + (size > 16 ? size - 16 : 0), 0);
    return v;
}

std::vector<uint8_t> RiffHead() {
    std::vector<uint8_t> v;
    PutTag(v, "RIFF");
    PutLE32(v, 0);
    PutTag(v, "WAVE");
    return v;
}

void Append(std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
}

std::vector<uint8_t> DataChunk(const std::vector<int16_t>& samples, uint32_t declared = 0) {
    std::vector<uint8_t> v;
    PutTag(v, "data");
    PutLE32(v, declared ? declared : static_cast<uint32_t>(samples.size() * 2));
    for (int16_t s : samples) PutLE16(v, static_cast<uint16_t>(s));
    return v;
}

TEST(WaveReader, ChunkWalkRules) {
    TempDir dir;
    const std::vector<int16_t> samples = {1, -2, 3, -4, 5, -6};
    // A foreign leading chunk of rounded size 6, a LIST chunk of odd size before fmt, a fact
    // chunk between fmt and data: all stepped over.
    std::vector<uint8_t> f;
    PutTag(f, "JUNK");
    PutLE32(f, 5);
    PutTag(f, "abcd");
    f.push_back(0);
    f.push_back(0);
    Append(f, RiffHead());
    PutTag(f, "LIST");
    PutLE32(f, 3);
    f.insert(f.end(), {'x', 'y', 'z', 0});
    Append(f, FmtChunk(1, 2, 8000, 16, 18));
    PutTag(f, "fact");
    PutLE32(f, 4);
    PutLE32(f, 3);
    Append(f, DataChunk(samples));
    WriteBytes(dir.file("odd.wav"), f);
    LSoundSourceRef s = LWaveFile::OpenSource(dir.file("odd.wav"));
    ASSERT_EQ(s->ErrorState, 0);
    EXPECT_EQ(s->nChans, 2);
    EXPECT_EQ(s->SampleRate, 8000);
    EXPECT_EQ(s->GetLength(), 3);
    EXPECT_EQ(s->MaxAmplitude, 0x7FFF0);
    std::vector<int32_t> got = ReadAll(s);
    ASSERT_EQ(got.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(got[i], samples[i] * 16);

    // data before fmt is skipped while looking for fmt, so data is never found.
    std::vector<uint8_t> g = RiffHead();
    Append(g, DataChunk(samples));
    Append(g, FmtChunk(1, 1, 8000, 16));
    WriteBytes(dir.file("datafirst.wav"), g);
    EXPECT_EQ(LWaveFile::OpenSource(dir.file("datafirst.wav"))->ErrorState, 3);

    EXPECT_EQ(LWaveFile::OpenSource(dir.file("missing.wav"))->ErrorState, 4);
    WriteBytes(dir.file("short.wav"), {'R', 'I', 'F', 'F'});
    EXPECT_EQ(LWaveFile::OpenSource(dir.file("short.wav"))->ErrorState, 3);
}

TEST(WaveReader, FormatLimits) {
    TempDir dir;
    auto open = [&](const std::vector<uint8_t>& fmt) {
        std::vector<uint8_t> f = RiffHead();
        Append(f, fmt);
        Append(f, DataChunk({0, 0, 0, 0}));
        WriteBytes(dir.file("t.wav"), f);
        return LWaveFile::OpenSource(dir.file("t.wav"));
    };
    EXPECT_EQ(open(FmtChunk(1, 1, 8000, 16, 16))->ErrorState, 0);
    EXPECT_EQ(open(FmtChunk(1, 1, 8000, 16, 15))->ErrorState, 3);
    EXPECT_EQ(open(FmtChunk(1, 1, 8000, 16, 8193))->ErrorState, 3);
    EXPECT_EQ(open(FmtChunk(1, 1, 8000, 16, 8192))->ErrorState, 0);
    EXPECT_EQ(open(FmtChunk(1, 1, 196000, 16))->ErrorState, 0);
    EXPECT_EQ(open(FmtChunk(1, 1, 196001, 16))->ErrorState, 3);
    EXPECT_EQ(open(FmtChunk(1, 1, 0, 16))->ErrorState, 3);
    EXPECT_EQ(open(FmtChunk(1, 255, 8000, 8))->ErrorState, 0);
    EXPECT_EQ(open(FmtChunk(1, 256, 8000, 8))->ErrorState, 3);
    EXPECT_EQ(open(FmtChunk(1, 0, 8000, 16))->ErrorState, 3);
    LSoundSourceRef twelve = open(FmtChunk(1, 1, 8000, 12));
    EXPECT_EQ(twelve->ErrorState, 0);
    EXPECT_EQ(twelve->GetLength(), 4);  // read as 16-bit
    // 24-bit PCM goes to the codec manager; a tag no codec knows opens as unsupported.
    EXPECT_EQ(open(FmtChunk(1, 1, 8000, 24))->ErrorState, 0);
    EXPECT_EQ(open(FmtChunk(0x7A31, 1, 8000, 0, 20))->ErrorState, 5);
}

TEST(WaveReader, LengthsStreamingAndShortFiles) {
    TempDir dir;
    // Stereo 16-bit with a 10-byte data size: 2 whole frames.
    std::vector<uint8_t> f = RiffHead();
    Append(f, FmtChunk(1, 2, 8000, 16));
    Append(f, DataChunk({1, 2, 3, 4, 5}, 10));
    WriteBytes(dir.file("odd.wav"), f);
    EXPECT_EQ(LWaveFile::OpenSource(dir.file("odd.wav"))->GetLength(), 2);

    // Streaming size: read to the physical end.
    std::vector<uint8_t> g = RiffHead();
    Append(g, FmtChunk(1, 1, 8000, 16));
    Append(g, DataChunk(std::vector<int16_t>(1000, 7), 0xFFFFFFFF));
    WriteBytes(dir.file("stream.wav"), g);
    LSoundSourceRef s = LWaveFile::OpenSource(dir.file("stream.wav"));
    EXPECT_EQ(s->GetLength(), 1000);
}

TEST(WaveReader, DeclaredSizesBeyondTheFileHoldTheFramesThere) {
    TempDir dir;
    // One second of 44.1 kHz 16-bit stereo behind the sizes that a writer to a pipe, a
    // streaming writer or a cut-off download leave; 0 reads to the end like 0xFFFFFFFF.
    const std::vector<int16_t> second = test::Sine16(44100, 2, 440, 44100, 20000);
    const std::vector<int32_t> want = ToInternal(second);
    const uint32_t kBytes = 44100 * 4;
    struct Case {
        uint32_t declared;
        size_t cut;  // bytes missing at the end of the file
    };
    const Case cases[] = {{0x7FFFF000, 0}, {0xFFFFFFFE, 0},          {0x80000000, 0}, {0, 0},
                          {kBytes, 0},     {kBytes, kBytes / 2 + 1}, {0x7FFFF000, 3}};
    for (const Case& c : cases) {
        std::vector<uint8_t> f = RiffHead();
        Append(f, FmtChunk(1, 2, 44100, 16));
        const size_t dataSizeAt = f.size() + 4;
        Append(f, DataChunk(second));
        SetLE32(&f[dataSizeAt], c.declared);
        f.resize(f.size() - c.cut);
        WriteBytes(dir.file("d.wav"), f);
        LSoundSourceRef s = LWaveFile::OpenSource(dir.file("d.wav"));
        ASSERT_EQ(s->ErrorState, 0);
        const int32_t frames = static_cast<int32_t>((kBytes - c.cut) / 4);
        EXPECT_EQ(s->GetLength(), frames) << c.declared << " cut " << c.cut;
        std::vector<int32_t> all = ReadAll(s);
        ASSERT_EQ(all.size(), 2u * static_cast<size_t>(frames)) << c.declared;
        EXPECT_TRUE(std::equal(all.begin(), all.end(), want.begin())) << c.declared;
    }
}

TEST(WaveReader, SeekBeforeStartAndBeyondEnd) {
    TempDir dir;
    std::vector<int16_t> ramp(300);
    for (int i = 0; i < 300; ++i) ramp[static_cast<size_t>(i)] = static_cast<int16_t>(i + 1);
    std::vector<uint8_t> f = RiffHead();
    Append(f, FmtChunk(1, 1, 8000, 16));
    Append(f, DataChunk(ramp));
    WriteBytes(dir.file("r.wav"), f);
    LSoundSourceRef s = LWaveFile::OpenSource(dir.file("r.wav"));
    std::vector<int32_t> buf(200, -1);
    s->Seek(-100);
    s->Read(buf.data(), 200);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(buf[static_cast<size_t>(i)], 0);
    for (int i = 100; i < 200; ++i) EXPECT_EQ(buf[static_cast<size_t>(i)], (i - 99) * 16);
    EXPECT_EQ(s->GetPosition(), 100);
    s->Seek(250);
    s->Read(buf.data(), 100);
    EXPECT_EQ(buf[0], 251 * 16);
    EXPECT_EQ(buf[49], 300 * 16);
    EXPECT_EQ(buf[50], 0);
    s->Seek(1000);
    s->Read(buf.data(), 10);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(s->GetPosition(), 1010);

    // Two read blocks: forward past the block held, then back into the first.
    const int frames = LSRCPCMFileBase::kReadBytes;
    std::vector<int16_t> wave(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) wave[static_cast<size_t>(i)] = static_cast<int16_t>(i % 9973);
    f = RiffHead();
    Append(f, FmtChunk(1, 1, 8000, 16));
    Append(f, DataChunk(wave));
    WriteBytes(dir.file("big.wav"), f);
    s = LWaveFile::OpenSource(dir.file("big.wav"));
    for (int at : {3, frames - 5, 17}) {
        s->Seek(at);
        s->Read(buf.data(), 10);
        for (int i : {0, 4, 5})
            EXPECT_EQ(buf[static_cast<size_t>(i)], at + i < frames ? (at + i) % 9973 * 16 : 0)
                << at;
    }
}

TEST(WaveWriter, HeaderFinishingAndCutBack) {
    TempDir dir;
    std::vector<int32_t> block(2000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int32_t>(i) * 16;
    {
        LSoundSinkRef sink = LWaveFile::OpenSinkPCM(dir.file("o.wav"), 44100, 16, 2);
        ASSERT_TRUE(sink);
        EXPECT_FALSE(sink->IsUnusable());
        sink->Write(block.data(), 1000);
        // Until finished both sizes are the streaming value and the file still reads whole.
        auto mid = ReadBytes(dir.file("o.wav"));
        EXPECT_EQ(GetLE32(&mid[4]), 0xFFFFFFFFu);
        EXPECT_EQ(GetLE32(&mid[42]), 0xFFFFFFFFu);
        EXPECT_EQ(LWaveFile::OpenSource(dir.file("o.wav"))->GetLength(), 1000);
    }
    auto b = ReadBytes(dir.file("o.wav"));
    ASSERT_EQ(b.size(), 46u + 4000u);
    EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
    EXPECT_EQ(GetLE32(&b[4]), 4038u);
    EXPECT_EQ(std::memcmp(&b[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(GetLE32(&b[16]), 18u);
    EXPECT_EQ(GetLE16(&b[20]), 1);
    EXPECT_EQ(GetLE16(&b[22]), 2);
    EXPECT_EQ(GetLE32(&b[24]), 44100u);
    EXPECT_EQ(GetLE32(&b[28]), 176400u);
    EXPECT_EQ(GetLE16(&b[32]), 4);
    EXPECT_EQ(GetLE16(&b[34]), 16);
    EXPECT_EQ(GetLE16(&b[36]), 0);
    EXPECT_EQ(std::memcmp(&b[38], "data", 4), 0);
    EXPECT_EQ(GetLE32(&b[42]), 4000u);
    EXPECT_EQ(static_cast<int16_t>(GetLE16(&b[46 + 2 * 1999])), 1999);

    {
        LSoundSinkRef sink = LWaveFile::OpenSinkPCM(dir.file("cut.wav"), 8000, 8, 1);
        sink->Write(block.data(), 100);
        sink->Seek(200);  // beyond what was written: ignored
        EXPECT_EQ(sink->sPosition, 100);
        sink->Seek(10);
        EXPECT_EQ(sink->sPosition, 10);
        sink->Write(block.data(), 5);
    }
    auto c = ReadBytes(dir.file("cut.wav"));
    EXPECT_EQ(c.size(), 46u + 15u);
    EXPECT_EQ(GetLE32(&c[42]), 15u);
    EXPECT_EQ(GetLE16(&c[34]), 8);

    EXPECT_FALSE(LWaveFile::OpenSinkPCM(dir.file("x.wav"), 8000, 24, 1));
    LSoundSinkRef bad = LWaveFile::OpenSinkPCM(dir.path() + "/no/such/dir/x.wav", 8000, 16, 1);
    ASSERT_TRUE(bad);
    EXPECT_TRUE(bad->IsUnusable());
    // A record no codec writes: an unusable sink that creates nothing.
    WAVEFORMATEX unknown = WAVEFORMATEX::Pcm16(8000, 1);
    unknown.wFormatTag = 0x7A31;
    LSoundSinkRef acm = LWaveFile::OpenSink(dir.file("acm.wav"), unknown);
    ASSERT_TRUE(acm);
    EXPECT_TRUE(acm->IsUnusable());
    EXPECT_FALSE(test::FileExists(dir.file("acm.wav")));
}

// Whole read blocks handed to a sink that stores samples the same way give the file that
// reading, converting and writing gives; other sinks take nothing that way.
TEST(WaveWriter, StoredCopyMatchesConversion) {
    TempDir dir;
    struct Case {
        int bits, channels, frames, outBits, outChannels;
        bool copies;
    };
    const Case cases[] = {
        {16, 2, 300001, 16, 2, true},  // more than one read block
        {16, 6, 777, 16, 6, true},    {8, 1, 5001, 8, 1, true},    {8, 2, 999, 16, 2, false},
        {16, 2, 1000, 8, 2, false},   {16, 2, 1000, 16, 1, false},
    };
    for (const Case& c : cases) {
        const int bytes = c.bits / 8;
        std::vector<uint8_t> data(static_cast<size_t>(c.frames) * c.channels * bytes);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
        std::vector<uint8_t> f = RiffHead();
        Append(f, FmtChunk(1, static_cast<uint16_t>(c.channels), 22050,
                           static_cast<uint16_t>(c.bits)));
        PutTag(f, "data");
        PutLE32(f, static_cast<uint32_t>(data.size()));
        Append(f, data);
        WriteBytes(dir.file("in.wav"), f);

        // Reads of 1000 frames end inside read blocks.
        LSoundSourceRef a = LWaveFile::OpenSource(dir.file("in.wav"));
        LSoundSinkRef converted =
            LWaveFile::OpenSinkPCM(dir.file("a.wav"), 22050, c.outBits, c.outChannels);
        test::WriteAll(converted, ReadAll(a, 1000), c.outChannels, 1000);
        converted->Finish();

        LSoundSourceRef b = LWaveFile::OpenSource(dir.file("in.wav"));
        LSoundSinkRef copied =
            LWaveFile::OpenSinkPCM(dir.file("b.wav"), 22050, c.outBits, c.outChannels);
        int frames = 0;
        for (int n; (n = b->CopyTo(*copied)) > 0;) frames += n;
        EXPECT_EQ(frames, c.copies ? c.frames : 0) << c.bits << "/" << c.channels;
        test::WriteAll(copied, ReadAll(b), c.outChannels);
        copied->Finish();

        const std::vector<uint8_t> out = ReadBytes(dir.file("b.wav"));
        EXPECT_EQ(out, ReadBytes(dir.file("a.wav"))) << c.bits << "/" << c.channels;
        if (c.copies) {
            ASSERT_EQ(out.size(), 46 + data.size());
            EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin() + 46));
        }
    }
}

TEST(WaveWriter, EightBitTopSaturatesAndRoundTrips) {
    TempDir dir;
    std::vector<int32_t> v = {0x7FFF0, 0x7F800, -524288, 0, 4096, -4096};
    {
        LSoundSinkRef sink = LWaveFile::OpenSinkPCM(dir.file("e.wav"), 8000, 8, 1);
        sink->Write(v.data(), static_cast<int>(v.size()));
    }
    auto b = ReadBytes(dir.file("e.wav"));
    ASSERT_EQ(b.size(), 46u + 6u);
    EXPECT_EQ(b[46], 255);
    EXPECT_EQ(b[47], 255);
    EXPECT_EQ(b[48], 0);
    EXPECT_EQ(b[49], 128);
    EXPECT_EQ(b[50], 129);
    EXPECT_EQ(b[51], 127);
}

// sox writing to a pipe cannot go back to its header and leaves a data size of 0x7FFFF000.
TEST(WavePeer, SoxOutputThroughAPipeReadsAsTheSamplesThere) {
    if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    const std::string piped = dir.file("piped.wav");
    ASSERT_EQ(test::RunShell("sox -n -r 44100 -c 2 -b 16 -t wav - synth 1 sine 440 2>/dev/null"
                             " | cat > " +
                             Q(piped)),
              0);
    const std::vector<int16_t> sox = test::SoxDecode16(Q(piped), dir.file("sox.s16"));
    ASSERT_EQ(sox.size(), 2u * 44100u);
    LSoundSourceRef s = LWaveFile::OpenSource(piped);
    ASSERT_EQ(s->ErrorState, 0);
    EXPECT_EQ(s->GetLength(), 44100);
    EXPECT_EQ(ReadAll(s), ToInternal(sox));
}

// sox writes what we read and reads what we write, sample for sample.
TEST(WavePeer, SoxInterop) {
    if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    for (int bits : {8, 16})
        for (int ch : {1, 2}) {
            const std::string in =
                dir.file("sox" + std::to_string(bits) + std::to_string(ch) + ".wav");
            const std::string cmd = "sox -n -r 11025 -c " + std::to_string(ch) + " -b " +
                                    std::to_string(bits) + " -e " +
                                    (bits == 8 ? "unsigned" : "signed") + " '" + in +
                                    "' synth 0.5 sine 300 sine 700 gain -1 2>&1";
            ASSERT_EQ(test::RunShell(cmd), 0);
            LSoundSourceRef s = LWaveFile::OpenSource(in);
            ASSERT_EQ(s->ErrorState, 0);
            EXPECT_EQ(s->nChans, ch);
            EXPECT_EQ(s->GetLength(), 11025 / 2);
            std::vector<int32_t> all = ReadAll(s);
            // Our samples match the raw bytes sox decodes from its own file.
            std::string raw;
            ASSERT_EQ(test::RunShell("sox '" + in + "' -t raw -e signed -b 16 -L - ", &raw), 0);
            ASSERT_EQ(raw.size(), all.size() * 2);
            for (size_t i = 0; i < all.size(); ++i) {
                int16_t v;
                std::memcpy(&v, raw.data() + 2 * i, 2);
                ASSERT_EQ(all[i], v * 16) << "sample " << i;
            }
            // What we write, sox reads back identically.
            const std::string out =
                dir.file("ours" + std::to_string(bits) + std::to_string(ch) + ".wav");
            {
                LSoundSinkRef sink = LWaveFile::OpenSinkPCM(out, 11025, bits, ch);
                sink->Write(all.data(), static_cast<int>(all.size() / static_cast<size_t>(ch)));
            }
            std::string back;
            ASSERT_EQ(test::RunShell("sox '" + out + "' -t raw -e signed -b 16 -L - ", &back), 0);
            EXPECT_EQ(back, raw);
            std::string info;
            test::RunShell("soxi '" + out + "'", &info);
            EXPECT_NE(info.find(std::to_string(bits) + "-bit"), std::string::npos) << info;
        }
}

}  // namespace
}  // namespace sonvex
