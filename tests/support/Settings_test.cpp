#include "support/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "common/TestUtil.h"

namespace sonvex {
namespace {

using test::ReadBytes;
using test::ScopedHome;

std::string FileText(const std::string& p) {
    auto b = ReadBytes(p);
    return std::string(b.begin(), b.end());
}

TEST(Settings, TypedReadersParseAndDefault) {
    ScopedHome home;
    EXPECT_EQ(SettingsReadInt("Settings", "Missing", 17), 17);
    SettingsWriteString("Settings", "Num", " 42abc");
    EXPECT_EQ(SettingsReadInt("Settings", "Num", 5), 42);
    SettingsWriteString("Settings", "Num", "letters");
    EXPECT_EQ(SettingsReadInt("Settings", "Num", 5), 0);
    SettingsWriteString("Settings", "Num", "-12");
    EXPECT_EQ(SettingsReadInt("Settings", "Num", 5), -12);
    SettingsWriteString("Settings", "Num", "99999999999999");
    EXPECT_EQ(SettingsReadInt("Settings", "Num", 5), 2147483647);
    SettingsWriteString("Settings", "Num", "");
    EXPECT_EQ(SettingsReadInt("Settings", "Num", 5), 5);

    SettingsWriteString("Settings", "F", "0");
    EXPECT_FALSE(SettingsReadFlag("Settings", "F", true));
    SettingsWriteString("Settings", "F", "no");
    EXPECT_TRUE(SettingsReadFlag("Settings", "F", false));
    SettingsWriteString("Settings", "F", "");
    EXPECT_TRUE(SettingsReadFlag("Settings", "F", true));
    SettingsWriteFlag("Settings", "F", false);
    EXPECT_EQ(SettingsReadString("Settings", "F", "x"), "0");
    SettingsWriteInt("Settings", "I", -7);
    EXPECT_EQ(SettingsReadString("Settings", "I", "x"), "-7");
}

TEST(Settings, FileLayoutEscapesAndCaseInsensitiveNames) {
    ScopedHome home;
    SettingsWriteString("Settings", "Path", "C:\\a\nb\rc");
    const std::string ini = FileText(home.home() + "/.config/verrowave/machine.ini");
    EXPECT_NE(ini.find("[Software\\Verrowave\\Sonvex\\Settings]\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Path=C:\\\\a\\nb\\rc\n"), std::string::npos) << ini;
    EXPECT_EQ(SettingsReadString("SETTINGS", "path", ""), "C:\\a\nb\rc");
    // Rewriting under another case replaces the value instead of adding a second one.
    SettingsWriteString("settings", "PATH", "x");
    const std::string again = FileText(home.home() + "/.config/verrowave/machine.ini");
    EXPECT_EQ(again.find("Path=C:"), std::string::npos);
    EXPECT_EQ(SettingsReadString("Settings", "Path", ""), "x");
    // Per-user values live in their own file.
    UserSettingsWriteString("OutputFolder", "Count", "3");
    EXPECT_EQ(UserSettingsReadInt("OutputFolder", "Count", 0), 3);
    EXPECT_EQ(SettingsReadInt("OutputFolder", "Count", 0), 0);
    // A key's default value is "@"; any root and key path.
    RegistryWriteString(RegRoot::LocalMachine, "Software\\Verrowave\\Components\\mp3el", "", "d");
    std::string out;
    EXPECT_TRUE(RegistryReadString(RegRoot::LocalMachine, "software\\verrowave\\components\\MP3EL",
                                   "@", out, "def"));
    EXPECT_EQ(out, "d");
    EXPECT_FALSE(RegistryReadString(RegRoot::LocalMachine, "Software\\X", "Path", out, "def"));
    EXPECT_EQ(out, "def");
    RegistryDeleteValue(RegRoot::LocalMachine, "Software\\Verrowave\\Components\\mp3el", "@");
    EXPECT_FALSE(RegistryReadString(RegRoot::LocalMachine, "Software\\Verrowave\\Components\\mp3el",
                                    "@", out, ""));
}

TEST(Settings, HandEditedFileIsRead) {
    ScopedHome home;
    test::RunShell("mkdir -p '" + home.home() + "/.config/verrowave'");
    test::WriteBytes(home.home() + "/.config/verrowave/machine.ini", {';', ' ', 'c', '\n'});
    const std::string text =
        "; comment\r\n[Software\\Verrowave\\Sonvex\\RawAudio]\r\nSampleRate=22050\r\n"
        "  Channels =2\r\n";
    test::WriteBytes(home.home() + "/.config/verrowave/machine.ini",
                     std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(SettingsReadInt("RawAudio", "SampleRate", 0), 22050);
    EXPECT_EQ(SettingsReadInt("RawAudio", "Channels", 0), 2);
}

// Two processes writing different values at once lose none of them.
TEST(Settings, ConcurrentWritersKeepEveryValue) {
    ScopedHome home;
    const int kPerProcess = 40;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    const char* who = child == 0 ? "Child" : "Parent";
    for (int i = 0; i < kPerProcess; ++i)
        SettingsWriteInt("Race", std::string(who) + std::to_string(i), i);
    if (child == 0) _exit(0);
    int st = 0;
    waitpid(child, &st, 0);
    for (int i = 0; i < kPerProcess; ++i) {
        EXPECT_EQ(SettingsReadInt("Race", "Child" + std::to_string(i), -1), i);
        EXPECT_EQ(SettingsReadInt("Race", "Parent" + std::to_string(i), -1), i);
    }
    // No temporary file is left beside the store.
    std::string listing;
    test::RunShell("ls -A '" + home.home() + "/.config/verrowave'", &listing);
    EXPECT_EQ(listing.find(".tmp"), std::string::npos) << listing;
}

}  // namespace
}  // namespace sonvex

namespace sonvex {
namespace {

// A store the writer cannot read is left alone, not replaced by a file holding only the new
// value. Needs a second user: run as root, the writer drops to nobody.
TEST(Settings, UnreadableStoreIsNeverRewritten) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    ScopedHome home;
    SettingsWriteString("Settings", "AlwaysOverwrite", "1");
    const std::string folder = home.home() + "/.config/verrowave";
    const std::string ini = folder + "/machine.ini";
    chmod(home.home().c_str(), 0711);
    chmod((home.home() + "/.config").c_str(), 0711);
    chmod(folder.c_str(), 0777);  // the writer could replace the file, but cannot read it
    chmod((ini + ".lock").c_str(), 0666);
    chmod(ini.c_str(), 0);
    const auto before = test::ReadBytes(ini);
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        SettingsWriteInt("Settings", "OutputFormat", 2);
        _exit(0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st));
    ASSERT_EQ(WEXITSTATUS(st), 0);
    EXPECT_EQ(test::ReadBytes(ini), before);
    EXPECT_EQ(SettingsReadString("Settings", "AlwaysOverwrite", ""), "1");
}

}  // namespace
}  // namespace sonvex
