#include "formats/raw/RawFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <tuple>

#include "common/ScriptedHost.h"
#include "formats/FormatTestUtil.h"
#include "formats/pcm/RawFileData.h"
#include "formats/pcm/SampleCodecs.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using namespace test;

LRawSettings Pcm16(int chans = 1) {
    return LRawSettings{44100, static_cast<uint8_t>(chans), kCodecPcm16LE};
}

TEST(RawSource, LengthDropsThePartialFrame) {
    TempDir dir;
    std::vector<uint8_t> bytes(1001);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    WriteBytes(dir.file("a.raw"), bytes);
    LSoundSourceRef src = LRawFile::OpenSource(dir.file("a.raw"), Pcm16());
    ASSERT_EQ(src->ErrorState, 0);
    EXPECT_EQ(src->GetLength(), 500);
    std::vector<int32_t> all = ReadAll(src, 300);
    ASSERT_EQ(all.size(), 500u);
    EXPECT_EQ(all[499], static_cast<int16_t>(bytes[998] | (bytes[999] << 8)) * 16);
    // The length follows the file as it grows.
    bytes.push_back(0);
    WriteBytes(dir.file("a.raw"), bytes);
    EXPECT_EQ(src->GetLength(), 501);
}

TEST(RawSource, NegativePositionsAndSeeksGiveSilence) {
    TempDir dir;
    std::vector<uint8_t> bytes;
    std::vector<int32_t> all;
    for (int i = 1; i <= 10000; ++i) {
        PutLE16(bytes, static_cast<uint16_t>(i));
        all.push_back(i * 16);
    }
    WriteBytes(dir.file("a.raw"), bytes);
    LSoundSourceRef src = LRawFile::OpenSource(dir.file("a.raw"), Pcm16());
    ExpectSeeksRead(src, all, {{-100, kBlockFrames}, {-5000, 10}, {9998, 5}, {20000, 64}});
}

TEST(RawFileOpen, RefusalsAndCodecZero) {
    TempDir dir;
    WriteBytes(dir.file("a.raw"), {1, 2, 3, 4});
    EXPECT_EQ(LRawFile::OpenSource(dir.file("a.raw"), LRawSettings{8000, 1, 7})->ErrorState, 1);
    EXPECT_EQ(LRawFile::OpenSource(dir.file("a.raw"), LRawSettings{8000, 1, -1})->ErrorState, 1);
    EXPECT_EQ(LRawFile::OpenSource(dir.file("none.raw"), Pcm16())->ErrorState, 4);
    EXPECT_EQ(LRawFile::OpenSource(dir.file("none.vox"), LRawSettings{8000, 1, 0})->ErrorState, 4);
    EXPECT_EQ(LRawFile::OpenSource(dir.file("a.raw"), LRawSettings{8000, 0, 3})->ErrorState, 3);
    EXPECT_TRUE(LRawFile::OpenSink(dir.file("b.raw"), LRawSettings{8000, 1, 7}).empty());
    EXPECT_FALSE(TestFileOpen(dir.file("a.raw")));

    // "Dialogic ADPCM" with two channels is still mono, both ways.
    LSoundSourceRef vox = LRawFile::OpenSource(dir.file("a.raw"), LRawSettings{6000, 2, 0});
    EXPECT_EQ(vox->nChans, 1);
    EXPECT_EQ(vox->SampleRate, 6000);
    EXPECT_EQ(vox->GetLength(), 8);
    LSoundSinkRef sink = LRawFile::OpenSink(dir.file("b.vox"), LRawSettings{6000, 2, 0});
    ASSERT_TRUE(sink);
    EXPECT_EQ(sink->nChans, 1);

    LSoundSinkRef bad = LRawFile::OpenSink(dir.file("no/such/dir/c.raw"), Pcm16());
    ASSERT_TRUE(bad);
    EXPECT_TRUE(bad->IsUnusable());
    std::vector<int32_t> z(16);
    bad->Write(z.data(), 16);  // fails silently
}

TEST(RawSink, WritesEachCodecAndCutsBack) {
    TempDir dir;
    std::vector<int32_t> in = {0, -1, 16, 0x7FFF0, -524288, 4096};
    struct Case {
        int codec;
        std::vector<uint8_t> want;
    };
    std::vector<Case> cases = {
        {kCodecULaw, {0xFF, 0x7F, 0xFF, 0x80, 0x00, 0xE7}},
        {kCodecALaw, {0xD5, 0x55, 0xD5, 0xAA, 0x2A, 0xC5}},
        {kCodecU8, {0x80, 0x80, 0x80, 0xFF, 0x00, 0x81}},
        {kCodecS8, {0x00, 0x00, 0x00, 0x7F, 0x80, 0x01}},
        {kCodecPcm16LE, {0, 0, 0, 0, 1, 0, 0xFF, 0x7F, 0x00, 0x80, 0, 1}},
        {kCodecPcm16BE, {0, 0, 0, 0, 0, 1, 0x7F, 0xFF, 0x80, 0x00, 1, 0}},
    };
    for (const Case& c : cases) {
        std::string path = dir.file("o" + std::to_string(c.codec) + ".raw");
        {
            LSoundSinkRef sink = LRawFile::OpenSink(path, LRawSettings{8000, 1, c.codec});
            ASSERT_TRUE(sink);
            sink->Write(in.data(), 4);
            sink->Write(in.data() + 4, 2);
            EXPECT_EQ(sink->sPosition, 6);
        }
        EXPECT_EQ(ReadBytes(path), c.want) << "codec " << c.codec;
    }

    std::string path = dir.file("cut.raw");
    {
        LSoundSinkRef sink = LRawFile::OpenSink(path, Pcm16(2));
        std::vector<int32_t> st(200, 160);
        sink->Write(st.data(), 100);
        sink->Seek(150);  // forward: nothing happens
        EXPECT_EQ(sink->sPosition, 100);
        sink->Seek(40);
        EXPECT_EQ(sink->sPosition, 40);
        EXPECT_EQ(ReadBytes(path).size(), 160u);
        std::vector<int32_t> two = {32, 48};
        sink->Write(two.data(), 1);
        sink->Seek(-3);
        EXPECT_EQ(sink->sPosition, 0);
        sink->Write(two.data(), 1);
    }
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{2, 0, 3, 0}));
}

std::tuple<int, int, int> Fields(const LRawSettings& r) {
    return {r.SampleRate, r.nChans, r.iCodec};
}

TEST(RawSettings, DefaultsStoredValuesAndTheChannelRule) {
    ScopedHome home;
    EXPECT_EQ(Fields(ReadRawSettings(kVoxAudioSection)), std::make_tuple(8000, 1, 0));
    EXPECT_EQ(Fields(ReadRawSettings(kRawAudioSection)), std::make_tuple(44100, 1, 3));
    SettingsWriteString(kVoxAudioSection, "Channels", "0");
    SettingsWriteString(kVoxAudioSection, "SampleRate", "");
    SettingsWriteString(kRawAudioSection, "SampleRate", "22050");
    SettingsWriteString(kRawAudioSection, "Channels", "2");
    SettingsWriteString(kRawAudioSection, "Codec", "6");
    EXPECT_EQ(Fields(ReadRawSettings(kVoxAudioSection)), std::make_tuple(8000, 1, 0));
    EXPECT_EQ(Fields(ReadRawSettings(kRawAudioSection)), std::make_tuple(22050, 2, 6));
}

// A rate outside 6000..196000 is refused with a message and stores nothing; the dialog shows
// the record it is given.
TEST(RawSettingsDialog, RateLimitsAndStoring) {
    ScopedHome home;
    ScriptedHost host;
    LRawSettings s = ReadRawSettings(kRawAudioSection);
    LRawSettingsDialog dlg(s, kRawAudioSection);
    std::string rate;
    host.onDialog = [&](LDialog& d) {
        EXPECT_EQ(d.Control(101)->items.size(), 7u);
        d.ComboSetSel(101, 1);
        d.ComboSetSel(103, 1);
        d.SetText(102, rate);
        return IDOK;
    };
    for (const char* bad : {"5999", "196001", "abc", ""}) {
        rate = bad;
        size_t n = host.messages.size();
        EXPECT_EQ(dlg.DoModal(), IDCANCEL) << bad;
        EXPECT_EQ(host.messages.size(), n + 1) << bad;
    }
    EXPECT_EQ(s.iCodec, 1);  // taken before the rate was refused
    EXPECT_EQ(s.SampleRate, 44100);
    EXPECT_EQ(SettingsReadString(kRawAudioSection, "Codec", "none"), "none");
    const size_t n = host.messages.size();
    for (const char* good : {"6000", "196000"}) {
        rate = good;
        EXPECT_EQ(dlg.DoModal(), IDOK) << good;
    }
    EXPECT_EQ(host.messages.size(), n);
    EXPECT_EQ(Fields(ReadRawSettings(kRawAudioSection)), std::make_tuple(196000, 2, 1));

    LRawSettings v{11025, 1, 0};
    LRawSettingsDialog vdlg(v, kVoxAudioSection);
    host.onDialog = [&](LDialog& d) {
        EXPECT_EQ(d.ComboGetSel(101), 0);
        EXPECT_EQ(d.GetText(102), "11025");
        EXPECT_EQ(d.ComboGetSel(103), 0);
        return IDCANCEL;
    };
    EXPECT_EQ(vdlg.DoModal(), IDCANCEL);
    EXPECT_EQ(SettingsReadString(kVoxAudioSection, "SampleRate", "none"), "none");
}

TEST(RawSettingsDialog, UnattendedConsoleKeepsTheStoredValues) {
    ScopedHome home;
    SettingsWriteInt(kVoxAudioSection, "SampleRate", 16000);
    LRawSettings s = ReadRawSettings(kVoxAudioSection);
    LRawSettingsDialog dlg(s, kVoxAudioSection);
    // No scripted host: the console host runs it, and without a terminal it presses OK.
    if (isatty(0)) GTEST_SKIP() << "standard input is a terminal";
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(SettingsReadInt(kVoxAudioSection, "SampleRate", 0), 16000);
    EXPECT_EQ(SettingsReadInt(kVoxAudioSection, "Codec", -1), 0);
    EXPECT_EQ(SettingsReadInt(kVoxAudioSection, "Channels", -1), 1);
}

}  // namespace
}  // namespace sonvex
