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
    bool flatSizeIsFileLength = false;
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
        PutLE32(f, static_cast<uint32_t>(s.flat.size()));
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
    if (s.flatSizeIsFileLength) std::copy(f.begin() + 2, f.begin() + 6, f.begin() + 18);
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
        return job.Run();
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
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "text1:" + dir.file("in.dct")),
              host.calls.end());
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

// Each refusal says which rule failed (encryption from version 2 on) and writes nothing.
TEST_F(DCT, Refusals) {
    std::vector<std::pair<std::string, DctLayout>> cases;
    auto add = [&](const char* why, auto edit) {
        DctLayout s;
        s.audio = Audio(300);
        edit(s);
        cases.emplace_back(why, s);
    };
    add("load error", [](DctLayout& s) { s.version = 4; });
    add("is corrupt", [](DctLayout& s) { s.fileLengthDelta = -1; });
    add("is corrupt", [](DctLayout& s) { s.fileLengthDelta = 1; });
    add("is corrupt", [](DctLayout& s) { s.flatSizeIsFileLength = true; });
    add("(notes error)", [](DctLayout& s) { s.notesLength = 100000; });
    add("(attachment too large)", [](DctLayout& s) {
        s.flags = 4;
        s.attachments = {{"ok", 3}, {"big", 100000}};
    });
    add("(zero channels error)", [](DctLayout& s) { s.nChans = 0; });
    add(kDCTTranscriptionProgram, [](DctLayout& s) {
        s.version = 2;
        s.flags = 2;
    });
    for (const auto& [why, layout] : cases) {
        host.messages.clear();
        EXPECT_EQ(Run(layout), LPROCESS_FAILED) << why;
        ASSERT_EQ(host.messages.size(), 1u) << why;
        EXPECT_NE(host.messages[0].szText.find(why), std::string::npos) << host.messages[0].szText;
        EXPECT_FALSE(FileExists(dir.file("Temp1.wav"))) << why;
    }
    // Version 1 knows no encryption.
    cases.back().second.version = 1;
    EXPECT_EQ(Run(cases.back().second), LPROCESS_OK);
    EXPECT_EQ(ReadBytes(dir.file("Temp1.wav")), cases.back().second.audio);

    // Too short for its version: the preset version fails the first rule.
    std::remove(dir.file("Temp1.wav").c_str());
    WriteBytes(dir.file("in.dct"), {0x01});
    LDCTDecode tiny(dir.file("in.dct"), dir.file("Temp1.wav"));
    EXPECT_EQ(tiny.Run(), LPROCESS_FAILED);
    EXPECT_NE(host.messages.back().szText.find("load error"), std::string::npos);
    // A missing input fails without a message.
    host.messages.clear();
    LDCTDecode missing(dir.file("none.dct"), dir.file("Temp1.wav"));
    EXPECT_EQ(missing.Run(), LPROCESS_FAILED);
    EXPECT_TRUE(host.messages.empty());
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
