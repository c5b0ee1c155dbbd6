#include "engine/Convert.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/ScriptedHost.h"
#include "common/TestUtil.h"
#include "encoders/EncTestUtil.h"
#include "engine/OutputFormats.h"
#include "engine/SourceOpener.h"
#include "formats/FormatTestUtil.h"
#include "formats/pcm/PcmFileSource.h"
#include "formats/wav/WaveFile.h"
#include "platform/tags/Tags.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using namespace test;

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

// Writes a 16-bit WAV of a ramp with the given frame count; its first sample is first.
void MakeWav(const std::string& path, int frames, int rate = 8000, int ch = 1, int first = 0) {
    std::vector<int32_t> v(static_cast<size_t>(frames) * ch);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int32_t>((i * 37) % 20000) * 16;
    if (!v.empty()) v[0] = first * 16;
    LSoundSinkRef s = LWaveFile::OpenSinkPCM(path, rate, 16, ch);
    s->Write(v.data(), frames);
}

struct Batch : ::testing::Test {
    ScopedHome home;
    ScriptedHost host;
    std::string dir = home.home();
    ListStub list;
    LConvertOutcome o;
    std::string format = ".wav";
    int nThreads = 1;  // "ConvertThreads"
    void SetUp() override {
        mkdir((dir + "/out").c_str(), 0700);
        list.folder = dir + "/out";
        SettingsWriteInt("Settings", "ConvertThreads", nThreads);
    }
    // A row for dir/name, a WAV of that many frames (none: no file).
    void Add(const std::string& name, int frames = -1) {
        if (frames >= 0) MakeWav(dir + "/" + name, frames);
        list.rows.push_back({dir + "/" + name});
    }
    int Run() {
        LProgressJob job("Saving Audio File",
                         [&](LProgressDialog& d) { return ProcessConvert(d, list, format, &o); });
        return job.Run();
    }
    std::vector<int> Icons() const {
        std::vector<int> v;
        for (const auto& r : list.rows) v.push_back(r.icon);
        return v;
    }
    void Overwrite() {
        SettingsWriteFlag("Settings", "AlwaysPrompt", false);
        SettingsWriteFlag("Settings", "AlwaysOverwrite", true);
    }
    std::vector<uint8_t> Bytes(const std::string& name) const {
        return ReadBytes(dir + "/" + name);
    }
};

// The batch's rules hold one by one and with rows in flight on several threads.
struct BatchBoth : Batch, ::testing::WithParamInterface<int> {
    void SetUp() override {
        nThreads = GetParam();
        Batch::SetUp();
    }
};
INSTANTIATE_TEST_SUITE_P(Threads, BatchBoth, ::testing::Values(1, 4));

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

TEST_P(BatchBoth, ConvertsEveryRowWhenNoneIsSelectedAndCopiesExactly) {
    Add("a.wav", 20000);  // partial last block
    Add("b.wav", 0);      // empty: finishes after its first block
    Add("c.wav", 16384);  // exactly two blocks
    EXPECT_EQ(Run(), LPROCESS_OK);
    EXPECT_EQ(o.nConverted, 3);
    EXPECT_EQ(Icons(), std::vector<int>(3, ICON_CONVERTED));
    for (const auto& r : list.rows) EXPECT_TRUE(r.sel);
    for (const char* n : {"a.wav", "b.wav", "c.wav"})
        EXPECT_EQ(Bytes(n), Bytes(std::string("out/") + n)) << n;
    EXPECT_EQ(list.pushed, std::vector<std::string>{list.folder});
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.nMaxNested, 1);
}

TEST_P(BatchBoth, PromptPolicyAsksOnceAndNoSkipsEveryExistingOutput) {
    for (const char* n : {"a.wav", "b.wav", "c.wav", "d.wav"}) Add(n, 100);
    for (const char* n : {"a.wav", "c.wav", "d.wav"}) WriteBytes(dir + "/out/" + n, {'k'});
    host.answers = {IDNO};
    EXPECT_EQ(Run(), LPROCESS_OK);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(o.nSkipped, 3);
    EXPECT_EQ(o.nConverted, 1);
    EXPECT_EQ(Bytes("out/c.wav"), std::vector<uint8_t>{'k'});
    EXPECT_EQ(Icons(), (std::vector<int>{ICON_FAILED, ICON_CONVERTED, ICON_FAILED, ICON_FAILED}));
}

TEST_P(BatchBoth, PoliciesWithoutQuestion) {
    Add("a.wav", 100);
    Add("b.wav", 100);
    WriteBytes(dir + "/out/a.wav", {'k'});
    SettingsWriteFlag("Settings", "AlwaysPrompt", false);
    SettingsWriteFlag("Settings", "CancelAll", true);
    EXPECT_EQ(Run(), LPROCESS_OK);
    EXPECT_TRUE(o.bStopped);
    EXPECT_FALSE(FileExists(dir + "/out/b.wav"));
    Overwrite();
    o = {};
    Run();
    EXPECT_EQ(o.nConverted, 2);
    EXPECT_EQ(Bytes("out/a.wav"), Bytes("a.wav"));
    EXPECT_TRUE(host.messages.empty());
}

// An output that is its input, directly or through a link, is refused.
TEST_P(BatchBoth, SelfConversionIsRefusedAndLeavesTheInputIntact) {
    Add("a.wav", 1000);
    Add("b.wav", 1000);
    symlink((dir + "/b.wav").c_str(), (dir + "/out/b.wav").c_str());
    list.rows[1].path = dir + "/out/b.wav";
    list.folder = dir;
    const auto before = Bytes("a.wav");
    Overwrite();
    EXPECT_EQ(Run(), LPROCESS_OK);
    EXPECT_EQ(o.nFailed, 2);
    EXPECT_EQ(Bytes("a.wav"), before);
    EXPECT_EQ(Bytes("b.wav").size(), before.size());
    EXPECT_EQ(host.messages.size(), 2u);
}

TEST_P(BatchBoth, UnopenableSourceStopsTheBatchWithOneMessage) {
    Add("a.wav", 100);
    Add("missing.wav");
    Add("missing2.wav");
    Add("d.wav", 100);
    EXPECT_EQ(Run(), LPROCESS_OK);
    EXPECT_EQ(Icons(), (std::vector<int>{ICON_CONVERTED, ICON_FAILED, -1, -1}));
    EXPECT_FALSE(FileExists(dir + "/out/d.wav"));
    EXPECT_EQ(o.nFailed, 1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].icon, MsgIcon::Error);
}

TEST_F(Batch, CancelDuringThePumpFailsTheRowAndStopsTheBatch) {
    // A step copies one read block: mono 16-bit frames of half its bytes.
    const int block = LSRCPCMFileBase::kReadBytes / 2;
    Add("a.wav", block * 3);
    Add("b.wav", 100);
    host.iCancelAtPump = 3;
    EXPECT_EQ(Run(), LPROCESS_STOPPED);
    EXPECT_TRUE(o.bStopped);
    EXPECT_EQ(Icons(), (std::vector<int>{ICON_FAILED, -1}));
    EXPECT_FALSE(FileExists(dir + "/out/b.wav"));
    // The cut-short output is still a complete file of the blocks written.
    EXPECT_EQ(LWaveFile::OpenSource(dir + "/out/a.wav")->GetLength(), 2 * block);
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(Batch, UnwritableOutputFailsTheRow) {
    Add("a.wav", 100);
    list.folder = dir + "/no/such";
    EXPECT_EQ(Run(), LPROCESS_FAILED);
    EXPECT_EQ(o.nFailed, 1);
}

// Batches on several threads, with the real FLAC tools as encoder and helper decoder.
struct ParallelBatch : Batch {
    void SetUp() override {
        if (!HaveProgram("flac")) GTEST_SKIP() << "flac is not installed";
        Batch::SetUp();
        for (const char* c : {"flacenc", "flacdec"})
            RegisterComponent(c, std::string(SONVEX_BINARY_DIR) + "/components/" + c);
    }
    // What a run did: its result, outcome, icons, questions and the outputs it left.
    struct Run_ {
        int result;
        int nConverted, nSkipped, nFailed;
        bool bStopped;
        std::vector<int> icons;
        size_t nMessages;
        std::map<std::string, std::vector<uint8_t>> outputs;
        bool operator==(const Run_&) const = default;
    };
    Run_ RunWith(int threads) {
        SettingsWriteInt("Settings", "ConvertThreads", threads);
        RunShell("rm -rf '" + list.folder + "' && mkdir '" + list.folder + "'");
        for (auto& r : list.rows) r.icon = -1;
        host.messages.clear();
        host.calls.clear();
        o = {};
        Run_ r{Run(), 0, 0, 0, false, {}, 0, {}};
        r.nConverted = o.nConverted, r.nSkipped = o.nSkipped, r.nFailed = o.nFailed;
        r.bStopped = o.bStopped;
        r.icons = Icons();
        r.nMessages = host.messages.size();
        std::string names;
        RunShell("ls -A '" + list.folder + "'", &names);
        for (size_t at = 0, nl; (nl = names.find('\n', at)) != std::string::npos; at = nl + 1) {
            const std::string n = names.substr(at, nl - at);
            r.outputs[n] = ReadBytes(list.folder + "/" + n);
        }
        return r;
    }
    // True when the progress window ever showed a file twice among the files in flight.
    bool ShownTwiceInFlight() const {
        for (const auto& c : host.calls) {
            if (c.rfind("text1:", 0) != 0) continue;
            std::vector<std::string> names;
            for (size_t at = 6, nl;; at = nl + 1) {
                nl = c.find('\n', at);
                names.push_back(c.substr(at, nl == std::string::npos ? nl : nl - at));
                if (nl == std::string::npos) break;
            }
            std::sort(names.begin(), names.end());
            if (std::adjacent_find(names.begin(), names.end()) != names.end()) return true;
        }
        return false;
    }
};

// 16 files one by one and on several threads: the same bytes, icons, outcome and questions.
// The batch holds tagged WAVs of several rates and layouts, FLACs decoded into temporary WAVs
// by the helper decoder (a shared temporary file would mix their audio), two rows naming the
// same output (the second waits for the first, then the question is asked) and, last, a
// missing file that ends the batch.
TEST_F(ParallelBatch, ThreadsGiveTheSameOutputsIconsAndOutcome) {
    mkdir((dir + "/dup").c_str(), 0700);
    for (int i = 0; i < 16; ++i) {
        const std::string name = i == 5 ? "dup/r4.wav" : "r" + std::to_string(i) + ".wav";
        MakeWav(dir + "/" + name, 1000 + i * 5003, i % 3 ? 44100 : 22050, 1 + i % 2, i);
        LTags tags;
        tags.fields = {{"TITLE", {"Row " + std::to_string(i)}}};
        ASSERT_TRUE(WriteTags(dir + "/" + name, tags));
        if (i >= 12) {
            ASSERT_EQ(RunShell("cd '" + dir + "' && flac -s -f -o r" + std::to_string(i) +
                               ".flac " + name + " && rm " + name),
                      0);
            list.rows.push_back({dir + "/r" + std::to_string(i) + ".flac"});
        } else {
            list.rows.push_back({dir + "/" + name});
        }
    }
    Add("missing.wav");
    for (const char* f : {".wav", ".flac"}) {
        SCOPED_TRACE(f);
        format = f;
        const Run_ one = RunWith(1);
        EXPECT_EQ(one.nConverted, 16);
        EXPECT_EQ(one.nFailed, 1);
        EXPECT_EQ(one.nMessages, 2u);  // the overwrite question, the missing file
        EXPECT_EQ(one.outputs.size(), 15u);
        for (int threads : {0, 5}) {
            EXPECT_EQ(RunWith(threads), one) << threads << " threads";
            EXPECT_FALSE(ShownTwiceInFlight());
            std::string left;
            RunShell("ls -A '" + TempWavFolder() + "'", &left);
            EXPECT_EQ(left, "");
        }
    }
}

// Cancel stops every row in flight: rows put in place before stay intact, the rows stopped
// leave nothing under their names (nor temporary files), the batch counts as stopped. The
// encoder stands in for FLAC: it copies its input, but stops reading an input whose first
// sample is 1111 and waits to be ended.
TEST_F(ParallelBatch, CancelKeepsFinishedRowsAndLeavesNoPartialFile) {
    WriteScript(dir + "/enc",
                "for o; do :; done\n"
                "first=$(dd bs=2 count=1 2>/dev/null | od -An -tu2 | tr -d ' ')\n"
                "[ \"$first\" = 1111 ] && exec sleep 1000\n"
                "{ printf '%s' \"$first\"; cat; } > \"$o\"");
    RegisterComponent("flacenc", dir + "/enc");
    format = ".flac";
    for (int i = 0; i < 6; ++i)
        MakeWav(dir + "/c" + std::to_string(i) + ".wav", 100000, 44100, 1, i < 2 ? 7 : 1111);
    for (int i = 0; i < 6; ++i) list.rows.push_back({dir + "/c" + std::to_string(i) + ".wav"});
    host.cancelWhen = [&] { return list.rows[0].icon == 2 && list.rows[1].icon == 2; };
    SettingsWriteInt("Settings", "ConvertThreads", 6);
    EXPECT_EQ(Run(), LPROCESS_STOPPED);
    EXPECT_TRUE(o.bStopped);
    EXPECT_EQ(o.nConverted, 2);
    EXPECT_EQ(o.nFailed, 0);
    EXPECT_EQ(Icons(), (std::vector<int>{2, 2, 3, 3, 3, 3}));
    EXPECT_EQ(host.messages.size(), 1u);
    std::string left;
    RunShell("ls -A '" + list.folder + "'", &left);
    EXPECT_EQ(left, "c0.flac\nc1.flac\n");
    // The encoder's copy: "7", then the rest of the stereo stream.
    const auto c0 = Bytes("out/c0.flac");
    EXPECT_EQ(c0.size(), 1 + 100000u * 4 - 2);
    EXPECT_EQ(c0[0], '7');
}

TEST(OutputFormats, DispatchByExtensionAndTheStoredRecord) {
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
    // A record no file could carry is ignored.
    ASSERT_TRUE(WriteStoredWaveFormat(WAVEFORMATEX::Pcm16(0, 2)));
    EXPECT_EQ(ReadStoredWaveFormat(22050, 1).nSamplesPerSec, 22050u);
    ASSERT_TRUE(WriteStoredWaveFormat(WAVEFORMATEX::Pcm16(8000, 0)));
    EXPECT_EQ(ReadStoredWaveFormat(22050, 1).nChannels, 1);
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
    EXPECT_EQ(ReadBytes(StoredWaveFormatPath()).size(), 1024u);
    host.onDialog = [](LDialog&) { return IDCANCEL; };
    EXPECT_EQ(LGenSinkCheckSettings(".wav"), 0);
}

// The first failure of a run says why; later ones are silent.
TEST(SourceOpener, ExtensionRuleAndFallbackMessages) {
    ScopedHome home;
    ScriptedHost host;
    const std::string h = home.home();
    EXPECT_EQ(SourceExtension("/a.b/c"), "");
    EXPECT_EQ(SourceExtension(".wav"), "");
    EXPECT_EQ(SourceExtension("/x/y.OGG"), ".OGG");
    WriteBytes(h + "/x.zzz", {1, 2, 3});
    WriteBytes(h + "/bad.WAV", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    for (auto [name, why] :
         {std::pair{"nothing", "\". Check it exists"}, std::pair{"x.zzz", "\" as audio"},
          std::pair{"bad.WAV", "\" because it is corrupt"}}) {
        bool allow = true;
        LUiContext ctx(&allow);
        LSoundSourceRef s;
        host.messages.clear();
        EXPECT_EQ(LGenSourceOpen(s, h + "/" + name, ctx), LPROCESS_FAILED);
        EXPECT_EQ(LGenSourceOpen(s, h + "/x.wav", ctx), LPROCESS_FAILED);
        EXPECT_EQ(s->ErrorState, 4);
        ASSERT_EQ(host.messages.size(), 1u) << name;
        EXPECT_NE(host.messages[0].szText.find(h + "/" + name + why), std::string::npos)
            << host.messages[0].szText;
    }
}

// A ".snd" file with the AU magic is read as AU, without the raw settings prompt; one
// without it stays a headerless raw file.
TEST(SourceOpener, SndFilesWithTheAuMagicAreAu) {
    ScopedHome home;
    ScriptedHost host;
    bool allow = true;
    LUiContext ctx(&allow);
    LSoundSourceRef s;
    std::vector<uint8_t> au = AuHeader(24, 8, 3, 16000, 2);
    au.resize(au.size() + 8, 0);
    WriteBytes(home.home() + "/a.SND", au);
    ASSERT_EQ(LGenSourceOpen(s, home.home() + "/a.SND", ctx), LPROCESS_OK);
    EXPECT_EQ(s->SampleRate, 16000);
    EXPECT_EQ(s->nChans, 2);
    EXPECT_EQ(s->GetLength(), 2);
    EXPECT_TRUE(host.dialogs.empty());

    WriteBytes(home.home() + "/b.snd", std::vector<uint8_t>(8, 0));
    ASSERT_EQ(LGenSourceOpen(s, home.home() + "/b.snd", ctx), LPROCESS_OK);
    EXPECT_EQ(host.dialogs.size(), 1u);
    EXPECT_EQ(s->SampleRate, 44100);
    EXPECT_EQ(s->GetLength(), 4);
}

// Two processes allocating temporary files never get the same number; a held file is skipped,
// an old one no one holds is reused after deletion.
TEST(SourceOpener, TempWavNumbersAreExclusiveBetweenProcesses) {
    ScopedHome home;
    const std::string tmp = TempWavFolder();
    ASSERT_EQ(tmp, home.home() + "/tmp/sonvex-" + std::to_string(getuid()));
    // A file of the user's in the temporary folder itself is never taken for an old one.
    WriteBytes(home.home() + "/tmp/Temp1.wav", {7});
    WriteBytes(tmp + "/Temp1.wav", {1});
    LFile held;
    ASSERT_TRUE(held.Open(tmp + "/Temp1.wav", LFile::Mode::ExclusiveRewrite));
    HeldChild other([] {
        static LLockFile lock;
        std::string p;
        return AllocateTempWav(lock, p) ? p : "fail";
    });
    EXPECT_EQ(other.result(), tmp + "/Temp2.wav");
    LLockFile lock;
    std::string mine;
    ASSERT_TRUE(AllocateTempWav(lock, mine));
    EXPECT_EQ(mine, tmp + "/Temp3.wav");
    other.Release();
    held.Close();
    lock.Release();
    LLockFile again;
    ASSERT_TRUE(AllocateTempWav(again, mine));
    EXPECT_EQ(mine, tmp + "/Temp1.wav");
    EXPECT_FALSE(FileExists(tmp + "/Temp1.wav"));
    EXPECT_EQ(ReadBytes(home.home() + "/tmp/Temp1.wav"), std::vector<uint8_t>{7});
    // Another user's or a linked folder is refused.
    LLockFile refused;
    ASSERT_EQ(chmod(tmp.c_str(), 0755), 0);
    EXPECT_FALSE(AllocateTempWav(refused, mine));
}

}  // namespace
}  // namespace sonvex
