#include "formats/dct/DCTDecode.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/ScriptedHost.h"
#include "formats/FormatTestUtil.h"

namespace sonvex {
namespace {

using namespace test;

struct DctLayout {
    uint32_t version = 3;
    uint32_t flags = 0;
    std::vector<uint8_t> flat;
    uint32_t flatSizeOverride = UINT32_MAX;
    uint32_t notesLength = 0;
    std::vector<std::pair<std::string, uint32_t>> attachments;  // name, declared length
    uint8_t nChans = 1;
    std::vector<uint8_t> audio;
    uint32_t audioSizeOverride = UINT32_MAX;
    int fileLengthDelta = 0;
};

std::vector<uint8_t> Build(const DctLayout& s) {
    std::vector<uint8_t> f;
    PutLE16(f, s.version);
    PutLE32(f, 0);  // file length, patched below
    PutLE32(f, s.flags);
    f.insert(f.end(), 8, 0xEE);
    if (s.version >= 3) {
        PutLE32(f, s.flatSizeOverride != UINT32_MAX ? s.flatSizeOverride
                                                    : static_cast<uint32_t>(s.flat.size()));
        f.insert(f.end(), s.flat.begin(), s.flat.end());
    }
    f.insert(f.end(), 4, 0xEE);
    for (int i = 0; i < 11; ++i) {
        std::string text = "field" + std::to_string(i);
        f.push_back(static_cast<uint8_t>(text.size()));
        f.insert(f.end(), text.begin(), text.end());
    }
    f.push_back(0xEE);
    PutLE32(f, s.notesLength);
    if (s.flags & 4) {
        f.push_back(static_cast<uint8_t>(s.attachments.size()));
        for (const auto& [name, length] : s.attachments) {
            f.push_back(static_cast<uint8_t>(name.size()));
            f.insert(f.end(), name.begin(), name.end());
            PutLE32(f, length);
            f.insert(f.end(), std::min<uint32_t>(length, 64), 0xAA);
        }
    }
    if (s.version >= 1) {
        f.push_back(s.nChans);
        PutLE32(f, s.audioSizeOverride != UINT32_MAX ? s.audioSizeOverride
                                                     : static_cast<uint32_t>(s.audio.size()));
    }
    f.insert(f.end(), s.audio.begin(), s.audio.end());
    uint32_t len = static_cast<uint32_t>(static_cast<int>(f.size()) + s.fileLengthDelta);
    for (int i = 0; i < 4; ++i) f[2 + i] = static_cast<uint8_t>(len >> (8 * i));
    return f;
}

std::vector<uint8_t> Audio(size_t n) {
    std::vector<uint8_t> a(n);
    for (size_t i = 0; i < n; ++i) a[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    return a;
}

class DCT : public ::testing::Test {
protected:
    int Run(const DctLayout& layout) {
        WriteBytes(dir.file("in.dct"), Build(layout));
        LDCTDecode job(dir.file("in.dct"), dir.file("Temp1.wav"));
        EXPECT_EQ(job.Title(), "Loading DCT file");
        return job.Run();
    }
    std::string LastMessage() const {
        return host.messages.empty() ? std::string() : host.messages.back().szText;
    }
    TempDir dir;
    ScriptedHost host;
};

TEST_F(DCT, CopiesTheEmbeddedWavOfEachVersion) {
    for (uint32_t version : {0u, 1u, 2u, 3u}) {
        DctLayout s;
        s.version = version;
        s.audio = Audio(70000);
        s.flat = {1, 2, 3};
        s.flags = 4;
        s.attachments = {{"a.txt", 5}, {"", 0}, {"b.bin", 64}};
        ASSERT_EQ(Run(s), LPROCESS_OK) << version;
        EXPECT_EQ(ReadBytes(dir.file("Temp1.wav")), s.audio) << version;
    }
    EXPECT_TRUE(host.messages.empty());
    ASSERT_GE(host.calls.size(), 3u);
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "text0:Loading DCT File"),
              host.calls.end());
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "text1:" + dir.file("in.dct")),
              host.calls.end());
}

TEST_F(DCT, EncryptionCountsFromVersionTwo) {
    DctLayout s;
    s.version = 1;
    s.flags = 2;
    s.audio = Audio(100);
    EXPECT_EQ(Run(s), LPROCESS_OK);
    EXPECT_EQ(ReadBytes(dir.file("Temp1.wav")), s.audio);

    std::remove(dir.file("Temp1.wav").c_str());
    s.version = 2;
    EXPECT_EQ(Run(s), LPROCESS_FAILED);
    EXPECT_EQ(LastMessage(), std::string("You cannot load encrypted files with this software. "
                                         "Download ") +
                                 kDCTTranscriptionProgram + " from " + DCTTranscriptionPage() +
                                 " to open encrypted files.");
    EXPECT_EQ(host.messages.back().szCaption, "Error");
    EXPECT_EQ(host.messages.back().icon, MsgIcon::Warning);
    EXPECT_FALSE(FileExists(dir.file("Temp1.wav")));
}

TEST_F(DCT, ShortAudioAndWholeBlocks) {
    DctLayout s;
    s.audio = Audio(1000);
    s.audioSizeOverride = 5000;  // more than the file holds: copy what there is
    EXPECT_EQ(Run(s), LPROCESS_OK);
    EXPECT_EQ(ReadBytes(dir.file("Temp1.wav")), s.audio);

    // Two whole blocks end with one empty read: three checks for Cancel.
    DctLayout w;
    w.audio = Audio(2 * LDCTDecode::kCopyBlockBytes);
    WriteBytes(dir.file("Temp1.wav"), std::vector<uint8_t>(200000, 1));  // replaced
    int before = host.nPumps;
    EXPECT_EQ(Run(w), LPROCESS_OK);
    EXPECT_EQ(host.nPumps - before, 3);
    EXPECT_EQ(ReadBytes(dir.file("Temp1.wav")), w.audio);
}

TEST_F(DCT, RefusalsAndTheirMessages) {
    const std::string corrupt = "DCT File is corrupt";
    const std::string notes =
        "Unable to load dct file because of file corruption (notes error). Please ask the "
        "dictator to send it again.";
    const std::string attachment =
        "Unable to load dct file because of file corruption (attachment too large). Please ask "
        "the dictator to send it again.";
    const std::string channels =
        "Unable to load dct file because of file corruption (zero channels error). Please ask "
        "the dictator to send it again.";
    struct Case {
        const char* name;
        DctLayout layout;
        std::string message;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, std::string message, auto edit) {
        DctLayout s;
        s.audio = Audio(300);
        edit(s);
        cases.push_back({name, s, message});
    };
    add("version 4", "DCT File load error", [](DctLayout& s) { s.version = 4; });
    add("one byte longer", corrupt, [](DctLayout& s) { s.fileLengthDelta = -1; });
    add("one byte shorter", corrupt, [](DctLayout& s) { s.fileLengthDelta = 1; });
    add("flat data as long as the file", corrupt, [](DctLayout& s) { s.flatSizeOverride = 0; });
    add("notes", notes, [](DctLayout& s) { s.notesLength = 100000; });
    add("attachment", attachment, [](DctLayout& s) {
        s.flags = 4;
        s.attachments = {{"ok", 3}, {"big", 100000}};
    });
    add("zero channels", channels, [](DctLayout& s) { s.nChans = 0; });
    for (Case& c : cases) {
        if (std::string(c.name) == "flat data as long as the file") {
            // uFlatDataSize equal to FileLength: patch it after the length is known.
            std::vector<uint8_t> f = Build(c.layout);
            for (int i = 0; i < 4; ++i) f[18 + i] = f[2 + i];
            WriteBytes(dir.file("in.dct"), f);
            LDCTDecode job(dir.file("in.dct"), dir.file("Temp1.wav"));
            EXPECT_EQ(job.Run(), LPROCESS_FAILED) << c.name;
        } else {
            EXPECT_EQ(Run(c.layout), LPROCESS_FAILED) << c.name;
        }
        EXPECT_EQ(LastMessage(), c.message) << c.name;
        EXPECT_FALSE(FileExists(dir.file("Temp1.wav"))) << c.name;
    }
    EXPECT_EQ(host.messages.size(), cases.size());

    // Too short for its version: the preset version fails the first rule.
    WriteBytes(dir.file("in.dct"), {0x01});
    LDCTDecode tiny(dir.file("in.dct"), dir.file("Temp1.wav"));
    EXPECT_EQ(tiny.Run(), LPROCESS_FAILED);
    EXPECT_EQ(LastMessage(), "DCT File load error");

    // A missing input fails without a message.
    size_t n = host.messages.size();
    LDCTDecode missing(dir.file("none.dct"), dir.file("Temp1.wav"));
    EXPECT_EQ(missing.Run(), LPROCESS_FAILED);
    EXPECT_EQ(host.messages.size(), n);
}

TEST_F(DCT, CancelStopsTheCopy) {
    DctLayout s;
    s.audio = Audio(5 * LDCTDecode::kCopyBlockBytes + 10);
    host.iCancelAtPump = 3;
    EXPECT_EQ(Run(s), LPROCESS_STOPPED);
    EXPECT_EQ(ReadBytes(dir.file("Temp1.wav")).size(), 2u * LDCTDecode::kCopyBlockBytes);
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace sonvex
