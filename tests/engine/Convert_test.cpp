#include "engine/Convert.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/ScriptedHost.h"
#include "common/TestUtil.h"
#include "engine/OutputFormats.h"
#include "engine/SourceOpener.h"
#include "formats/FormatTestUtil.h"
#include "formats/wav/PcmFileSource.h"
#include "formats/wav/WaveFile.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using test::ReadBytes;
using test::ScopedHome;
using test::ScriptedHost;

class ListStub : public LConvertList {
public:
    struct Row {
        std::string path;
        bool sel = false;
        int icon = -1;
    };
    std::vector<Row> rows;
    std::string folder;
    std::vector<std::string> pushed;
    int RowCount() const override { return static_cast<int>(rows.size()); }
    bool IsSelected(int r) const override { return rows[static_cast<size_t>(r)].sel; }
    std::string RowPath(int r) const override { return rows[static_cast<size_t>(r)].path; }
    void SetRowIcon(int r, int icon) override { rows[static_cast<size_t>(r)].icon = icon; }
    void SelectAll() override {
        for (auto& r : rows) r.sel = true;
    }
    std::string OutputFolder() const override { return folder; }
    void PushOutputFolderHistory(const std::string& f) override { pushed.push_back(f); }
};

// Writes a 16-bit WAV of a ramp with the given frame count.
void MakeWav(const std::string& path, int frames, int rate = 8000, int ch = 1) {
    std::vector<int32_t> v(static_cast<size_t>(frames) * ch);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int32_t>((i * 37) % 20000) * 16;
    LSoundSinkRef s = LWaveFile::OpenSinkPCM(path, rate, 16, ch);
    s->Write(v.data(), frames);
}

struct Fixture : ::testing::Test {
    ScopedHome home;
    ScriptedHost host;
    std::string dir = home.home();
    ListStub list;
    void SetUp() override {
        mkdir((dir + "/out").c_str(), 0700);
        list.folder = dir + "/out";
    }
    void Add(const std::string& name, int frames) {
        MakeWav(dir + "/" + name, frames);
        list.rows.push_back({dir + "/" + name});
    }
    int Run(LConvertOutcome* o = nullptr) {
        LProgressJob job("Saving Audio File",
                         [&](LProgressDialog& d) { return ProcessConvert(d, list, ".wav", o); });
        return job.Run();
    }
};

TEST(OutputPath, NameRules) {
    std::string out;
    ASSERT_TRUE(BuildOutputPath(out, "/o", "/in/noext", ".wav"));
    EXPECT_EQ(out, "/o/noext.wav");
    ASSERT_TRUE(BuildOutputPath(out, "/o/", "/in/.hidden", ".mp3"));
    EXPECT_EQ(out, "/o/.hidden.mp3");
    ASSERT_TRUE(BuildOutputPath(out, "", "/in/a.b.c", ".au"));
    EXPECT_EQ(out, "a.b.au");
    ASSERT_TRUE(BuildOutputPath(out, "/o", "C:\\in\\x.WAV", ".wav"));
    EXPECT_EQ(out, "/o/x.wav");
    EXPECT_FALSE(BuildOutputPath(out, "/" + std::string(kMaxPath, 'o'), "/in/a.wav", ".wav"));
}

TEST_F(Fixture, ConvertsEveryRowWhenNoneIsSelectedAndCopiesExactly) {
    Add("a.wav", 20000);  // partial last block
    Add("b.wav", 0);      // empty: finishes after its first block
    Add("c.wav", 16384);  // exactly two blocks
    LConvertOutcome o;
    EXPECT_EQ(Run(&o), LPROCESS_OK);
    EXPECT_EQ(o.nConverted, 3);
    for (const auto& r : list.rows) {
        EXPECT_TRUE(r.sel);
        EXPECT_EQ(r.icon, ICON_CONVERTED);
    }
    for (const char* n : {"a.wav", "b.wav", "c.wav"})
        EXPECT_EQ(ReadBytes(dir + "/" + n), ReadBytes(dir + "/out/" + n)) << n;
    ASSERT_EQ(list.pushed.size(), 1u);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.nMaxNested, 1);
}

TEST_F(Fixture, PromptPolicyAsksOnceAndNoSkipsEveryExistingOutput) {
    for (const char* n : {"a.wav", "b.wav", "c.wav", "d.wav"}) Add(n, 100);
    for (const char* n : {"a.wav", "c.wav", "d.wav"}) test::WriteBytes(dir + "/out/" + n, {'k'});
    host.answers = {IDNO};
    LConvertOutcome o;
    EXPECT_EQ(Run(&o), LPROCESS_OK);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].szCaption, "Sonvex");
    EXPECT_EQ(
        host.messages[0].szText,
        "The output file \"" + dir + "/out/a.wav\" already exists. Do you want to overwrite it?");
    EXPECT_EQ(o.nSkipped, 3);
    EXPECT_EQ(o.nConverted, 1);
    EXPECT_EQ(ReadBytes(dir + "/out/c.wav"), std::vector<uint8_t>{'k'});
    EXPECT_EQ(list.rows[1].icon, ICON_CONVERTED);
    EXPECT_EQ(list.rows[3].icon, ICON_FAILED);
}

TEST_F(Fixture, PoliciesWithoutQuestion) {
    Add("a.wav", 100);
    Add("b.wav", 100);
    test::WriteBytes(dir + "/out/a.wav", {'k'});
    SettingsWriteFlag("Settings", "AlwaysPrompt", false);
    SettingsWriteFlag("Settings", "CancelAll", true);
    LConvertOutcome o;
    EXPECT_EQ(Run(&o), LPROCESS_OK);
    EXPECT_TRUE(o.bStopped);
    EXPECT_FALSE(test::FileExists(dir + "/out/b.wav"));
    SettingsWriteFlag("Settings", "AlwaysOverwrite", true);
    LConvertOutcome o2;
    Run(&o2);
    EXPECT_EQ(o2.nConverted, 2);
    EXPECT_EQ(ReadBytes(dir + "/out/a.wav"), ReadBytes(dir + "/a.wav"));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Fixture, SelfConversionIsRefusedAndLeavesTheInputIntact) {
    Add("a.wav", 1000);
    Add("b.wav", 1000);
    list.folder = dir;  // a.wav -> a.wav in its own folder
    symlink((dir + "/b.wav").c_str(), (dir + "/out/b.wav").c_str());
    list.rows[1].path = dir + "/out/b.wav";  // reached through a link
    list.folder = dir;
    const auto before = ReadBytes(dir + "/a.wav");
    SettingsWriteFlag("Settings", "AlwaysPrompt", false);
    SettingsWriteFlag("Settings", "AlwaysOverwrite", true);
    LConvertOutcome o;
    EXPECT_EQ(Run(&o), LPROCESS_OK);
    EXPECT_EQ(o.nFailed, 2);
    EXPECT_EQ(ReadBytes(dir + "/a.wav"), before);
    EXPECT_EQ(ReadBytes(dir + "/b.wav").size(), before.size());
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_NE(host.messages[0].szText.find("is the input file itself"), std::string::npos);
}

TEST_F(Fixture, UnopenableSourceStopsTheBatchWithOneMessage) {
    Add("a.wav", 100);
    list.rows.push_back({dir + "/missing.wav"});
    list.rows.push_back({dir + "/missing2.wav"});
    Add("d.wav", 100);
    LConvertOutcome o;
    EXPECT_EQ(Run(&o), LPROCESS_OK);
    EXPECT_EQ(list.rows[0].icon, ICON_CONVERTED);
    EXPECT_EQ(list.rows[1].icon, ICON_FAILED);
    EXPECT_EQ(list.rows[3].icon, -1);  // never reached
    EXPECT_FALSE(test::FileExists(dir + "/out/d.wav"));
    EXPECT_EQ(o.nFailed, 1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].szText,
              "Cannot open the file \"" + dir +
                  "/missing.wav\". Check it exists and you have read access.");
    EXPECT_EQ(host.messages[0].icon, MsgIcon::Error);
}

TEST_F(Fixture, CancelDuringThePumpFailsTheRowAndStopsTheBatch) {
    // A step copies one read block: mono 16-bit frames of half its bytes.
    const int block = LSRCPCMFileBase::kReadBytes / 2;
    Add("a.wav", block * 3);
    Add("b.wav", 100);
    host.iCancelAtPump = 3;
    LConvertOutcome o;
    EXPECT_EQ(Run(&o), LPROCESS_STOPPED);
    EXPECT_TRUE(o.bStopped);
    EXPECT_EQ(list.rows[0].icon, ICON_FAILED);
    EXPECT_FALSE(test::FileExists(dir + "/out/b.wav"));
    // The cut-short output is still a complete file of the blocks written.
    EXPECT_EQ(LWaveFile::OpenSource(dir + "/out/a.wav")->GetLength(), 2 * block);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].szText.rfind(
                  "Conversion of the file \"" + dir + "/a.wav\" has failed.", 0),
              0u);
}

TEST_F(Fixture, UnwritableOutputFailsTheRow) {
    Add("a.wav", 100);
    list.folder = dir + "/no/such";
    LConvertOutcome o;
    EXPECT_EQ(Run(&o), LPROCESS_FAILED);
    EXPECT_EQ(o.nFailed, 1);
}

TEST_F(Fixture, StoredPcmRecordSetsRateAndChannels) {
    MakeWav(dir + "/s.wav", 44100, 44100, 2);
    list.rows.push_back({dir + "/s.wav"});
    ASSERT_TRUE(WriteStoredWaveFormat(WAVEFORMATEX::Pcm16(8000, 1)));
    EXPECT_EQ(ReadBytes(StoredWaveFormatPath()).size(), 1024u);
    EXPECT_EQ(Run(), LPROCESS_OK);
    LSoundSourceRef out = LWaveFile::OpenSource(dir + "/out/s.wav");
    EXPECT_EQ(out->SampleRate, 8000);
    EXPECT_EQ(out->nChans, 1);
    EXPECT_NEAR(out->GetLength(), 8000, 30);
}

TEST(OutputFormats, DispatchByExtension) {
    ScopedHome home;
    EXPECT_TRUE(LGenSinkIsSupported(".WAV"));
    EXPECT_FALSE(LGenSinkIsSupported(".xyz"));
    EXPECT_EQ(LGenSinkCheckSettings(".xyz"), 0);
    EXPECT_FALSE(LGenSinkOpenSink(home.home() + "/out.dir/song", 8000, 1));
    // Without a stored record the source's own rate and channels are written.
    LSoundSinkRef s = LGenSinkOpenSink(home.home() + "/x.Wav", 22050, 1);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->SampleRate, 22050);
    EXPECT_EQ(s->nChans, 1);
    // The chooser's OK stores the record; the next sink follows it.
    ScriptedHost host;
    host.onDialog = [](LDialog& d) {
        d.ComboSetSel(202, 0);  // mono
        d.ComboSetSel(201, 0);  // 8000 Hz
        return IDOK;
    };
    EXPECT_EQ(LGenSinkCheckSettings(".wav", 44100, 2), 1);
    WAVEFORMATEX w = ReadStoredWaveFormat(44100, 2);
    EXPECT_EQ(w.nSamplesPerSec, 8000u);
    EXPECT_EQ(w.nChannels, 1);
    EXPECT_EQ(w.nBlockAlign, 2);
    host.onDialog = [](LDialog&) { return IDCANCEL; };
    EXPECT_EQ(LGenSinkCheckSettings(".wav"), 0);
}

TEST(SourceOpener, ExtensionRuleAndFallbackMessages) {
    ScopedHome home;
    ScriptedHost host;
    EXPECT_EQ(SourceExtension("/a.b/c"), "");
    EXPECT_EQ(SourceExtension(".wav"), "");
    EXPECT_EQ(SourceExtension("/x/y.OGG"), ".OGG");
    bool allow = true;
    LUiContext ctx(&allow);
    LSoundSourceRef s;
    const std::string missing = home.home() + "/nothing";
    EXPECT_EQ(LGenSourceOpen(s, missing, ctx), LPROCESS_FAILED);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].szText, "Cannot open the file \"" + missing +
                                           "\". Check it exists and you have read access.");
    // Prompts are used up: later failures are silent.
    EXPECT_EQ(LGenSourceOpen(s, home.home() + "/x.wav", ctx), LPROCESS_FAILED);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(s->ErrorState, 4);
    // An existing file of an unknown kind gets the "as audio" text.
    bool allow2 = true;
    LUiContext ctx2(&allow2);
    test::WriteBytes(home.home() + "/x.zzz", {1, 2, 3});
    EXPECT_EQ(LGenSourceOpen(s, home.home() + "/x.zzz", ctx2), LPROCESS_FAILED);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].szText.rfind(
                  "Cannot open the file \"" + home.home() + "/x.zzz\" as audio.", 0),
              0u);
    // A corrupt WAV gets the corrupt text.
    bool allow3 = true;
    LUiContext ctx3(&allow3);
    test::WriteBytes(home.home() + "/bad.WAV",
                     {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    EXPECT_EQ(LGenSourceOpen(s, home.home() + "/bad.WAV", ctx3), LPROCESS_FAILED);
    EXPECT_EQ(host.messages.back().szText,
              "Cannot open the file \"" + home.home() + "/bad.WAV\" because it is corrupt.");
}

// A ".snd" file with the AU magic is read as AU, without the raw settings prompt; one
// without it stays a headerless raw file.
TEST(SourceOpener, SndFilesWithTheAuMagicAreAu) {
    ScopedHome home;
    ScriptedHost host;
    bool allow = true;
    LUiContext ctx(&allow);
    LSoundSourceRef s;
    std::vector<uint8_t> au = test::AuHeader(24, 8, 3, 16000, 2);
    au.resize(au.size() + 8, 0);
    test::WriteBytes(home.home() + "/a.SND", au);
    ASSERT_EQ(LGenSourceOpen(s, home.home() + "/a.SND", ctx), LPROCESS_OK);
    EXPECT_EQ(s->SampleRate, 16000);
    EXPECT_EQ(s->nChans, 2);
    EXPECT_EQ(s->GetLength(), 2);
    EXPECT_TRUE(host.dialogs.empty());

    test::WriteBytes(home.home() + "/b.snd", std::vector<uint8_t>(8, 0));
    ASSERT_EQ(LGenSourceOpen(s, home.home() + "/b.snd", ctx), LPROCESS_OK);
    EXPECT_EQ(host.dialogs.size(), 1u);
    EXPECT_EQ(s->SampleRate, 44100);
    EXPECT_EQ(s->GetLength(), 4);
}

// Two processes allocating temporary files never get the same number.
TEST(SourceOpener, TempWavNumbersAreExclusiveBetweenProcesses) {
    ScopedHome home;
    const std::string tmp = home.home() + "/tmp";
    // Temp1.wav exists and is held open by someone: skipped.
    test::WriteBytes(tmp + "/Temp1.wav", {1});
    LFile held;
    ASSERT_TRUE(held.Open(tmp + "/Temp1.wav", LFile::Mode::ExclusiveRewrite));
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t pid = fork();
    if (pid == 0) {
        LLockFile lock;
        std::string p;
        bool ok = AllocateTempWav(lock, p);
        std::string msg = ok ? p : "fail";
        (void)!write(ready[1], msg.data(), msg.size());
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char buf[512] = {};
    ssize_t n = read(ready[0], buf, sizeof buf - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf), tmp + "/Temp2.wav");
    LLockFile lock;
    std::string mine;
    ASSERT_TRUE(AllocateTempWav(lock, mine));
    EXPECT_EQ(mine, tmp + "/Temp3.wav");
    (void)!write(release[1], "x", 1);
    int st;
    waitpid(pid, &st, 0);
    // An old file that no one holds is reused after deletion.
    held.Close();
    lock.Release();
    LLockFile again;
    ASSERT_TRUE(AllocateTempWav(again, mine));
    EXPECT_EQ(mine, tmp + "/Temp1.wav");
    EXPECT_FALSE(test::FileExists(tmp + "/Temp1.wav"));
}

}  // namespace
}  // namespace sonvex

namespace sonvex {
namespace {

TEST(OutputFormats, StoredRecordThatNoFileCouldCarryIsIgnored) {
    ScopedHome home;
    WAVEFORMATEX bad = WAVEFORMATEX::Pcm16(0, 2);
    ASSERT_TRUE(WriteStoredWaveFormat(bad));
    EXPECT_EQ(ReadStoredWaveFormat(22050, 1).nSamplesPerSec, 22050u);
    bad = WAVEFORMATEX::Pcm16(8000, 0);
    ASSERT_TRUE(WriteStoredWaveFormat(bad));
    EXPECT_EQ(ReadStoredWaveFormat(22050, 1).nChannels, 1);
    ASSERT_TRUE(WriteStoredWaveFormat(WAVEFORMATEX::Pcm16(8000, 2)));
    EXPECT_EQ(ReadStoredWaveFormat(22050, 1).nSamplesPerSec, 8000u);
}

}  // namespace
}  // namespace sonvex
