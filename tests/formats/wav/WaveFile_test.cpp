#include "formats/wav/WaveFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/FormatTestUtil.h"
#include "formats/pcm/PcmFileSink.h"
#include "formats/pcm/PcmFileSource.h"

namespace sonvex {
namespace {

using namespace test;

LSoundSourceRef Open(const std::vector<uint8_t>& bytes) {
    return LWaveFile::OpenSource(LByteSource::FromMemory(bytes));
}

std::vector<uint8_t> Data16(const std::vector<int16_t>& samples, int64_t declared = -1) {
    return Chunk("data", Pcm16Bytes(samples), false, declared);
}

// A foreign chunk before RIFF, an odd-sized chunk before fmt, a longer fmt and a fact chunk
// before data are all stepped over.
TEST(WaveReader, ChunkWalk) {
    const std::vector<int16_t> samples = {1, -2, 3, -4, 5, -6};
    std::vector<uint8_t> f = Chunk("JUNK", {'a', 'b', 'c', 'd', 'e'}, false);
    Append(f, WavFile({Chunk("LIST", {'x', 'y', 'z'}, false), WavFmt(1, 2, 8000, 16, 18),
                       Chunk("fact", {3, 0, 0, 0}, false), Data16(samples)}));
    LSoundSourceRef s = Open(f);
    ASSERT_EQ(s->ErrorState, 0);
    EXPECT_EQ(s->nChans, 2);
    EXPECT_EQ(s->SampleRate, 8000);
    EXPECT_EQ(s->MaxAmplitude, 0x7FFF0);
    EXPECT_EQ(ReadAll(s), ToInternal(samples));

    // data before fmt is passed over while looking for fmt, and then never found.
    EXPECT_EQ(Open(WavFile({Data16(samples), WavFmt(1, 1, 8000, 16)}))->ErrorState, 3);
    EXPECT_EQ(Open({'R', 'I', 'F', 'F'})->ErrorState, 3);
    TempDir dir;
    EXPECT_EQ(LWaveFile::OpenSource(dir.file("missing.wav"))->ErrorState, 4);
}

TEST(WaveReader, FormatLimits) {
    struct Case {
        std::vector<uint8_t> fmt;
        int state;
    };
    std::vector<uint8_t> fmt15 = WavFmt(1, 1, 8000, 16);  // 15 bytes, data straight after
    fmt15[4] = 15;
    fmt15.pop_back();
    const Case cases[] = {
        {fmt15, 3},
        {WavFmt(1, 1, 8000, 16, 8192), 0},
        {WavFmt(1, 1, 8000, 16, 19), 0},  // odd size: the pad byte is stepped over
        {WavFmt(1, 1, 8000, 16, 8193), 3},
        {WavFmt(1, 1, 196000, 16), 0},
        {WavFmt(1, 1, 196001, 16), 3},
        {WavFmt(1, 1, 0, 16), 3},
        {WavFmt(1, 255, 8000, 8), 0},
        {WavFmt(1, 256, 8000, 8), 3},
        {WavFmt(1, 0, 8000, 16), 3},
        // 24-bit PCM goes to the codec manager; a tag no codec knows opens as unsupported.
        {WavFmt(1, 1, 8000, 24), 0},
        {WavFmt(0x7A31, 1, 8000, 0, 20), 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Open(WavFile({c.fmt, Data16({0, 0, 0, 0})}))->ErrorState, c.state) << &c - cases;
    // 12-bit samples are stored as 16-bit.
    EXPECT_EQ(Open(WavFile({WavFmt(1, 1, 8000, 12), Data16({0, 0, 0, 0})}))->GetLength(), 4);
}

// 0 and 0xFFFFFFFF (a writer that could not go back to its header) read to the end of the file;
// a larger size than the file holds (a pipe's header, a cut-off download) the whole frames there.
TEST(WaveReader, DeclaredSizes) {
    const std::vector<int16_t> second = Sine16(44100, 2, 440, 44100, 20000);
    const std::vector<int32_t> want = ToInternal(second);
    const uint32_t kBytes = 44100 * 4;
    struct Case {
        uint32_t declared;
        size_t cut;  // bytes missing at the end of the file
        int32_t frames;
    };
    const Case cases[] = {{0x7FFFF000, 0, 44100},
                          {0xFFFFFFFE, 0, 44100},
                          {0xFFFFFFFF, 0, 44100},
                          {0x80000000, 0, 44100},
                          {0, 0, 44100},
                          {kBytes, 0, 44100},
                          {10, 0, 2},
                          {kBytes, kBytes / 2 + 1, 22049},
                          {0x7FFFF000, 3, 44099}};
    for (const Case& c : cases) {
        std::vector<uint8_t> f = WavFile({WavFmt(1, 2, 44100, 16), Data16(second, c.declared)});
        f.resize(f.size() - c.cut);
        LSoundSourceRef s = Open(f);
        ASSERT_EQ(s->ErrorState, 0);
        EXPECT_EQ(s->GetLength(), c.frames) << c.declared << " cut " << c.cut;
        EXPECT_EQ(ReadAll(s), std::vector<int32_t>(want.begin(), want.begin() + 2 * c.frames))
            << c.declared << " cut " << c.cut;
    }
}

// Before the start, past the end, and back and forth across the read blocks.
TEST(WaveReader, Seeks) {
    const int frames = LSRCPCMFileBase::kReadBytes;  // two read blocks
    std::vector<int16_t> ramp(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) ramp[static_cast<size_t>(i)] = static_cast<int16_t>(i % 9973);
    LSoundSourceRef s = Open(Wav16(8000, 1, ramp));
    ExpectSeeksRead(s, ToInternal(ramp),
                    {{-100, 200},
                     {3, 10},
                     {frames / 2 - 5, 10},
                     {frames - 5, 10},
                     {17, 10},
                     {frames + 1000, 10}});
}

TEST(WaveWriter, WholeFileAndSinksItCannotMake) {
    TempDir dir;
    const std::vector<int16_t> sig = Sine16(1000, 2, 440, 44100, 20000);
    {
        LSoundSinkRef sink = LWaveFile::OpenSinkPCM(dir.file("o.wav"), 44100, 16, 2);
        WriteAll(sink, ToInternal(sig), 2, 300);
        // Until finished both sizes are the streaming value.
        const std::vector<uint8_t> mid = ReadBytes(dir.file("o.wav"));
        EXPECT_EQ(GetLE32(&mid[4]), 0xFFFFFFFFu);
        EXPECT_EQ(GetLE32(&mid[42]), 0xFFFFFFFFu);
    }
    EXPECT_EQ(ReadBytes(dir.file("o.wav")), WavFile({WavFmt(1, 2, 44100, 16, 18), Data16(sig)}));

    EXPECT_FALSE(LWaveFile::OpenSinkPCM(dir.file("x.wav"), 8000, 24, 1));
    // A record no codec writes: an unusable sink that creates nothing.
    WAVEFORMATEX unknown = WAVEFORMATEX::Pcm16(8000, 1);
    unknown.wFormatTag = 0x7A31;
    EXPECT_TRUE(LWaveFile::OpenSink(dir.file("acm.wav"), unknown)->IsUnusable());
    EXPECT_FALSE(FileExists(dir.file("acm.wav")));
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
        SCOPED_TRACE(::testing::Message() << c.bits << "/" << c.channels);
        std::vector<uint8_t> data(static_cast<size_t>(c.frames) * c.channels * c.bits / 8);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
        const std::vector<uint8_t> in = WavFile(
            {WavFmt(1, static_cast<uint16_t>(c.channels), 22050, static_cast<uint16_t>(c.bits)),
             Chunk("data", data, false)});
        auto sink = [&](const char* name) {
            return LWaveFile::OpenSinkPCM(dir.file(name), 22050, c.outBits, c.outChannels);
        };

        // Reads of 1000 frames end inside read blocks.
        LSoundSourceRef a = Open(in);
        LSoundSinkRef converted = sink("a.wav");
        WriteAll(converted, ReadAll(a, 1000), c.outChannels, 1000);
        converted->Finish();

        LSoundSourceRef b = Open(in);
        LSoundSinkRef copied = sink("b.wav");
        int frames = 0;
        for (int n; (n = b->CopyTo(*copied)) > 0;) frames += n;
        EXPECT_EQ(frames, c.copies ? c.frames : 0);
        WriteAll(copied, ReadAll(b), c.outChannels);
        copied->Finish();

        const std::vector<uint8_t> out = ReadBytes(dir.file("b.wav"));
        EXPECT_EQ(out, ReadBytes(dir.file("a.wav")));
        if (c.copies) {
            EXPECT_EQ(std::vector<uint8_t>(out.begin() + 46, out.end()), data);
        }
    }
}

}  // namespace
}  // namespace sonvex
