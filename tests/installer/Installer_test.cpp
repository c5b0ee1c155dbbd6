// The install and uninstall jobs in process, on packages built by the tests, in a scratch home.
#include "installer/Installer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/ScriptedHost.h"
#include "common/TestUtil.h"
#include "installer/HelpArchive.h"
#include "installer/InstallPlaces.h"
#include "installer/Package.h"
#include "platform/Registry.h"
#include "support/Settings.h"
#include "tests/installer/InstallerTestUtil.h"

namespace sonvex {
namespace {

// The sizes of a real package: program, help, encoder.
constexpr uint32_t kSizes[] = {356352, 19363, 110592};
constexpr uint64_t kPayload = 356352 + 19363 + 110592;

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    return v;
}

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Blanks, '$' and '%' in the data folder: every path written into a desktop entry must
        // be quoted and escaped.
        data_ = home_.home() + "/data dir $HOME 100%";
        setenv("XDG_DATA_HOME", data_.c_str(), 1);
        test::RunShell("mkdir -p '" + home_.home() + "/Desktop' '" + data_ + "/applications'");
        test::WriteBytes(data_ + "/applications/other.desktop", {'x'});
        RegistrySetValue(RegRoot::ClassesRoot, ".WAV", "@", "MyWave");
        for (size_t i = 0; i < 3; ++i) {
            files_.push_back(Noise(kSizes[i], static_cast<uint32_t>(i + 1)));
            paths_.push_back(home_.home() + "/payload" + std::to_string(i));
            test::WriteBytes(paths_.back(), files_.back());
        }
        package_ = home_.home() + "/sonvex-setup";
        std::string err;
        ASSERT_TRUE(WritePackage(package_, paths_, err)) << err;
    }

    int Install(bool bAccept = true) {
        PrepareInstallFolder();
        LInstallerSettings s;
        s.args = {package_};
        s.szProgramFile = package_;
        s.terms = [bAccept](LProgressDialog&) { return bAccept; };
        s.eStart = LStartMode::None;
        LInstallJob job(std::move(s));
        return job.Run();
    }

    int Uninstall() {
        LInstallerSettings s;
        s.args = {"uninst", "/uninstall"};
        s.szProgramFile = InstallFolder() + "/uninst";
        s.eStart = LStartMode::None;
        LUninstallJob job(std::move(s));
        return job.Run();
    }

    std::string Folder() const { return data_ + "/verrowave/sonvex"; }
    std::set<std::string> Installed() const {
        std::set<std::string> out;
        test::ListTree(Folder(), "", out);
        return out;
    }

    test::ScopedHome home_;
    test::ScriptedHost host_;
    std::string data_, package_;
    std::vector<std::vector<uint8_t>> files_;
    std::vector<std::string> paths_;
};

TEST_F(InstallerTest, InstallsThePayloadAndFinishes) {
    ASSERT_EQ(test::ReadBytes(package_).size(), kPayload + PackageTrailerBytes(3));
    ASSERT_EQ(Install(), LPROCESS_OK);
    EXPECT_TRUE(host_.messages.empty());
    // 4096-byte blocks, one pump after each.
    EXPECT_EQ(host_.nPumps, 87 + 5 + 27);

    auto program = files_[0];
    program.insert(program.end(), {0, 0, 0, 0});
    EXPECT_EQ(test::ReadBytes(Folder() + "/sonvex"), program);
    auto uninst = files_[0];
    uninst.insert(uninst.end(), {0x0F, 0x0F, 0xF0, 0xF0});
    EXPECT_EQ(test::ReadBytes(Folder() + "/uninst"), uninst);
    EXPECT_EQ(test::ReadBytes(Folder() + "/sonvex-help.tar"), files_[1]);
    EXPECT_FALSE(test::FileExists(Folder() + "/mp3el"));
    const std::string encoder = data_ + "/verrowave/Components/mp3el/mp3enc";
    EXPECT_EQ(test::ReadBytes(encoder), files_[2]);
    std::string path;
    EXPECT_TRUE(RegistryGetValue(RegRoot::LocalMachine, "Software\\Verrowave\\Components\\mp3el",
                                 "Path", path));
    EXPECT_EQ(path, encoder);

    // Private to the user: no one else may replace the program.
    struct stat st {};
    ASSERT_EQ(stat(Folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ASSERT_EQ(stat((data_ + "/verrowave").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 022, 0u);

    // File types: a type name that exists is kept, a missing one is made from the extension.
    std::string type, verb;
    const std::string command = Folder() + "/sonvex \"%L\"";
    for (const auto& [ext, name] : {std::pair{".WAV", "MyWave"}, {".RAW", "RAWfile"}}) {
        EXPECT_TRUE(RegistryGetValue(RegRoot::ClassesRoot, ext, "@", type));
        EXPECT_EQ(type, name);
        EXPECT_TRUE(RegistryGetValue(RegRoot::ClassesRoot,
                                     std::string(name) + "\\Shell\\Convert with Sonvex\\command",
                                     "@", verb));
        EXPECT_EQ(verb, command);
    }
    EXPECT_EQ(SettingsReadString("Settings", "Convert", ""), "\"" + Folder() + "/sonvex\" \"%s\"");
    EXPECT_TRUE(RegistryGetValue(RegRoot::LocalMachine, kUninstallKey, "UninstallString", path));
    EXPECT_EQ(path, Folder() + "/uninst");
}

TEST_F(InstallerTest, AChangedPayloadOrTrailerByteInstallsNothing) {
    const uint64_t offsets[] = {0,
                                356352,
                                kPayload - 1,
                                kPayload,               // the stored hash
                                kPayload + 32 + 3 * 4,  // the stored byte sum
                                kPayload + 32 + 1};     // a size
    const auto original = test::ReadBytes(package_);
    for (uint64_t at : offsets) {
        auto bytes = original;
        bytes[at] ^= 0x01;
        test::WriteBytes(package_, bytes);
        host_.messages.clear();
        EXPECT_EQ(Install(), LPROCESS_FAILED) << at;
        ASSERT_EQ(host_.messages.size(), 1u) << at;
        EXPECT_EQ(host_.messages[0].szText, kCorruptInstallText);
        EXPECT_EQ(host_.messages[0].szCaption, "Install Error");
        EXPECT_TRUE(Installed().empty()) << at;
        EXPECT_FALSE(test::FileExists(data_ + "/applications/sonvex.desktop"));
        EXPECT_FALSE(test::FileExists(data_ + "/verrowave/Components"));
    }
    // 4096 bytes moved from the program to the help: same total, same byte sum.
    auto moved = original;
    moved[kPayload + 32 + 1] -= 0x10;
    moved[kPayload + 32 + 4 + 1] += 0x10;
    test::WriteBytes(package_, moved);
    EXPECT_EQ(Install(), LPROCESS_FAILED);
    EXPECT_TRUE(Installed().empty());
}

TEST_F(InstallerTest, CancelKeepsOnlyTheFilesCopiedWhole) {
    host_.iCancelAtPump = 90;  // three blocks into the help
    EXPECT_EQ(Install(), LPROCESS_STOPPED);
    EXPECT_EQ(Installed(), std::set<std::string>{"sonvex"});
    EXPECT_EQ(test::ReadBytes(Folder() + "/sonvex"), files_[0]);
    EXPECT_FALSE(test::FileExists(data_ + "/applications/sonvex.desktop"));
}

// An install folder that is a link (or not the user's own) is never written through.
TEST_F(InstallerTest, ALinkedInstallFolderIsRefused) {
    const std::string elsewhere = home_.home() + "/Music";
    test::RunShell("mkdir -p '" + elsewhere + "' '" + data_ + "/verrowave' && ln -s '" +
                   elsewhere + "' '" + Folder() + "'");
    EXPECT_EQ(Install(), LPROCESS_FAILED);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].szText, kAdministratorText);
    test::WriteBytes(elsewhere + "/song.wav", {1});
    // Uninstalling leaves it too, and says so.
    host_.answers = {IDYES, IDOK};
    EXPECT_EQ(Uninstall(), LPROCESS_FAILED);
    EXPECT_NE(host_.messages.back().szText.find("was not removed"), std::string::npos);
    std::set<std::string> left;
    test::ListTree(elsewhere, "", left);
    EXPECT_EQ(left, std::set<std::string>{"song.wav"});
}

TEST_F(InstallerTest, DeclinedTermsCopyNothing) {
    EXPECT_EQ(Install(/*bAccept=*/false), LPROCESS_STOPPED);
    EXPECT_EQ(host_.nPumps, 0);
    EXPECT_TRUE(Installed().empty());
}

TEST_F(InstallerTest, UninstallRemovesWhatInstallMade) {
    const auto before = test::Listing(home_.home());
    ASSERT_EQ(Install(), LPROCESS_OK);
    for (const char* e : {kProgramEntry, kHelpEntry, kUninstallEntry, kConvertEntry})
        EXPECT_EQ(test::DesktopFileProblems(data_ + "/applications/" + e), "") << e;
    EXPECT_EQ(test::DesktopFileProblems(home_.home() + "/Desktop/sonvex.desktop"), "");

    host_.answers = {IDNO};
    EXPECT_EQ(Uninstall(), LPROCESS_STOPPED);
    EXPECT_TRUE(test::FileExists(Folder() + "/sonvex"));
    ASSERT_EQ(host_.messages.back().szText, kUninstallQuestion);

    host_.answers = {IDYES};
    EXPECT_EQ(Uninstall(), LPROCESS_OK);
    EXPECT_EQ(test::Listing(home_.home()), before);
    // The component stays; the program's keys and verbs go; a type name that was there stays.
    std::string v;
    EXPECT_TRUE(test::FileExists(data_ + "/verrowave/Components/mp3el/mp3enc"));
    EXPECT_TRUE(RegistryGetValue(RegRoot::LocalMachine, "Software\\Verrowave\\Components\\mp3el",
                                 "Path", v));
    EXPECT_FALSE(RegistryGetValue(RegRoot::LocalMachine, kUninstallKey, "DisplayName", v));
    EXPECT_FALSE(RegistryGetValue(RegRoot::LocalMachine, "Software\\Verrowave\\Sonvex\\Settings",
                                  "Convert", v));
    EXPECT_FALSE(RegistryGetValue(RegRoot::ClassesRoot,
                                  "MyWave\\Shell\\Convert with Sonvex\\command", "@", v));
    EXPECT_TRUE(RegistryGetValue(RegRoot::ClassesRoot, ".WAV", "@", v));
    EXPECT_EQ(v, "MyWave");
}

TEST(InstallFolderGuard, RefusesWhatInstallationDidNotMake) {
    test::ScopedHome home;
    const std::string h = home.home();
    test::RunShell("mkdir -p '" + h + "/a/verrowave/sonvex/x' '" + h + "/b/verrowave' && ln -s '" +
                   h + "' '" + h + "/b/verrowave/sonvex'");
    const struct {
        std::string szPath;
        bool bRemovable;
    } cases[] = {
        {"", false},
        {"/", false},
        {h, false},
        {h + "/", false},
        {h + "/a/verrowave/sonvex/..", false},
        {h + "/a/verrowave/sonvex/x", false},
        {h + "/a/verrowave/../verrowave/sonvex", false},
        {"a/verrowave/sonvex", false},
        {h + "/b/verrowave/sonvex", false},  // a link to the home folder
        {h + "/a/verrowave/sonvex/", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRemovableInstallFolder(c.szPath), c.bRemovable) << c.szPath;
    EXPECT_FALSE(DeleteInstallFolder(h + "/b/verrowave/sonvex"));
    EXPECT_TRUE(test::FileExists(h + "/a"));
    EXPECT_TRUE(DeleteInstallFolder(h + "/a/verrowave/sonvex"));
    EXPECT_FALSE(test::FileExists(h + "/a/verrowave/sonvex"));
}

TEST(HelpArchive, UnpacksFilesAndRefusesNamesThatLeaveTheFolder) {
    if (!test::HaveProgram("python3")) GTEST_SKIP() << "python3 missing";
    test::TempDir dir;
    const std::string tar = dir.file("help.tar");
    ASSERT_EQ(test::RunShell("python3 -c \"import io, tarfile, sys\n"
                             "t = tarfile.open(sys.argv[1], 'w', format=tarfile.USTAR_FORMAT)\n"
                             "def add(n, d=b'x', kind=tarfile.REGTYPE, link=''):\n"
                             "    i = tarfile.TarInfo(n); i.size = len(d); i.type = kind\n"
                             "    i.linkname = link; t.addfile(i, io.BytesIO(d))\n"
                             "add('index.html', b'<p>help</p>'); add('img/a.svg')\n"
                             "add('../evil'); add('/tmp/abs-evil'); add('img/../../evil2')\n"
                             "add('lnk', b'', tarfile.SYMTYPE, '/etc/passwd')\n"
                             "t.close()\" '" +
                             tar + "'"),
              0);
    ASSERT_TRUE(UnpackHelpArchive(tar, dir.file("help")));
    std::set<std::string> files;
    test::ListTree(dir.path(), "", files);
    EXPECT_EQ(files, (std::set<std::string>{"help.tar", "help/", "help/img/", "help/img/a.svg",
                                            "help/index.html"}));
    const std::string text = "<p>help</p>";
    EXPECT_EQ(test::ReadBytes(dir.file("help/index.html")),
              std::vector<uint8_t>(text.begin(), text.end()));
    test::WriteBytes(dir.file("junk.tar"), std::vector<uint8_t>(1024, 'j'));
    EXPECT_FALSE(UnpackHelpArchive(dir.file("junk.tar"), dir.file("out2")));
}

}  // namespace
}  // namespace sonvex
