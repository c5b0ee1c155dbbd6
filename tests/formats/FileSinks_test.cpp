// Every file sink completes its file in Finish(), once, and reports the writes that failed; the
// sinks with a header keep a file that reads whole while open and after a cut back. sox reads
// what the WAV, AIFF and AU sinks write and their readers read what sox writes.
#include <gtest/gtest.h>

#include <functional>

#include "formats/FormatTestUtil.h"
#include "formats/aiff/AifFile.h"
#include "formats/au/AuFile.h"
#include "formats/gsm/GsmFile.h"
#include "formats/pcm/SampleCodecs.h"
#include "formats/raw/RawFile.h"
#include "formats/wav/WaveFile.h"

namespace sonvex {
namespace {

using namespace test;

using Opener = std::function<LSoundSinkRef(const std::string&)>;
using Reader = LSoundSourceRef (*)(const std::string&);

struct SinkCase {
    const char* name;
    Opener open;
    int headerBytes;   // written at creation, patched by Finish
    bool bPadsFrames;  // Finish writes the last, padded block
    Reader read = nullptr;
    int sampleBytes = 2;
};

std::vector<SinkCase> Sinks() {
    return {
        {"wav8", [](const std::string& p) { return LWaveFile::OpenSinkPCM(p, 8000, 8, 2); }, 46,
         false, LWaveFile::OpenSource, 1},
        {"wav16", [](const std::string& p) { return LWaveFile::OpenSinkPCM(p, 8000, 16, 2); }, 46,
         false, LWaveFile::OpenSource},
        {"aiff", [](const std::string& p) { return LAifFile::OpenSink(p, 8000, 2); }, 54, false,
         LAifFile::OpenSource},
        {"au", [](const std::string& p) { return LAuFile::OpenSink(p, 8000, 2); }, 24, false,
         LAuFile::OpenSource},
        {"raw",
         [](const std::string& p) {
             return LRawFile::OpenSink(p, LRawSettings{8000, 2, kCodecULaw});
         },
         0, false},
        {"vox",
         [](const std::string& p) {
             return LRawFile::OpenSink(p, LRawSettings{8000, 1, kCodecVox});
         },
         0, false},
        {"gsm", [](const std::string& p) { return LSoundSinkRef(new LGSMFileSink(p)); }, 0, true},
    };
}

// 1000 frames: not a whole number of GSM blocks, so the GSM sink has samples pending.
std::vector<int32_t> Signal(int nChans) {
    return ToInternal(Sine16(1000, nChans, 440, 8000, 20000));
}

TEST(FileSinks, FinishCompletesTheFileOnceAndEndsTheWrites) {
    TempDir dir;
    for (const SinkCase& c : Sinks()) {
        SCOPED_TRACE(c.name);
        const std::string released = dir.file(std::string("released.") + c.name);
        const std::string finished = dir.file(std::string("finished.") + c.name);
        {
            LSoundSinkRef sink = c.open(released);
            WriteAll(sink, Signal(sink->nChans), sink->nChans);
        }
        LSoundSinkRef sink = c.open(finished);
        const std::vector<int32_t> sig = Signal(sink->nChans);
        WriteAll(sink, sig, sink->nChans);
        EXPECT_TRUE(sink->Finish());
        // The file is complete before the last release, as the destructor alone leaves it.
        const std::vector<uint8_t> bytes = ReadBytes(finished);
        EXPECT_EQ(bytes, ReadBytes(released));
        const int32_t position = sink->sPosition;
        WriteAll(sink, sig, sink->nChans);
        sink->Seek(0);
        EXPECT_EQ(sink->sPosition, position);
        EXPECT_TRUE(sink->Finish());
        sink.Reset();
        EXPECT_EQ(ReadBytes(finished), bytes);
    }
}

// A write past the file-size limit fails as on a full disk; a file that cannot be created
// leaves the sink unusable from the start.
TEST(FileSinks, FailedWritesMarkTheSinkAndFailFinish) {
    TempDir dir;
    const std::vector<int32_t> block = ToInternal(Sine16(kBlockFrames, 2, 440, 8000, 20000));
    for (const SinkCase& c : Sinks()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string("x.") + c.name);
        {
            ScopedFileSizeLimit limit(4096);
            ASSERT_TRUE(limit.ok());
            LSoundSinkRef sink = c.open(path);
            EXPECT_FALSE(sink->IsUnusable());
            for (int i = 0; i < 4; ++i) sink->Write(block.data(), kBlockFrames);
            EXPECT_TRUE(sink->IsUnusable());
            EXPECT_FALSE(sink->Finish());
            EXPECT_FALSE(sink->Finish());
        }
        {
            // The data fit; the header patch or the padded last block does not.
            LSoundSinkRef sink = c.open(path);
            WriteAll(sink, Signal(sink->nChans), sink->nChans);
            ScopedFileSizeLimit limit(8);
            ASSERT_TRUE(limit.ok());
            EXPECT_FALSE(sink->IsUnusable());
            EXPECT_EQ(sink->Finish(), c.headerBytes == 0 && !c.bPadsFrames);
        }
        {
            ScopedFileSizeLimit limit(8);
            LSoundSinkRef sink = c.open(path);
            EXPECT_EQ(sink->IsUnusable(), c.headerBytes > 0);  // the header written at creation
        }
        LSoundSinkRef nowhere = c.open(dir.file("no/such/folder/x"));
        EXPECT_TRUE(nowhere->IsUnusable());
        EXPECT_FALSE(nowhere->Finish());
    }
}

// A copy taken before Finish reads to its end; a cut back by Seek leaves a file of the frames
// before it, and a Seek beyond what was written is ignored. The 8-bit top never wraps.
TEST(FileSinks, HeaderFilesReadWhileOpenAndAfterACutBack) {
    TempDir dir;
    std::vector<int16_t> steps = Sine16(1000, 2, 440, 8000, 20000);
    for (int16_t& s : steps) s = static_cast<int16_t>(s & ~0xFF);  // exact in 8 bits
    std::vector<int32_t> sig = ToInternal(steps);
    sig[1] = 0x7FFF0;
    for (const SinkCase& c : Sinks()) {
        if (!c.read) continue;
        SCOPED_TRACE(c.name);
        std::vector<int32_t> want = sig;
        if (c.sampleBytes == 1) want[1] = 0x7F000;
        const std::string path = dir.file(std::string("o.") + c.name);
        const std::string copy = dir.file(std::string("copy.") + c.name);
        LSoundSinkRef sink = c.open(path);
        WriteAll(sink, sig, 2, 300);
        WriteBytes(copy, ReadBytes(path));
        LSoundSourceRef open = c.read(copy);
        ASSERT_EQ(open->ErrorState, 0);
        EXPECT_EQ(ReadAll(open), want);

        sink->Seek(1200);
        EXPECT_EQ(sink->sPosition, 1000);
        sink->Seek(120);
        EXPECT_TRUE(sink->Finish());
        EXPECT_EQ(ReadBytes(path).size(), c.headerBytes + 120u * 2 * c.sampleBytes);
        LSoundSourceRef cut = c.read(path);
        EXPECT_EQ(cut->GetLength(), 120);
        EXPECT_EQ(ReadAll(cut), std::vector<int32_t>(want.begin(), want.begin() + 240));
    }
}

// sox's files read as sox reads them, in every encoding our readers take (its AU files hold an
// annotation before the data, its AIFF files a comment chunk before COMM); written back by our
// sinks, sox reads the same samples, rate, channels, length and sample size.
TEST(SoxPeer, ReadersAndSinks) {
    if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    using Writer = LSoundSinkRef (*)(const std::string&, int channels);
    const Writer wav8 = [](const std::string& p, int ch) {
        return LWaveFile::OpenSinkPCM(p, 22050, 8, ch);
    };
    const Writer wav16 = [](const std::string& p, int ch) {
        return LWaveFile::OpenSinkPCM(p, 22050, 16, ch);
    };
    const Writer aiff = [](const std::string& p, int ch) {
        return LAifFile::OpenSink(p, 22050, ch);
    };
    const Writer au = [](const std::string& p, int ch) { return LAuFile::OpenSink(p, 22050, ch); };
    struct Case {
        const char* ext;
        const char* encoding;
        Reader read;
        Writer write;
        int bits;
    };
    const Case cases[] = {
        {"wav", "-b 8", LWaveFile::OpenSource, wav8, 8},
        {"wav", "-b 16", LWaveFile::OpenSource, wav16, 16},
        {"aiff", "-b 8", LAifFile::OpenSource, aiff, 16},
        {"aiff", "-b 16", LAifFile::OpenSource, aiff, 16},
        {"au", "-e mu-law -b 8", LAuFile::OpenSource, au, 16},
        {"au", "-e a-law -b 8", LAuFile::OpenSource, au, 16},
        {"au", "-e signed-integer -b 8", LAuFile::OpenSource, au, 16},
        {"au", "-e signed-integer -b 16", LAuFile::OpenSource, au, 16},
    };
    for (int ch : {1, 2}) {
        Save16(dir.file("in.s16"), Sine16(3001, ch, 700, 22050, 32000));
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.ext << " " << c.encoding << ", " << ch);
            const std::string theirs = dir.file(std::string("sox.") + c.ext);
            const std::string ours = dir.file(std::string("ours.") + c.ext);
            ASSERT_EQ(RunShell("sox -D -t raw -e signed-integer -b 16 -L -r 22050 -c " +
                               std::to_string(ch) + " " + Q(dir.file("in.s16")) + " " + c.encoding +
                               " " + Q(theirs)),
                      0);
            const std::vector<int16_t> sox = SoxDecode16(Q(theirs), dir.file("sox.s16"));
            ASSERT_EQ(sox.size(), 3001u * ch);
            LSoundSourceRef src = c.read(theirs);
            ASSERT_EQ(src->ErrorState, 0);
            EXPECT_EQ(src->SampleRate, 22050);
            EXPECT_EQ(src->nChans, ch);
            const std::vector<int32_t> all = ReadAll(src);
            EXPECT_EQ(all, ToInternal(sox));
            {
                LSoundSinkRef sink = c.write(ours, ch);
                WriteAll(sink, all, ch, 1000);
            }
            EXPECT_EQ(SoxDecode16(Q(ours), dir.file("back.s16")), sox);
            std::string info;
            RunShell("for o in -r -c -s -b; do soxi $o " + Q(ours) + " 2>/dev/null; done", &info);
            EXPECT_EQ(info,
                      "22050\n" + std::to_string(ch) + "\n3001\n" + std::to_string(c.bits) + "\n");
        }
    }
}

}  // namespace
}  // namespace sonvex
