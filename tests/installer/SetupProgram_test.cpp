// The built package as a user runs it from a terminal, in a fresh home.
#include <gtest/gtest.h>

#include <string>

#include "common/TestUtil.h"
#include "tests/installer/InstallerTestUtil.h"

namespace sonvex {
namespace {

std::string SetupPath() {
    return std::string(SONVEX_BINARY_DIR) + "/sonvex-setup";
}

// Runs a command without a display and without a terminal on standard input.
int RunNoTerminal(const std::string& command, std::string* pOutput = nullptr) {
    return test::RunShell("env -u DISPLAY -u WAYLAND_DISPLAY " + command + " </dev/null 2>&1",
                          pOutput);
}

TEST(SetupProgram, InstallsFromATerminalConvertsAndUninstalls) {
    if (!test::HaveProgram("lame") || !test::HaveProgram("sox"))
        GTEST_SKIP() << "lame or sox missing";
    test::ScopedHome home;
    const std::string h = home.home();
    const std::string folder = h + "/.local/share/verrowave/sonvex";
    // A home as a desktop session leaves it; the registry and the components stay in
    // .config and .local/share on purpose.
    test::RunShell("cd '" + h + "' && mkdir -p Desktop .config .local/share");
    const auto before = test::Listing(h);

    // No one to accept the terms: nothing is installed, and the way to accept is named.
    std::string out;
    EXPECT_EQ(RunNoTerminal("'" + SetupPath() + "'", &out), 1);
    EXPECT_NE(out.find("--accept-terms"), std::string::npos) << out;
    EXPECT_FALSE(test::FileExists(folder + "/sonvex"));

    ASSERT_EQ(RunNoTerminal("'" + SetupPath() + "' --accept-terms", &out), 0) << out;
    ASSERT_EQ(test::RunShell("sox -n -r 44100 -c 2 -b 16 '" + h + "/a.wav' synth 1 sine 440"), 0);
    ASSERT_EQ(RunNoTerminal("'" + folder + "/sonvex' '" + h + "/a.wav' -format .mp3 -outfolder '" +
                                h + "' -convert -exit",
                            &out),
              0)
        << out;
    const auto mp3 = test::ReadBytes(h + "/a.mp3");
    ASSERT_GT(mp3.size(), 1000u);
    EXPECT_TRUE((mp3[0] == 0xFF && (mp3[1] & 0xE0) == 0xE0) || (mp3[0] == 'I' && mp3[1] == 'D'));
    if (test::HaveProgram("desktop-file-validate")) {
        for (const char* e : {"sonvex.desktop", "sonvex-help.desktop", "sonvex-uninstall.desktop",
                              "sonvex-convert.desktop"})
            EXPECT_EQ(test::DesktopFileProblems(h + "/.local/share/applications/" + e), "") << e;
        EXPECT_EQ(test::DesktopFileProblems(h + "/Desktop/sonvex.desktop"), "");
    }
    EXPECT_TRUE(test::FileExists(folder + "/help/index.html"));

    // The uninstaller hands over to a temporary copy, which removes the installation and
    // then itself.
    test::RunShell("rm -f '" + h + "/a.wav' '" + h + "/a.mp3'");
    ASSERT_EQ(RunNoTerminal("'" + folder + "/uninst' --yes", &out), 0) << out;
    EXPECT_FALSE(test::FileExists(folder));
    std::string left;
    test::RunShell("ls '" + h + "/tmp' | grep -c sonvex-uninst", &left);
    EXPECT_EQ(left, "0\n");
    auto after = test::Listing(h);
    after.erase("tmp/sonvex-0/");
    after.erase("tmp/sonvex-0/SonvexRunMutex.lock");
    EXPECT_EQ(after, before);
}

TEST(SetupProgram, ANameWithSetupNeedsThePackage) {
    test::ScopedHome home;
    const std::string h = home.home();
    // The plain program renamed, and a package whose last byte (its magic) was changed.
    ASSERT_EQ(test::RunShell("cp '" + test::ProgramPath() + "' '" + h + "/My-Setup.bin' && cp '" +
                             SetupPath() + "' '" + h + "/sonvex-setup' && printf x | dd of='" + h +
                             "/sonvex-setup' bs=1 seek=$(($(stat -c %s '" + h +
                             "/sonvex-setup') - 1)) conv=notrunc 2>/dev/null"),
              0);
    for (const char* name : {"My-Setup.bin", "sonvex-setup"}) {
        std::string out;
        EXPECT_EQ(RunNoTerminal("'" + h + "/" + name + "' --accept-terms", &out), 2) << name;
        EXPECT_NE(out.find("Installation file corrupt."), std::string::npos) << out;
        EXPECT_FALSE(test::FileExists(h + "/.local/share/verrowave")) << name;
    }
}

}  // namespace
}  // namespace sonvex
