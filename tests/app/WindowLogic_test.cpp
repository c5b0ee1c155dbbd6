// The windowed program's logic without a display: keys, window placement, Program Settings,
// start-up rules, the rows a view follows and the help contexts.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/KeyTable.h"
#include "app/MainDialog.h"
#include "app/SettingsDlg.h"
#include "app/Startup.h"
#include "app/WindowPlacement.h"
#include "common/ScriptedHost.h"
#include "common/TestUtil.h"
#include "player/SoundPlayer.h"
#include "support/Help.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using test::ScopedHome;

// Modifiers must match exactly; Enter and Escape are swallowed. (The window tests press the
// table's keys for real.)
TEST(WindowLogic, KeyTable) {
    struct Case {
        int key;
        int command;
    };
    const Case cases[] = {
        {kKeyCtrl + 'A', MainDialog::CM_SELECTALL},
        {kKeyAlt + 'A', MainDialog::CM_ADD},
        {VK_RETURN, kKeySwallowed},
        {VK_ESCAPE, kKeySwallowed},
        {kKeyShift + VK_RETURN, kKeySwallowed},
        {'A', 0},
        {kKeyCtrl + kKeyShift + 'A', 0},
        {VK_DELETE, 0},
        {kKeyShift + VK_F3, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(MainDialogKeyCommand(c.key), c.command) << c.key;
}

TEST(WindowLogic, PlacementIsClampedAndStoredAsDesigned) {
    const LRect area{0, 0, 1280, 1000};
    struct Case {
        LRect stored, shown;
    };
    const Case cases[] = {
        {{160, 80, 500, 400}, {160, 80, 500, 400}},      // inside: unchanged
        {{1000, 900, 500, 400}, {780, 600, 500, 400}},   // partly off right and bottom
        {{-300, -50, 500, 400}, {0, 0, 500, 400}},       // off left and top
        {{5000, 4000, 500, 400}, {780, 600, 500, 400}},  // wholly off
        {{10, 10, 3000, 2000}, {0, 0, 1280, 1000}},      // larger than the area
        {{2147483000, 0, 500, 400}, {780, 0, 500, 400}},
    };
    for (const auto& c : cases) EXPECT_EQ(ClampToArea(c.stored, area), c.shown) << c.stored.x;
    EXPECT_EQ(ClampToArea({0, 0, 100, 100}, {50, 60, 800, 600}), (LRect{50, 60, 100, 100}));

    ScopedHome home;
    EXPECT_EQ(ReadWindowPlacement().rect, (LRect{160, 80, 500, 400}));
    StoreWindowPlacement(LWindowState::Normal, {1000, 20, 500, 300}, area);
    LWindowPlacement p = ReadWindowPlacement();
    EXPECT_EQ(p.rect, (LRect{1000, 20, 280, 300}));  // right edge clamped to the area's
    EXPECT_FALSE(p.bMaximized);
    StoreWindowPlacement(LWindowState::Maximized, {0, 0, 9, 9}, area);
    StoreWindowPlacement(LWindowState::Minimized, {1, 1, 9, 9}, area);
    p = ReadWindowPlacement();
    EXPECT_TRUE(p.bMaximized);
    EXPECT_EQ(p.rect, (LRect{1000, 20, 280, 300}));  // the normal rectangle kept
    EXPECT_EQ(SettingsReadString("MainDialog", "Maximized", ""), "1");
}

TEST(WindowLogic, ProgramSettingsShowAndStoreTheValues) {
    ScopedHome home;
    test::ScriptedHost host;
    int seenSel = -2;
    bool seenPrompt = false;
    host.onDialog = [&](LDialog& d) -> int {
        seenSel = d.ComboGetSel(LSettingsDlg::IDC_DEVICE);
        seenPrompt = d.IsChecked(LSettingsDlg::IDC_PROMPT);
        // The default first, then every output device the sound layer lists.
        const auto& items = d.Control(LSettingsDlg::IDC_DEVICE)->items;
        EXPECT_EQ(items.size(), static_cast<size_t>(LSoundPlayDevice::GetCount() + 1));
        EXPECT_EQ(items.at(0), "[Default Sound Out]");
        d.SetCheck(LSettingsDlg::IDC_NEVER, true);
        d.Command(LSettingsDlg::IDC_NEVER);
        // Files at once: one per core until chosen.
        EXPECT_EQ(d.ComboGetSel(LSettingsDlg::IDC_THREADS), 0);
        d.ComboSetSel(LSettingsDlg::IDC_THREADS, 3);
        return IDOK;
    };
    EXPECT_EQ(LSettingsDlg().DoModal(), IDOK);
    EXPECT_EQ(seenSel, 0);
    EXPECT_TRUE(seenPrompt);
    const char* keys[] = {"SoundOutDevice", "AlwaysPrompt", "AlwaysOverwrite",
                          "NeverOverwrite", "CancelAll",    "ConvertThreads"};
    const char* stored[] = {"0", "0", "0", "1", "0", "3"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(SettingsReadString("Settings", keys[i], "?"), stored[i]);
    EXPECT_EQ(ConvertThreadCount(), 3);

    // A device beyond the list selects nothing, and OK stores -1; Cancel stores nothing.
    SettingsWriteInt("Settings", "SoundOutDevice", 3);
    host.onDialog = [&](LDialog& d) {
        seenSel = d.ComboGetSel(LSettingsDlg::IDC_DEVICE);
        EXPECT_EQ(d.ComboGetSel(LSettingsDlg::IDC_THREADS), 3);
        EXPECT_TRUE(d.IsChecked(LSettingsDlg::IDC_NEVER));
        EXPECT_FALSE(d.IsChecked(LSettingsDlg::IDC_PROMPT));
        return IDOK;
    };
    LSettingsDlg().DoModal();
    EXPECT_EQ(seenSel, -1);
    EXPECT_EQ(SettingsReadString("Settings", "SoundOutDevice", ""), "-1");
    host.onDialog = [](LDialog& d) {
        d.SetCheck(LSettingsDlg::IDC_CANCELALL, true);
        return IDCANCEL;
    };
    EXPECT_EQ(LSettingsDlg().DoModal(), IDCANCEL);
    EXPECT_EQ(SettingsReadString("Settings", "CancelAll", ""), "0");
}

TEST(WindowLogic, StartUpRules) {
    struct Case {
        const char* szArgv0;
        bool bSetup;
    };
    const Case cases[] = {{"setup", true},         {"/opt/x/MySetup.exe", true},
                          {"SETUPX.bin", true},    {"/setup/sonvex", false},
                          {"sonvex.setup", false}, {"C:\\SETUP\\sonvex.exe", false},
                          {"sonvex", false}};
    for (const auto& c : cases) EXPECT_EQ(HasSetupName(c.szArgv0), c.bSetup) << c.szArgv0;

    ScopedHome home;
    const std::string f = home.home() + "/prog";
    test::WriteBytes(f, {1, 2, 3, 0xF0, 0xF0, 0x0F, 0x0F});
    EXPECT_EQ(ReadTrailerMagic(f), 0x0F0FF0F0u);
    test::WriteBytes(f, {0x0F, 0x0F, 0xF0, 0xF0});
    EXPECT_EQ(ReadTrailerMagic(f), 0xF0F00F0Fu);
    test::WriteBytes(f, {1, 2});
    EXPECT_EQ(ReadTrailerMagic(f), 0u);
    EXPECT_EQ(ReadTrailerMagic(f + ".missing"), 0u);

    // Relative paths are the sender's; verbs and format values stay as they are.
    EXPECT_EQ(ForwardedArguments({"sonvex", "a.wav", "/x/b.wav", "-format", "c.mp3", "-outfolder",
                                  "OUT", "-convert", "/install", "-outfolder"},
                                 "/home/u"),
              (std::vector<std::string>{"sonvex", "/home/u/a.wav", "/x/b.wav", "-format", "c.mp3",
                                        "-outfolder", "/home/u/OUT", "-convert", "/install",
                                        "-outfolder"}));
}

// Records what a view would be told.
struct RecordingObserver : LRowObserver {
    std::vector<std::string> calls;
    MainDialog* pDlg = nullptr;
    int nRowsSeen = 0;
    void BeginInsertRows(int f, int l) override { Add("insert", f, l); }
    void EndInsertRows() override { nRowsSeen = pDlg->RowCount(); }
    void BeginRemoveRows(int f, int l) override { Add("remove", f, l); }
    void EndRemoveRows() override { nRowsSeen = pDlg->RowCount(); }
    void RowsChanged(int f, int l) override { Add("changed", f, l); }
    void Add(const char* what, int f, int l) {
        // Told before the change: the rows are still as they were.
        EXPECT_EQ(pDlg->RowCount(), nRowsSeen) << what;
        calls.push_back(std::string(what) + " " + std::to_string(f) + "-" + std::to_string(l));
    }
};

TEST(WindowLogic, RowChangesAreToldToTheView) {
    ScopedHome home;
    test::ScriptedHost host;
    MainDialog dlg;
    RecordingObserver obs;
    obs.pDlg = &dlg;
    dlg.SetRowObserver(&obs);
    std::vector<std::string> args{"sonvex"};
    for (int i = 0; i < 6; ++i) {
        args.push_back(home.home() + "/f" + std::to_string(i) + ".wav");
        test::WriteBytes(args.back(), std::vector<uint8_t>(100, 1));
    }
    dlg.EvRunArguments(args);
    for (int r : {0, 1, 3, 5}) dlg.SetSelected(r, true);
    dlg.SetRowIcon(2, ICON_CONVERTED);
    dlg.CmRemoveFiles(false);
    ASSERT_EQ(dlg.RowCount(), 2);
    EXPECT_EQ(dlg.RowPath(0), args[3]);
    EXPECT_EQ(dlg.Rows()[0].iImage, ICON_CONVERTED);
    dlg.CmSelectAll();
    EXPECT_EQ(obs.calls,
              (std::vector<std::string>{"insert 0-0", "insert 1-1", "insert 2-2", "insert 3-3",
                                        "insert 4-4", "insert 5-5", "changed 2-2", "remove 5-5",
                                        "remove 3-3", "remove 0-1", "changed 0-1"}));
    dlg.SetRowObserver(nullptr);
}

TEST(WindowLogic, EveryHelpContextIsAnAnchorOfAnInstalledPage) {
    for (int context : {kHelpContents, kHelpMainWindow, kHelpCommandLine, kHelpProgramSettings,
                        kHelpRawSettings}) {
        const std::string page = HelpPage(context);
        const std::string file = page.substr(0, page.find('#'));
        std::ifstream in(std::string(SONVEX_BINARY_DIR) + "/help/" + file);
        ASSERT_TRUE(in) << file;
        std::stringstream text;
        text << in.rdbuf();
        if (context) {
            EXPECT_EQ(page, file + "#" + std::to_string(context));
            EXPECT_NE(text.str().find("id=\"" + std::to_string(context) + "\""), std::string::npos)
                << page;
        }
        EXPECT_NE(HelpAddress(context).find("/help/" + page), std::string::npos);
    }
    EXPECT_EQ(HelpPage(12345), "index.html");
}

}  // namespace
}  // namespace sonvex
