#include "formats/dct/DCTFile.h"

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

// A patterned ramp of n samples.
std::vector<int16_t> Ramp(size_t n) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(i * 31 + (i >> 8));
    return v;
}

// A 16-bit mono WAV of n frames, as a recorder embeds it.
std::vector<uint8_t> Audio(size_t n) {
    return Wav16(8000, 1, Ramp(n));
}

class DCT : public ::testing::Test {
protected:
    LSoundSourceRef Open(const DctLayout& layout) {
        WriteBytes(dir.file("in.dct"), Build(layout));
        return LDCTFile::OpenSource(dir.file("in.dct"), &message);
    }
    TempDir dir;
    std::string message;
};

// The embedded WAV is read in place, whatever the header holds before it.
TEST_F(DCT, ReadsTheEmbeddedWavOfEachVersion) {
    for (uint32_t version : {0u, 1u, 2u, 3u}) {
        DctLayout s;
        s.version = version;
        s.audio = Audio(30000);
        s.flat = {1, 2, 3};
        s.flags = 4;
        s.attachments = {{"a.txt", 5}, {"", 0}, {"b.bin", 64}};
        LSoundSourceRef src = Open(s);
        ASSERT_EQ(src->ErrorState, LSRC_OK) << version << message;
        EXPECT_EQ(src->SampleRate, 8000);
        EXPECT_EQ(ReadAll(src), ToInternal(Ramp(30000))) << version;
    }
    // A declared audio size beyond the file: what there is.
    DctLayout s;
    s.audio = Audio(1000);
    s.audioSizeOverride = 500000;
    LSoundSourceRef src = Open(s);
    EXPECT_EQ(ReadAll(src), ToInternal(Ramp(1000)));
}

// Each refusal says which rule failed (encryption from version 2 on).
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
        EXPECT_EQ(Open(layout)->ErrorState, LSRC_CORRUPT) << why;
        EXPECT_NE(message.find(why), std::string::npos) << message;
    }
    // Version 1 knows no encryption.
    cases.back().second.version = 1;
    EXPECT_EQ(Open(cases.back().second)->ErrorState, LSRC_OK) << message;

    // Too short for its version: the preset version fails the first rule.
    WriteBytes(dir.file("in.dct"), {0x01});
    EXPECT_EQ(LDCTFile::OpenSource(dir.file("in.dct"), &message)->ErrorState, LSRC_CORRUPT);
    EXPECT_NE(message.find("load error"), std::string::npos);
    // A missing input, or an embedded file that is no WAV: the readers' own messages apply.
    EXPECT_EQ(LDCTFile::OpenSource(dir.file("none.dct"), &message)->ErrorState, LSRC_CANNOT_OPEN);
    EXPECT_TRUE(message.empty());
    DctLayout noWav;
    noWav.audio = std::vector<uint8_t>(100, 7);
    EXPECT_EQ(Open(noWav)->ErrorState, LSRC_CORRUPT);
    EXPECT_TRUE(message.empty());
}

}  // namespace
}  // namespace sonvex
