// Every file sink completes its file in Finish(), once, and reports the writes that failed.
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

struct SinkCase {
    const char* name;
    std::function<LSoundSinkRef(const std::string&)> open;
    bool bHeader;      // written at creation, patched by Finish
    bool bPadsFrames;  // Finish writes the last, padded block
};

std::vector<SinkCase> Sinks() {
    return {
        {"wav8", [](const std::string& p) { return LWaveFile::OpenSinkPCM(p, 8000, 8, 2); }, true,
         false},
        {"wav16", [](const std::string& p) { return LWaveFile::OpenSinkPCM(p, 8000, 16, 2); }, true,
         false},
        {"aiff", [](const std::string& p) { return LAifFile::OpenSink(p, 8000, 2); }, true, false},
        {"au", [](const std::string& p) { return LAuFile::OpenSink(p, 8000, 2); }, true, false},
        {"raw",
         [](const std::string& p) {
             return LRawFile::OpenSink(p, LRawSettings{8000, 2, kCodecULaw});
         },
         false, false},
        {"vox",
         [](const std::string& p) {
             return LRawFile::OpenSink(p, LRawSettings{8000, 1, kCodecVox});
         },
         false, false},
        {"gsm", [](const std::string& p) { return LSoundSinkRef(new LGSMFileSink(p)); }, false,
         true},
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

// A write past the file-size limit fails as on a full disk.
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
            EXPECT_EQ(sink->Finish(), !c.bHeader && !c.bPadsFrames);
        }
        {
            ScopedFileSizeLimit limit(8);
            LSoundSinkRef sink = c.open(path);
            EXPECT_EQ(sink->IsUnusable(), c.bHeader);  // the header written at creation
        }
    }
}

}  // namespace
}  // namespace sonvex
