// The real program on a virtual X display: the window, second starts that forward their
// command line and wait for it, one window for simultaneous starts, "-exit" from a second start,
// F9 playing the selected row through ALSA.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/qt/QtFixture.h"
#include "common/TestUtil.h"
#include "platform/sound/AlsaFileConfig.h"
#include "platform/sound/SoundOut.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using test::RunShell;

struct ProgramOnXvfb : ::testing::Test {
    test::ScopedHome home;
    std::string dir = home.home();
    std::string savedDisplay = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    pid_t xvfb = -1;
    std::vector<pid_t> programs;

    void SetUp() override {
        if (!test::HaveProgram("Xvfb") || !test::HaveProgram("xdotool"))
            GTEST_SKIP() << "Xvfb or xdotool is not installed: no X server to start";
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        xvfb = fork();
        if (xvfb == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) GTEST_SKIP() << "Xvfb could not start an X server";
        setenv("DISPLAY", (":" + number).c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }

    void TearDown() override {
        for (pid_t p : programs) Stop(p);
        if (xvfb > 0) Stop(xvfb);
        if (savedDisplay.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", savedDisplay.c_str(), 1);
        unsetenv("QT_QPA_PLATFORM");
    }

    static void Stop(pid_t p) {
        if (kill(p, SIGTERM) == 0) waitpid(p, nullptr, 0);
    }

    // Starts the program in dir without waiting.
    pid_t Start(const std::vector<std::string>& args) {
        pid_t p = fork();
        if (p == 0) {
            if (chdir(dir.c_str()) != 0) _exit(127);
            freopen("/dev/null", "r", stdin);
            freopen((dir + "/program.log").c_str(), "a", stderr);
            std::vector<std::string> a{test::ProgramPath()};
            a.insert(a.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& s : a) argv.push_back(s.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        programs.push_back(p);
        return p;
    }

    // The exit status once the program has ended; -1 if it has not within about 60 s.
    int Wait(pid_t p) {
        for (int i = 0; i < 6000; ++i) {
            int st;
            if (waitpid(p, &st, WNOHANG) == p) {
                std::erase(programs, p);
                return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            }
            usleep(10000);
        }
        return -1;
    }

    int Sonvex(const std::vector<std::string>& args) { return Wait(Start(args)); }

    // Visible windows titled exactly so.
    std::vector<std::string> Windows(const std::string& title) {
        std::string out;
        RunShell("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null", &out);
        std::vector<std::string> ids;
        for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
            ids.push_back(out.substr(at, nl - at));
        return ids;
    }

    bool WaitForWindow() {
        return RunShell(
                   "timeout 30 xdotool search --sync --onlyvisible --name '^Sonvex$' "
                   ">/dev/null 2>&1") == 0;
    }
};

TEST_F(ProgramOnXvfb, ForwardedConversionReturnsWhenDoneWithItsStatus) {
    pid_t first = Start({});
    ASSERT_TRUE(WaitForWindow());
    test::WriteWav(dir + "/a.wav", 16000);
    ASSERT_EQ(mkdir((dir + "/OUT").c_str(), 0700), 0);
    // Relative paths are the second start's: the window has another working folder.
    EXPECT_EQ(Sonvex({"a.wav", "-format", ".au", "-outfolder", "OUT", "-convert"}), 0);
    const auto au = test::ReadBytes(dir + "/OUT/a.au");
    ASSERT_GE(au.size(), 24u);
    const uint32_t offset = uint32_t{au[4]} << 24 | au[5] << 16 | au[6] << 8 | au[7];
    const uint32_t bytes = uint32_t{au[8]} << 24 | au[9] << 16 | au[10] << 8 | au[11];
    EXPECT_EQ(bytes, 32000u);  // complete: header patched, every sample written
    EXPECT_EQ(au.size(), offset + bytes);

    // A file that fails: its message is answered, and the second start says 2.
    test::WriteBytes(dir + "/bad.wav", std::vector<uint8_t>(3000, 0x5a));
    pid_t second = Start({"-clear", "bad.wav", "-format", ".au", "-outfolder", "OUT", "-convert"});
    int status = -1;
    for (int i = 0; i < 600 && status < 0; ++i) {
        int st;
        if (waitpid(second, &st, WNOHANG) == second) {
            std::erase(programs, second);
            status = WIFEXITED(st) ? WEXITSTATUS(st) : -2;
            break;
        }
        if (!Windows("Error").empty())
            RunShell(
                "xdotool search --onlyvisible --name '^Error$' windowfocus --sync %1 "
                ">/dev/null 2>&1 && xdotool key Return >/dev/null 2>&1");
        usleep(100000);
    }
    EXPECT_EQ(status, 2);
    EXPECT_FALSE(test::FileExists(dir + "/OUT/bad.au"));
    EXPECT_EQ(Sonvex({"-exit"}), 0);
    EXPECT_GE(Wait(first), 0);
}

TEST_F(ProgramOnXvfb, FortyForwardedPathsAllArriveWhole) {
    pid_t first = Start({});
    ASSERT_TRUE(WaitForWindow());
    // Paths beyond the record's 259 characters.
    const std::string deep = dir + "/" + std::string(200, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        paths.push_back(deep + "/take " + std::to_string(i) + std::string(60, '_') + ".wav");
        test::WriteWav(paths.back(), 80);
    }
    ASSERT_GT(paths[0].size(), 259u);
    EXPECT_EQ(Sonvex(paths), 0);
    EXPECT_EQ(Sonvex({"-format", ".au", "-outfolder", dir, "-convert", "-exit"}), 0);
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(
            test::FileExists(dir + "/take " + std::to_string(i) + std::string(60, '_') + ".au"))
            << i;
    EXPECT_GE(Wait(first), 0);
}

TEST_F(ProgramOnXvfb, SimultaneousStartsGiveOneWindowPlacedOnTheScreen) {
    // A stored rectangle off the screen.
    SettingsWriteInt("MainDialog", "X", 3000);
    SettingsWriteInt("MainDialog", "Y", 2500);
    std::vector<pid_t> starts;
    for (int i = 0; i < 5; ++i) starts.push_back(Start({"-format", ".au"}));
    // Four of them hand their command line to the fifth and end with status 0.
    int ended = 0;
    pid_t running = -1;
    for (int i = 0; i < 3000 && ended < 4; ++i) {
        for (pid_t p : starts) {
            int st;
            if (std::find(programs.begin(), programs.end(), p) == programs.end()) continue;
            if (waitpid(p, &st, WNOHANG) == p) {
                std::erase(programs, p);
                EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
                ++ended;
            }
        }
        usleep(10000);
    }
    ASSERT_EQ(ended, 4);
    for (pid_t p : starts)
        if (std::find(programs.begin(), programs.end(), p) != programs.end()) running = p;
    ASSERT_TRUE(WaitForWindow());
    const auto windows = Windows("Sonvex");
    ASSERT_EQ(windows.size(), 1u);
    std::string geometry;
    RunShell("xdotool getwindowgeometry --shell " + windows[0], &geometry);
    auto value = [&](const std::string& name) {
        const size_t at = geometry.find(name + "=");
        return at == std::string::npos ? -99999
                                       : std::atoi(geometry.c_str() + at + name.size() + 1);
    };
    EXPECT_GE(value("X"), 0);
    EXPECT_GE(value("Y"), 0);
    EXPECT_LE(value("X") + value("WIDTH"), 1024);
    EXPECT_LE(value("Y") + value("HEIGHT"), 768);
    // "-exit" from a second start ends the first.
    EXPECT_EQ(Sonvex({"-exit"}), 0);
    EXPECT_GE(Wait(running), 0);
    EXPECT_TRUE(Windows("Sonvex").empty());
}

TEST_F(ProgramOnXvfb, F9PlaysTheSelectedRowIntoAlsaSampleForSample) {
    // ALSA's default output writes what it is given into a file (set before the program starts).
    test::ScopedAlsaFileConfig alsa;
    if (!OpenSoundOut(0, {44100, 2})) GTEST_SKIP() << "ALSA cannot open its file plugin here";
    test::WriteWav(dir + "/other.wav", 8000);
    const std::vector<int16_t> samples =
        test::WriteWav(dir + "/played.wav", 30000, 2, 44100, 30000);
    pid_t p = Start({"other.wav", "played.wav"});
    ASSERT_TRUE(WaitForWindow());
    // Keys as a user types them: Down enters the list at its first row, Down again selects the
    // second, F9 plays it.
    ASSERT_EQ(RunShell("xdotool search --onlyvisible --name '^Sonvex$' windowfocus --sync "
                       "key Down Down F9 >/dev/null 2>&1"),
              0);
    const size_t whole = samples.size() * 2;
    for (int i = 0; i < 3000 && test::ReadBytes(alsa.DefaultFile()).size() < whole; ++i)
        usleep(10000);
    // The window is still answering once playing has ended.
    EXPECT_EQ(Sonvex({"-exit"}), 0);
    EXPECT_GE(Wait(p), 0);
    const std::vector<uint8_t> raw = test::ReadBytes(alsa.DefaultFile());
    ASSERT_EQ(raw.size(), whole);  // the data alone: no header, nothing of the other row
    std::vector<int16_t> played(samples.size());
    for (size_t i = 0; i < played.size(); ++i)
        played[i] = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
    EXPECT_EQ(played, samples);
}

}  // namespace
}  // namespace sonvex
