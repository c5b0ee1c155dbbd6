#include "support/ConsoleHost.h"

#include <gtest/gtest.h>

#include <csignal>

#include "common/TestUtil.h"
#include "support/File.h"
#include "support/ProgressDialog.h"

namespace sonvex {
namespace {

// Ctrl-C while a job runs is the Cancel button: the next pump reports it, and every open job
// (the nested ones too) sees it; once the jobs are over Ctrl-C has its usual effect again.
TEST(ConsoleHost, InterruptCancelsRunningJobs) {
    LConsoleHost host;
    LUiHost* prev = SetUiHost(&host);
    int outerPumpsAfter = -1;
    LProgressJob outer("Outer", [&](LProgressDialog& d) {
        EXPECT_FALSE(d.PumpMessages());
        LProgressJob inner("Inner", [](LProgressDialog& i) {
            EXPECT_FALSE(i.PumpMessages());
            std::raise(SIGINT);
            EXPECT_TRUE(i.PumpMessages());
            return LPROCESS_STOPPED;
        });
        EXPECT_EQ(inner.Run(), LPROCESS_STOPPED);
        outerPumpsAfter = d.PumpMessages() ? 1 : 0;
        return LPROCESS_STOPPED;
    });
    EXPECT_EQ(outer.Run(), LPROCESS_STOPPED);
    EXPECT_EQ(outerPumpsAfter, 1);
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    // A new job starts uncancelled.
    LProgressJob fresh("Fresh", [](LProgressDialog& d) { return d.PumpMessages() ? 1 : 0; });
    EXPECT_EQ(fresh.Run(), 0);
    SetUiHost(prev);
}

// Without a terminal a question takes its unattended answer, else its first button.
TEST(ConsoleHost, UnattendedAnswers) {
    LConsoleHost host;
    if (LConsoleHost::Interactive()) GTEST_SKIP() << "standard input is a terminal";
    EXPECT_EQ(host.MessageBox("q", "Sonvex", MsgButtons::YesNoCancel, MsgIcon::Question, IDNO),
              IDNO);
    EXPECT_EQ(host.MessageBox("q", "Sonvex", MsgButtons::YesNoCancel, MsgIcon::Question), IDYES);
}

TEST(Folders, XdgLocations) {
    test::ScopedHome home;
    const std::string h = home.home();
    EXPECT_EQ(LFile::GetUserDataFolder(), h + "/.local/share/verrowave");
    EXPECT_EQ(LFile::GetUserDocumentsFolder(), h);  // no Documents folder yet
    test::RunShell("mkdir -p '" + h + "/Documents' '" + h + "/Docs' '" + h + "/.config'");
    EXPECT_EQ(LFile::GetUserDocumentsFolder(), h + "/Documents");
    const std::string dirs = "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n";
    test::WriteBytes(h + "/.config/user-dirs.dirs", std::vector<uint8_t>(dirs.begin(), dirs.end()));
    EXPECT_EQ(LFile::GetUserDocumentsFolder(), h + "/Docs");
    EXPECT_EQ(LFile::GetTempFolder(), h + "/tmp");
    test::RunShell("mkdir -p '" + h + "/t/a/b' && touch '" + h + "/t/x' '" + h + "/t/a/b/y'");
    EXPECT_TRUE(DeleteFolderTree(h + "/t"));
    EXPECT_FALSE(test::FileExists(h + "/t"));
}

}  // namespace
}  // namespace sonvex
