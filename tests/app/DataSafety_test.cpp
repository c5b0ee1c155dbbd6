// What a conversion may never do: write outside its output, leave a partial file under the
// output's name, mix two runs in one file, hang on an encoder, or report a failure as success.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "app/CliFixture.h"
#include "encoders/EncTestUtil.h"
#include "support/File.h"
#include "support/OutputFile.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using test::Cli;
using test::FileExists;
using test::ReadBytes;
using test::RunShell;

// Names of a folder's entries that are our temporary outputs.
std::vector<std::string> PartFiles(const std::string& folder) {
    std::vector<std::string> v;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).rfind(LPendingOutput::kPrefix, 0) == 0)
                v.push_back(e->d_name);
        closedir(d);
    }
    return v;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The samples of a WAV file's data chunk.
std::vector<int16_t> WavPayload(const std::string& path) {
    return test::ReadWav(path).samples;
}

struct Safety : Cli {
    void Overwrite() {
        SettingsWriteFlag("Settings", "AlwaysPrompt", false);
        SettingsWriteFlag("Settings", "AlwaysOverwrite", true);
    }
    std::string P(const std::string& name) const { return dir + "/" + name; }
    // Starts a run converting input to MP3 in out, to be signalled; returns its process id.
    pid_t Start(const char* input) {
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            freopen("/dev/null", "r", stdin);
            freopen("/dev/null", "w", stderr);
            execl(test::ProgramPath().c_str(), "sonvex", input, "-format", ".mp3", "-outfolder",
                  "out", "-convert", "-exit", static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
};

TEST_F(Safety, OverwriteReplacesALinkNeverItsTarget) {
    Sox("-n -r 8000 -c 1 -b 16 a.wav synth 0.3 sine 300");
    RunShell("mkdir -p '" + P("keep") + "' '" + P("out") + "' && echo notes > '" +
             P("keep/notes.txt") + "' && ln -s ../keep/notes.txt '" + P("out/a.wav") + "'");
    Overwrite();
    EXPECT_EQ(Sonvex("a.wav -format .wav -outfolder out -convert -exit"), 0) << err;
    EXPECT_EQ(ReadBytes(P("keep/notes.txt")),
              std::vector<uint8_t>({'n', 'o', 't', 'e', 's', '\n'}));
    EXPECT_TRUE(IsRegularFile(P("out/a.wav")));
    EXPECT_EQ(WavPayload(P("out/a.wav")), WavPayload(P("a.wav")));
    EXPECT_TRUE(PartFiles(P("out")).empty());
}

// Two runs writing the same output name at once: the file is one input whole, never a mix.
TEST_F(Safety, ConcurrentRunsNeverMixTwoInputs) {
    RunShell("mkdir -p '" + P("x") + "' '" + P("y") + "' '" + P("out") + "'");
    Sox("-n -r 44100 -c 2 -b 16 x/song.wav synth 3 sine 300 sine 500");
    Sox("-n -r 44100 -c 2 -b 16 y/song.wav synth 2 sine 700 sine 900");
    const auto a = WavPayload(P("x/song.wav"));
    const auto b = WavPayload(P("y/song.wav"));
    for (bool bOverwrite : {false, true}) {
        if (bOverwrite) Overwrite();
        for (int run = 0; run < 20; ++run) {
            unlink(P("out/song.wav").c_str());
            const std::string cmd = "cd '" + dir + "' && ('" + test::ProgramPath() +
                                    "' x/song.wav -format .wav -outfolder out -convert -exit & '" +
                                    test::ProgramPath() +
                                    "' y/song.wav -format .wav -outfolder out -convert -exit & "
                                    "wait) </dev/null 2>/dev/null";
            ASSERT_EQ(RunShell(cmd), 0);
            const auto payload = WavPayload(P("out/song.wav"));
            ASSERT_TRUE(payload == a || payload == b) << "run " << run << ": mixed output";
            ASSERT_EQ(ReadBytes(P("out/song.wav")).size(), 2 * payload.size() + 46)
                << "run " << run;
            ASSERT_TRUE(PartFiles(P("out")).empty());
        }
    }
}

// A full disk (a small tmpfs when we may mount one; a file size limit always) leaves nothing
// under the output's name, fails with the system's reason, and a re-run does not skip it.
TEST_F(Safety, FullDiskLeavesNoOutputAndSaysWhy) {
    Sox("-n -r 44100 -c 2 -b 16 a.wav synth 10 sine 300");
    RunShell("mkdir -p '" + P("out") + "'");
    EXPECT_EQ(
        Sonvex("a.wav -format .wav -outfolder out -convert -exit", "trap '' XFSZ; ulimit -f 400;"),
        2);
    EXPECT_NE(err.find("File too large"), std::string::npos) << err;
    EXPECT_FALSE(PathExists(P("out/a.wav")));
    EXPECT_TRUE(PartFiles(P("out")).empty());
    EXPECT_NE(err.find("These files were not converted:\n  a.wav"), std::string::npos) << err;

    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    RunShell("mkdir -p '" + P("full") + "'");
    if (RunShell("mount -t tmpfs -o size=200k tmpfs '" + P("full") + "' 2>/dev/null") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    EXPECT_EQ(Sonvex("a.wav -format .wav -outfolder full -convert -exit"), 2);
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    EXPECT_FALSE(PathExists(P("full/a.wav")));
    EXPECT_TRUE(PartFiles(P("full")).empty());
    RunShell("umount '" + P("full") + "'");
}

// Cancel by SIGINT, SIGTERM or SIGHUP: an encoder that stops reading is ended with its helpers;
// nothing is left behind.
TEST_F(Safety, SignalsEndAHungEncoderAndLeaveNothing) {
    Sox("-n -r 44100 -c 2 -b 16 a.wav synth 30 sine 300");
    const std::string pidFile = P("enc.pid");
    test::WriteScript(P("hang"), "echo $$ > '" + pidFile + "'\nsleep 1000");
    test::RegisterComponent("mp3el", P("hang"));
    // SIGINT is the slow encoder's case below; every signal has the same handler.
    for (int sig : {SIGTERM, SIGHUP}) {
        unlink(pidFile.c_str());
        const pid_t pid = Start("a.wav");
        ASSERT_GE(pid, 0);
        ASSERT_TRUE(test::WaitUntil([&] { return FileExists(pidFile); }, 10000));
        const pid_t encoder = std::stoi(test::ReadLines(pidFile).at(0));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the pipe fills up
        kill(pid, sig);
        int status = 0;
        ASSERT_TRUE(test::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000))
            << "signal " << sig << " did not stop the run";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "signal " << sig;
        EXPECT_TRUE(test::WaitUntil([&] { return !test::ProcessExists(encoder); }, 5000));
        EXPECT_FALSE(PathExists(P("out/a.mp3")));
        EXPECT_TRUE(PartFiles(P("out")).empty());
    }
}

// Encoders: the output appears only after a zero exit with a non-empty file; a cancelled row
// keeps the encoder's shortened but complete file. Their chatter stays off the console; the
// last line of a failing one is the reason in the message.
TEST_F(Safety, EncoderOutputIsPutInPlaceOnlyWhenComplete) {
    Sox("-n -r 8000 -c 1 -b 16 a.wav synth 0.5 sine 300");
    // The output is the last argument.
    const std::string last = "for o; do :; done\necho 'encoder chatter' >&2\n";
    struct Case {
        const char* body;
        int status;
        bool bReason;  // the encoder's last line ends the message
    } cases[] = {
        {"cat >/dev/null; exit 0", 2, false},  // wrote nothing
        {"cat > \"$o\"; printf 'enc: quota exceeded\\n\\n' >&2; exit 1", 2,
         true},                              // failed after writing
        {"cat > \"$o\"; exit 0", 0, false},  // complete
    };
    for (const Case& c : cases) {
        test::WriteScript(P("enc"), last + c.body);
        test::RegisterComponent("mp3el", P("enc"));
        unlink(P("out/a.mp3").c_str());
        EXPECT_EQ(Sonvex("a.wav -format .mp3 -outfolder out -convert -exit"), c.status) << c.body;
        EXPECT_EQ(PathExists(P("out/a.mp3")), c.status == 0) << c.body;
        EXPECT_TRUE(PartFiles(P("out")).empty());
        EXPECT_EQ(err.find("encoder chatter"), std::string::npos) << err;
        if (c.bReason) {
            EXPECT_NE(err.find("problem. (enc: quota exceeded)"), std::string::npos) << err;
        }
    }

    // Reads slowly; Ctrl-C closes the pipe and the encoder completes what it has.
    Sox("-n -r 44100 -c 2 -b 16 long.wav synth 10 sine 300");
    test::WriteScript(P("enc"),
                      last + "echo $$ > '" + P("enc.pid") +
                          "'\nwhile n=$(head -c 65536 | tee -a \"$o\" | wc -c); [ \"$n\" -gt 0 ]; "
                          "do sleep 0.2; done");
    const pid_t pid = Start("long.wav");
    ASSERT_GE(pid, 0);
    ASSERT_TRUE(test::WaitUntil([&] { return FileExists(P("enc.pid")); }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_TRUE(test::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 20000));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    const size_t size = ReadBytes(P("out/long.mp3")).size();
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, 44100u * 4 * 10);
    EXPECT_EQ(size % 4, 0u);  // whole stereo frames
}

// A killed run leaves only a hidden temporary file; the next run removes it.
TEST_F(Safety, StaleTemporaryOutputsOfDeadRunsAreRemoved) {
    Sox("-n -r 8000 -c 1 -b 16 a.wav synth 0.2 sine 300");
    RunShell("mkdir -p '" + P("out") + "'");
    pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string stale = P("out/") + LPendingOutput::kPrefix + std::to_string(dead) + "-1.wav";
    const std::string live =
        P("out/") + LPendingOutput::kPrefix + std::to_string(getppid()) + "-1.wav";
    test::WriteBytes(stale, {1, 2, 3});
    test::WriteBytes(live, {1, 2, 3});
    EXPECT_EQ(Sonvex("a.wav -format .wav -outfolder out -convert -exit"), 0) << err;
    EXPECT_FALSE(PathExists(stale));
    EXPECT_TRUE(PathExists(live));  // its process still runs
    unlink(live.c_str());
}

// Decoders: a failing decoder or a short temporary WAV fails the row; temporary WAVs are
// private and gone after the row.
TEST_F(Safety, DecoderFailuresFailTheRowAndTemporaryFilesGo) {
    Sox("-n -r 8000 -c 1 -b 16 src.wav synth 0.5 sine 300");
    test::WriteBytes(P("a.ogg"), {'O', 'g', 'g', 'S'});
    RunShell("mkdir -p '" + P("tmp") + "'");
    const std::string env = "TMPDIR='" + P("tmp") + "'";
    struct Case {
        std::string body;
        int status;
    } cases[] = {
        {"exit 1", 2},
        // A header promising twice the data that is there.
        {"cp '" + P("src.wav") + "' \"$2\" && truncate -s -4000 \"$2\"", 2},
        {"cp '" + P("src.wav") + "' \"$2\" && stat -c %a \"$2\" > '" + P("mode") + "'", 0},
    };
    for (const Case& c : cases) {
        test::WriteScript(P("dec"), c.body);
        test::RegisterComponent("oggdec", P("dec"));
        EXPECT_EQ(Sonvex("a.ogg -format .wav -outfolder out -convert -exit", env), c.status)
            << c.body << "\n"
            << err;
        if (c.status != 0) {
            EXPECT_NE(err.find("a.ogg"), std::string::npos) << err;
        }
        std::string left;
        RunShell("ls -A '" + P("tmp/sonvex-") + std::to_string(getuid()) + "'", &left);
        EXPECT_EQ(left, "") << c.body;
    }
    EXPECT_EQ(test::ReadLines(P("mode")).at(0), "600");
}

// A registered component that is gone is installed again; an unwritable configuration still
// lets the adapters beside the program work, with a warning.
TEST_F(Safety, MissingComponentsAreInstalledAgain) {
    for (const char* tool : {"oggenc", "oggdec"})
        if (!test::HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    Sox("-n -r 8000 -c 1 -b 16 a.wav synth 0.5 sine 300");
    ASSERT_EQ(RunShell("oggenc -Q -o '" + P("a.ogg") + "' '" + P("a.wav") + "'"), 0);
    test::RegisterComponent("oggdec", P("moved/oggdec"));
    EXPECT_EQ(Sonvex("a.ogg -format .wav -outfolder out -convert -exit"), 0) << err;
    std::string path;
    EXPECT_TRUE(GetComponentPath("oggdec", path));
    EXPECT_NE(path, P("moved/oggdec"));

    // The configuration folder cannot be created: the adapter runs unregistered.
    const std::string env = "XDG_CONFIG_HOME='" + P("cfgfile") + "'";
    test::WriteBytes(P("cfgfile"), {'x'});
    EXPECT_EQ(Sonvex("a.ogg -format .wav -outfolder out2 -convert -exit", env), 0) << err;
    EXPECT_NE(err.find("could not be registered"), std::string::npos) << err;
    EXPECT_TRUE(FileExists(P("out2/a.wav")));
}

// More channels than the output holds are mixed down, never interleaved into a longer stream.
TEST_F(Safety, MultichannelInputsAreMixedDown) {
    Sox("-n -r 44100 -c 6 -b 16 -t wavpcm six.wav synth 1 sine 300 sine 400 sine 500 sine 60 sine "
        "700 "
        "sine 800 gain -6");
    struct Case {
        const char* format;
        const char* tool;
    } cases[] = {{".mp3", "lame"}, {".flac", "flac"}, {".wav", nullptr}};
    for (const Case& c : cases) {
        if (c.tool && !test::HaveProgram(c.tool)) continue;
        EXPECT_EQ(Sonvex(std::string("-clear six.wav -format ") + c.format +
                         " -outfolder out -convert -exit"),
                  0)
            << c.format << err;
        std::string info;
        RunShell("cd '" + dir + "' && soxi -c 'out/six" + std::string(c.format) +
                     "' && soxi -D 'out/six" + std::string(c.format) + "'",
                 &info);
        const size_t nl = info.find('\n');
        ASSERT_NE(nl, std::string::npos) << info;
        const int channels = std::stoi(info.substr(0, nl));
        const double seconds = std::stod(info.substr(nl + 1));
        EXPECT_EQ(channels, std::string(c.format) == ".wav" ? 6 : 2) << c.format;
        EXPECT_NEAR(seconds, 1.0, 0.1) << c.format;
    }
}

// Paths are handled whole up to the system's limit.
TEST_F(Safety, LongPathsAreHandledWhole) {
    std::string name;
    for (int i = 0; i < 80; ++i) name += "\xe9\x9f\xb3";  // 240 bytes of CJK
    RunShell("mkdir -p '" + P(name) + "'");
    Sox("-n -r 8000 -c 1 -b 16 '" + name + "/" + name.substr(0, 120) + ".wav' synth 0.2 sine 300");
    EXPECT_EQ(Sonvex("'" + name + "/" + name.substr(0, 120) + ".wav' -format .au -outfolder '" +
                     name + "/" + name + "' -convert -exit"),
              0)
        << err;
    EXPECT_TRUE(FileExists(P(name + "/" + name + "/" + name.substr(0, 120) + ".au")));
    const std::string tooLong = std::string("/") + std::string(5000, 'x') + ".wav";
    EXPECT_EQ(Sonvex("'" + tooLong + "' -format .au -outfolder out -convert -exit"), 2);
    EXPECT_NE(err.find("path too long"), std::string::npos);
}

}  // namespace
}  // namespace sonvex
