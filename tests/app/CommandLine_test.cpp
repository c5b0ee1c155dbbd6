// The program run as a script runs it: verbs, messages on standard error, exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <string>

#include "app/CliFixture.h"
#include "app/MainDialog.h"
#include "audio/AudioTestSources.h"
#include "common/ScriptedHost.h"
#include "common/TestUtil.h"
#include "engine/OutputFormats.h"
#include "formats/FormatTestUtil.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using test::Cli;
using test::ReadBytes;
using test::RunShell;
using test::ScopedHome;

TEST_F(Cli, ConvertsWavBatchBitExactAndEightBitBecomesSixteen) {
    Sox("-n -r 44100 -c 2 -b 16 a.wav synth 1.3 sine 440 sine 550 gain -3");
    Sox("-n -r 8000 -c 1 -b 8 b.wav synth 0.7 sine 300 gain -2");
    EXPECT_EQ(Sonvex("a.wav b.wav -format .wav -outfolder OUT -convert -exit"), 0) << err;
    // a.wav is our own header layout over the same samples.
    std::string a, b, a2, b2;
    RunShell("sox '" + dir + "/a.wav' -t raw -", &a);
    RunShell("sox '" + dir + "/OUT/a.wav' -t raw -", &a2);
    EXPECT_EQ(a, a2);
    auto ab = ReadBytes(dir + "/OUT/a.wav");
    ASSERT_GT(ab.size(), 46u);
    EXPECT_EQ(ab.size(), 46u + a.size());
    // 8-bit input becomes 16-bit: each byte b as (b - 128) * 256.
    RunShell("sox '" + dir + "/b.wav' -t raw -e unsigned -b 8 -", &b);
    auto bb = ReadBytes(dir + "/OUT/b.wav");
    ASSERT_EQ(bb.size(), 46u + 2 * b.size());
    EXPECT_EQ(bb[34], 16);
    for (size_t i = 0; i < b.size(); ++i) {
        int16_t v = static_cast<int16_t>(bb[46 + 2 * i] | (bb[47 + 2 * i] << 8));
        ASSERT_EQ(v, (static_cast<uint8_t>(b[i]) - 128) * 256) << i;
    }
    // The folder was created and remembered; the format stored.
    EXPECT_EQ(UserSettingsReadString("OutputFolder", "Item 1", ""), "OUT");
    EXPECT_EQ(SettingsReadInt("Settings", "OutputFormat", -1), 0);
}

// A missing or undecodable input fails its row with status 2 and leaves no output; the rows
// beside it convert.
TEST_F(Cli, UnreadableInputsFailTheirRows) {
    Sox("-n -r 8000 -c 1 -b 16 a.wav synth 0.1 sine 300");
    std::string text;
    for (int i = 0; i < 100; ++i) text += "Not audio at all.\n";
    test::WriteBytes(dir + "/bad.mp3", std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(Sonvex("a.wav nope.wav bad.mp3 -format .wav -outfolder OUT -convert -exit"), 2);
    EXPECT_NE(
        err.find("Cannot open the file \"nope.wav\". Check it exists and you have read access."),
        std::string::npos)
        << err;
    EXPECT_NE(err.find("Cannot open the file \"bad.mp3\"."), std::string::npos) << err;
    EXPECT_TRUE(test::FileExists(dir + "/OUT/a.wav"));
    EXPECT_FALSE(test::FileExists(dir + "/OUT/bad.wav"));
}

// With nobody to answer: an unknown format lists the known ones, a folder two levels deep is
// not made, an existing output is kept (the answer that loses nothing, printed with the
// question), and an output that is the input itself is refused.
TEST_F(Cli, AnswersWithoutATerminalLoseNothing) {
    Sox("-n -r 8000 -c 1 -b 16 a.wav synth 0.2 sine 300");
    for (const char* bad : {"mp3", ".wma", ""}) {
        EXPECT_EQ(Sonvex(std::string("a.wav -format ") + bad + " -outfolder out -convert -exit"),
                  2);
        EXPECT_NE(err.find(".wav .mp3 .au .aiff .gsm .vox .raw .ogg .flac .aac .m4a"),
                  std::string::npos)
            << err;
        EXPECT_FALSE(test::FileExists(dir + "/out"));
    }
    EXPECT_EQ(Sonvex("a.wav -outfolder deep/er -convert"), 2);
    EXPECT_NE(err.find("Unable to create folder."), std::string::npos) << err;

    RunShell("mkdir -p '" + dir + "/OUT' && echo keep > '" + dir + "/OUT/a.wav'");
    EXPECT_EQ(Sonvex("a.wav -outfolder OUT -format .wav -convert"), 0) << err;
    EXPECT_EQ(ReadBytes(dir + "/OUT/a.wav").size(), 5u);
    EXPECT_NE(err.find("already exists. Do you want to overwrite it? No (no terminal to ask)"),
              std::string::npos)
        << err;
    const auto before = ReadBytes(dir + "/a.wav");
    EXPECT_EQ(Sonvex("-clear a.wav -outfolder . -format .WAV -convert -exit"), 2);
    EXPECT_EQ(ReadBytes(dir + "/a.wav"), before);
    EXPECT_NE(err.find("is the input file itself"), std::string::npos) << err;
}

TEST(MainDialogLogic, VerbsListAndHistory) {
    ScopedHome home;
    test::ScriptedHost host;
    const std::string d = home.home();
    test::WriteBytes(d + "/a.wav", std::vector<uint8_t>(3000, 1));
    test::WriteBytes(d + "/empty.wav", {});
    MainDialog dlg;
    dlg.InitDialog({"sonvex", d + "/a.wav", d + "/A.WAV", d + "/empty.wav", d + "/none.wav",
                    "-format", ".MP3", "-outfolder", d + "/o", "-hide"});
    ASSERT_EQ(dlg.Rows().size(), 1u);  // duplicate (any case), empty and missing skipped
    EXPECT_EQ(dlg.Rows()[0].szSize, "2kB");
    EXPECT_TRUE(host.messages.empty());  // the window skips silently
    EXPECT_EQ(dlg.FormatText(), ".mp3");
    EXPECT_TRUE(dlg.IsCodecSettingsEnabled());
    EXPECT_EQ(dlg.OutputFolderText(), d + "/o");
    EXPECT_TRUE(dlg.IsHidden());
    // "-format" as the last argument ends the processing.
    dlg.EvRunArguments({"x", "-show", "-format"});
    EXPECT_FALSE(dlg.IsHidden());
    dlg.EvRunArguments({"x", "-format", ".gsm", "-exit"});
    EXPECT_EQ(dlg.FormatIndex(), 4);
    EXPECT_FALSE(dlg.IsCodecSettingsEnabled());
    EXPECT_TRUE(dlg.IsClosed());
    EXPECT_FALSE(dlg.IsCommandEnabled(MainDialog::CM_CONVERT));
    dlg.CmSelectAll();
    EXPECT_TRUE(dlg.IsCommandEnabled(MainDialog::CM_REMOVE));
    host.answers = {IDNO};
    dlg.CmRemoveFiles(true);
    EXPECT_EQ(dlg.Rows().size(), 1u);
    dlg.EvRunArguments({"x", "-clear"});
    EXPECT_TRUE(dlg.Rows().empty());

    // Output-folder history: most recent first, no duplicates, nine at most.
    for (int i = 1; i <= 11; ++i) dlg.PushOutputFolderHistory("/f" + std::to_string(i));
    dlg.PushOutputFolderHistory("/f10");
    const auto& h = dlg.FolderHistory();
    ASSERT_EQ(h.size(), 9u);
    EXPECT_EQ(h[0], "/f10");
    EXPECT_EQ(h[1], "/f11");
    EXPECT_EQ(h[2], "/f9");
    EXPECT_EQ(h[8], "/f3");
    EXPECT_EQ(dlg.OutputFolderText(), "/f10");
}

// Eight runs pushing a folder each at the same moment keep all eight in the history.
TEST(MainDialogLogic, ParallelRunsKeepEveryHistoryFolder) {
    ScopedHome home;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<std::string> want;
    std::vector<pid_t> runs;
    for (int i = 1; i <= 8; ++i) {
        want.push_back("/f" + std::to_string(i));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(gate[1]);
            char c;
            while (read(gate[0], &c, 1) < 0 && errno == EINTR) {
            }
            MainDialog dlg;
            dlg.PushOutputFolderHistory(want.back());
            _exit(0);
        }
        runs.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);  // all start now
    for (pid_t pid : runs) {
        int st = 0;
        waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    MainDialog dlg;
    dlg.RefillFolderBox();
    std::vector<std::string> history = dlg.FolderHistory();
    std::sort(history.begin(), history.end());
    EXPECT_EQ(history, want);
}

TEST(MainDialogLogic, DroppedFoldersAndDefaultFolder) {
    ScopedHome home;
    test::ScriptedHost host;
    const std::string d = home.home();
    RunShell("mkdir -p '" + d + "/drop/sub' '" + d + "/Documents'");
    test::WriteBytes(d + "/drop/a.wav", {1});
    test::WriteBytes(d + "/drop/notes.txt", {1});
    test::WriteBytes(d + "/drop/noext", {1});
    test::WriteBytes(d + "/drop/sub/b.mp3", {});
    MainDialog dlg;
    dlg.InitDialog({"sonvex"});
    EXPECT_EQ(dlg.OutputFolderText(), d + "/Documents");
    EXPECT_EQ(dlg.AddDroppedPath(d + "/drop"), LPROCESS_OK);
    EXPECT_EQ(dlg.AddDroppedPath(d + "/drop/a.wav"), LPROCESS_OK);
    std::vector<std::string> names;
    for (auto& r : dlg.Rows()) names.push_back(r.szPath.substr(d.size()) + " " + r.szSize);
    std::sort(names.begin(), names.end());
    std::vector<std::string> want = {"/drop/a.wav 0kB", "/drop/a.wav 0kB", "/drop/sub/b.mp3 0kB"};
    EXPECT_EQ(names, want);

    // Links back to a folder above are not followed (they would never end).
    RunShell("ln -s .. '" + d + "/drop/sub/up' && ln -s . '" + d + "/drop/self'");
    MainDialog again;
    EXPECT_EQ(again.AddDroppedPath(d + "/drop"), LPROCESS_OK);
    EXPECT_EQ(again.Rows().size(), 2u);
}

TEST(MainDialogLogic, NamesDifferingInCaseAreTwoFilesAndFifosAreSkipped) {
    ScopedHome home;
    test::ScriptedHost host;
    const std::string d = home.home();
    test::WriteBytes(d + "/A.wav", {1, 2});
    test::WriteBytes(d + "/a.wav", {1, 2});
    RunShell("mkfifo '" + d + "/pipe.wav' && ln -s a.wav '" + d + "/link.wav'");
    MainDialog dlg(true);
    dlg.InitDialog({"sonvex", d + "/A.wav", d + "/a.wav", d + "/link.wav", d + "/pipe.wav"});
    EXPECT_EQ(dlg.Rows().size(), 2u);  // the link names a.wav again; the FIFO is not a file
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].szText.find("pipe.wav"), std::string::npos);
    EXPECT_EQ(dlg.ExitStatus(), 2);
}

double StatValue(const std::string& stat, const std::string& key) {
    size_t p = stat.find(key);
    if (p == std::string::npos) return -1;
    p = stat.find(':', p);
    return std::stod(stat.substr(p + 1));
}

// A stored PCM record of another rate and channel count: sox agrees on frequency, level and
// length of what we write.
TEST_F(Cli, StoredRecordResamplesAndDownmixes) {
    Sox("-n -r 44100 -c 2 -b 16 s.wav synth 2 sine 1000 gain -6");
    for (auto [rate, ch] : {std::pair{8000, 1}, std::pair{48000, 2}, std::pair{22050, 1}}) {
        ASSERT_TRUE(WriteStoredWaveFormat(
            WAVEFORMATEX::Pcm16(static_cast<uint32_t>(rate), static_cast<uint16_t>(ch))));
        RunShell("rm -rf '" + dir + "/R'");
        ASSERT_EQ(Sonvex("s.wav -format .wav -outfolder R -convert -exit"), 0) << err;
        std::string info, stat;
        RunShell("soxi '" + dir + "/R/s.wav'", &info);
        EXPECT_NE(info.find("Sample Rate    : " + std::to_string(rate)), std::string::npos) << info;
        EXPECT_NE(info.find("Channels       : " + std::to_string(ch)), std::string::npos) << info;
        RunShell("sox '" + dir + "/R/s.wav' -n stat 2>&1", &stat);
        EXPECT_NEAR(StatValue(stat, "RMS     amplitude"), 0.5012 / std::sqrt(2.0), 0.01) << stat;
        // The converter's tail may add up to 24 frames.
        EXPECT_NEAR(StatValue(stat, "Length (seconds)"), 2.0, 30.0 / rate) << stat;
        // Frequency from the zero crossings of the first channel as sox decodes it.
        Sox("R/s.wav -t raw -e signed -b 16 -L ch1.raw remix 1");
        std::vector<double> x;
        for (int16_t v : test::Load16(dir + "/ch1.raw")) x.push_back(v);
        EXPECT_NEAR(test::CyclesPerSample(x) * rate, 1000, 1) << rate;
    }
}

// Encoder formats through the program on a machine where nothing is registered: the local
// installers register the adapters, and the peers decode what we wrote.
TEST_F(Cli, EncoderFormatsInstallOnDemandAndDecodeWithPeers) {
    for (const char* tool : {"flac", "lame", "mpg123", "oggenc", "oggdec", "ffmpeg"})
        if (!test::HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    Sox("-n -r 44100 -c 2 -b 16 s.wav synth 1 sine 500 sine 700 gain -6");
    SettingsWriteInt("FlacEncoder", "Channels", 2);
    ASSERT_EQ(Sonvex("s.wav -format .flac -outfolder E -convert -format .mp3 -convert -format .ogg "
                     "-convert -format .m4a -convert -exit"),
              0)
        << err;
    std::string src, flac;
    RunShell("sox '" + dir + "/s.wav' -t raw -", &src);
    ASSERT_EQ(RunShell("flac -s -d -c --force-raw-format --endian=little --sign=signed '" + dir +
                           "/E/s.flac'",
                       &flac),
              0);
    EXPECT_EQ(flac, src);  // lossless at the stored rate and channels
    std::string mp3, ogg, m4a;
    EXPECT_EQ(RunShell("mpg123 -q -s '" + dir + "/E/s.mp3' | wc -c", &mp3), 0);
    EXPECT_GT(std::stol(mp3), 44100 * 2 * 2 * 9 / 10);
    EXPECT_EQ(RunShell("oggdec -Q -o - '" + dir + "/E/s.ogg' | wc -c", &ogg), 0);
    EXPECT_GT(std::stol(ogg), 44100 * 2 * 9 / 10);  // mono by default
    EXPECT_EQ(RunShell("ffmpeg -v error -i '" + dir + "/E/s.m4a' -f s16le - | wc -c", &m4a), 0);
    EXPECT_GT(std::stol(m4a), 44100 * 2 * 2 * 9 / 10);
    std::string path;
    EXPECT_TRUE(RegistryReadString(RegRoot::LocalMachine, "Software\\Verrowave\\Components\\mp3el",
                                   "Path", path, ""));
    EXPECT_TRUE(test::FileExists(path));

    // Decoder formats read back through temporary WAV files, matching the peers' own decoding.
    ASSERT_EQ(Sonvex("-clear E/s.flac E/s.ogg -format .wav -outfolder D -convert -exit"), 0) << err;
    std::string ours, theirs;
    RunShell("sox '" + dir + "/D/s.wav' -t raw -", &ours);
    EXPECT_EQ(ours, src);  // the first of the two same-named outputs: from the FLAC file
    EXPECT_NE(err.find("already exists"), std::string::npos);  // the Ogg one was not written over
}

// Built-in formats through the program and back: the 16-bit containers are lossless.
TEST_F(Cli, BuiltInFormatsRoundTrip) {
    Sox("-n -r 44100 -c 2 -b 16 s.wav synth 1 sine 500 sine 700 gain -6");
    ASSERT_EQ(Sonvex("s.wav -outfolder B -format .au -convert -format .aiff -convert -format .gsm "
                     "-convert -format .vox -convert -format .raw -convert -exit"),
              0)
        << err;
    std::string src;
    RunShell("sox '" + dir + "/s.wav' -t raw -", &src);
    for (const char* ext : {".au", ".aiff"}) {
        std::string peer;
        RunShell("sox '" + dir + "/B/s" + ext + "' -t raw -e signed -b 16 -L -", &peer);
        EXPECT_EQ(peer, src) << ext;  // sox reads our container sample for sample
        RunShell("rm -rf '" + dir + "/W'");
        ASSERT_EQ(Sonvex(std::string("B/s") + ext + " -format .wav -outfolder W -convert -exit"), 0)
            << err;
        std::string back;
        RunShell("sox '" + dir + "/W/s.wav' -t raw -", &back);
        EXPECT_EQ(back, src) << ext;
    }
    // GSM is 8000 Hz mono whatever the source; one second is 50 frames of 33 bytes.
    EXPECT_EQ(ReadBytes(dir + "/B/s.gsm").size(), 50u * 33u);
    std::string info;
    RunShell("sox -t gsm -r 8000 -c 1 '" + dir + "/B/s.gsm' -n stat 2>&1", &info);
    EXPECT_NE(info.find("Length (seconds):      1.000000"), std::string::npos) << info;
}

// Failures found late must not pass for conversions: an encoder that fails, a channel count
// the stages cannot reach, an output that would destroy another row's input or the decoder's
// temporary file.
TEST_F(Cli, LateFailuresAreReportedAndDestroyNothing) {
    Sox("-n -r 8000 -c 2 -b 16 a.wav synth 0.5 sine 300 sine 400");
    RegistryWriteString(RegRoot::LocalMachine, "Software\\Verrowave\\Components\\mp3el", "Path",
                        "/bin/false");
    EXPECT_EQ(Sonvex("a.wav -format .mp3 -outfolder M -convert -exit"), 2);
    EXPECT_NE(err.find("Conversion of the file \"a.wav\" has failed."), std::string::npos) << err;

    SettingsWriteInt("RawAudio", "Channels", 6);
    EXPECT_EQ(Sonvex("-clear a.wav -format .raw -outfolder R -convert -exit"), 2);
    EXPECT_NE(err.find("has failed"), std::string::npos) << err;

    // a.au's output would be a.wav, the input of the next row.
    Sox("a.wav a.au");
    SettingsWriteFlag("Settings", "AlwaysPrompt", false);
    SettingsWriteFlag("Settings", "AlwaysOverwrite", true);
    const auto before = ReadBytes(dir + "/a.wav");
    EXPECT_EQ(Sonvex("-clear a.au a.wav -format .wav -outfolder . -convert -exit"), 2);
    EXPECT_EQ(ReadBytes(dir + "/a.wav"), before);
    EXPECT_NE(err.find("is the input file of another row"), std::string::npos) << err;
}

TEST_F(Cli, DecodersTemporaryFileIsNeverTheOutput) {
    for (const char* tool : {"oggenc", "oggdec"})
        if (!test::HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    RunShell("mkdir -p '" + dir + "/src'");
    Sox("-n -r 8000 -c 1 -b 16 src/t.wav synth 0.5 sine 300");
    ASSERT_EQ(RunShell("oggenc -Q -o '" + dir + "/src/Temp1.ogg' '" + dir + "/src/t.wav'"), 0);
    // The input decodes into $TMPDIR/sonvex-<uid>/Temp1.wav, the output path asked for.
    const std::string temp = dir + "/tmp/sonvex-" + std::to_string(getuid());
    RunShell("mkdir -p -m 700 '" + temp + "'");
    EXPECT_EQ(Sonvex("src/Temp1.ogg -format .wav -outfolder '" + temp + "' -convert -exit"), 2);
    EXPECT_NE(err.find("temporary file"), std::string::npos) << err;
}

}  // namespace
}  // namespace sonvex
