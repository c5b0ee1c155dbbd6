#include "support/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

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
    for (auto [text, want] :
         {std::pair{" 42abc", 42}, std::pair{"letters", 0}, std::pair{"-12", -12},
          std::pair{"99999999999999", 2147483647}, std::pair{"", 5}}) {
        SettingsWriteString("Settings", "Num", text);
        EXPECT_EQ(SettingsReadInt("Settings", "Num", 5), want) << text;
    }
    for (auto [text, def, want] : {std::tuple{"0", true, false}, std::tuple{"no", false, true},
                                   std::tuple{"", true, true}}) {
        SettingsWriteString("Settings", "F", text);
        EXPECT_EQ(SettingsReadFlag("Settings", "F", def), want) << text;
    }
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
    const std::string text =
        "\xEF\xBB\xBF[Software\\Verrowave\\Sonvex\\RawAudio]\r\n; comment\r\nSampleRate=22050\r\n"
        "  Channels =2\r\nCodec = 3 \r\n[Software\\Verrowave\\Sonvex\\VoxAudio\r\nRate=6000\r\n"
        "[Software\\Verrowave\\Sonvex\\Settings]\nAlwaysPrompt\t=\t0\n";
    test::WriteBytes(home.home() + "/.config/verrowave/machine.ini",
                     std::vector<uint8_t>(text.begin(), text.end()));
    const struct {
        const char* section;
        const char* name;
        const char* want;
    } reads[] = {
        {"RawAudio", "SampleRate", "22050"},  // the first section, after a byte-order mark
        {"RawAudio", "Channels", "2"},
        {"RawAudio", "Codec", "3 "},   // blanks at the end belong to the value
        {"RawAudio", "Rate", "none"},  // under a header without ']': nobody's value
        {"VoxAudio", "Rate", "none"},
        {"Settings", "AlwaysPrompt", "0"},
    };
    for (const auto& r : reads)
        EXPECT_EQ(SettingsReadString(r.section, r.name, "none"), r.want) << r.section << r.name;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t b = 0; b < text.size();) {
        size_t e = std::min(text.find('\n', b), text.size() - 1) + 1;
        lines.push_back(text.substr(b, e - b));
        b = e;
    }
    return lines;
}

// One write to a file edited by hand changes only the line of the value it sets or removes;
// a file the program wrote comes out as it always has.
TEST(Settings, OneWriteKeepsEveryOtherLine) {
    ScopedHome home;
    const std::string ini = RegistryFilePath(RegRoot::LocalMachine);
    test::RunShell("mkdir -p '" + home.home() + "/.config/verrowave'");
    const std::string kComments = "; top\n\n[K]\n# note\nA=1\nno equals sign\n\n; L\n[L]\nX=1\n";
    const struct {
        const char* what;
        std::string before;
        const char* key;
        const char* name;
        const char* value;  // nullptr removes
        std::string after;
        bool ok = true;
    } cases[] = {
        {"byte-order mark", "\xEF\xBB\xBF[K]\nA=1\n", "K", "B", "2", "[K]\nA=1\nB=2\n"},
        {"comments", kComments, "K", "A", "2",
         "; top\n\n[K]\n# note\nA=2\nno equals sign\n\n; L\n[L]\nX=1\n"},
        {"new value after the last", kComments, "K", "B", "2",
         "; top\n\n[K]\n# note\nA=1\nB=2\nno equals sign\n\n; L\n[L]\nX=1\n"},
        {"new section at the end", kComments, "M", "B", "2", kComments + "\n[M]\nB=2\n\n"},
        {"blanks around '='", "[K]\n  A = 1 \n", "k", "a", "2", "[K]\n  A = 2\n"},
        {"value before any header", "A=0\n[K]\nA=1\n", "K", "A", "2", "A=0\n[K]\nA=2\n"},
        {"header without ']'", "[K]\nA=1\n[L\nA=5\n", "K", "B", "2", "[K]\nA=1\nB=2\n[L\nA=5\n"},
        {"only a header without ']'", "[K\nA=5", "K", "A", "2", "[K\nA=5\n\n[K]\nA=2\n\n"},
        {"CRLF, no last line end", "[K]\r\nA=1", "K", "B", "2", "[K]\r\nA=1\r\nB=2\r\n"},
        {"remove beside a comment", kComments, "K", "A", nullptr,
         "; top\n\n[K]\n# note\nno equals sign\n\n; L\n[L]\nX=1\n"},
        {"not text", std::string("\xFF\xFE[\0K\0]\0\n\0", 10), "K", "A", "2",
         std::string("\xFF\xFE[\0K\0]\0\n\0", 10), false},
        // As the program writes them.
        {"first value", "", "K", "A", "1", "[K]\nA=1\n\n"},
        {"second value", "[K]\nA=1\n\n[L]\nB=2\n\n", "K", "C", "3",
         "[K]\nA=1\nC=3\n\n[L]\nB=2\n\n"},
        {"second section", "[K]\nA=1\n\n", "L", "B", "2", "[K]\nA=1\n\n[L]\nB=2\n\n"},
        {"last value of a section", "[K]\nA=1\n\n[L]\nB=2\n\n", "K", "A", nullptr, "[L]\nB=2\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(ini, std::vector<uint8_t>(c.before.begin(), c.before.end()));
        EXPECT_EQ(c.value ? RegistrySetValue(RegRoot::LocalMachine, c.key, c.name, c.value)
                          : RegistryRemoveValue(RegRoot::LocalMachine, c.key, c.name),
                  c.ok);
        EXPECT_EQ(Lines(FileText(ini)), Lines(c.after));
        std::string v = "none";
        RegistryGetValue(RegRoot::LocalMachine, c.key, c.name, v);
        EXPECT_EQ(v, c.value && c.ok ? c.value : "none");
    }
}

// A write goes through a chain of links onto the final target, which keeps its mode; a
// dangling link gets its target created. The links stay links.
TEST(Settings, WritesThroughLinksKeepingTheMode) {
    ScopedHome home;
    const std::string folder = home.home() + "/.config/verrowave";
    const std::string dots = home.home() + "/dots";
    test::RunShell("mkdir -p '" + folder + "' '" + dots + "'");
    const struct {
        const char* what;
        std::string setup;  // run in the settings folder
        std::string target;
        mode_t mode;
    } cases[] = {
        {"regular file", "printf '[K]\\nA=1\\n' >machine.ini && chmod 644 machine.ini",
         folder + "/machine.ini", 0644},
        {"chain of links",
         "printf '[K]\\nA=1\\n' >../../dots/real.ini && chmod 640 ../../dots/real.ini && "
         "ln -s real.ini ../../dots/link.ini && ln -s ../../dots/link.ini machine.ini",
         dots + "/real.ini", 0640},
        {"dangling link", "ln -s '" + dots + "/new.ini' machine.ini", dots + "/new.ini", 0600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(
            test::RunShell("cd '" + folder + "' && rm -f machine.ini ../../dots/* && " + c.setup),
            0);
        std::string linkBefore, linkAfter;
        test::RunShell("readlink '" + folder + "/machine.ini'", &linkBefore);
        const std::string before = FileText(c.target);
        EXPECT_TRUE(RegistrySetValue(RegRoot::LocalMachine, "K", "B", "2"));
        test::RunShell("readlink '" + folder + "/machine.ini'", &linkAfter);
        EXPECT_EQ(linkAfter, linkBefore);
        EXPECT_EQ(FileText(c.target), before + (before.empty() ? "[K]\nB=2\n\n" : "B=2\n"));
        struct stat st {};
        ASSERT_EQ(stat(c.target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        std::string listing;
        test::RunShell("ls -A '" + folder + "' '" + dots + "'", &listing);
        EXPECT_EQ(listing.find(".tmp"), std::string::npos) << listing;
    }
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
