// Component lookup and install-on-demand: the local installers and their registry writes,
// downloads from real FTP servers on 127.0.0.1, the installer pin, Cancel and the fallback.
#include "encoders/Components.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <chrono>

#include "common/ScriptedHost.h"
#include "encoders/EncTestUtil.h"
#include "support/File.h"
#include "support/Ftp.h"
#include "support/Process.h"
#include "support/Sha256.h"

using namespace sonvex;
using namespace sonvex::test;

namespace {

const char kServerScript[] = R"(
import os, sys, logging
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
root, portfile, logfile = sys.argv[1], sys.argv[2], sys.argv[3]
logging.basicConfig(level=logging.CRITICAL)
auth = DummyAuthorizer()
auth.add_anonymous(root)
class Handler(FTPHandler):
    def on_connect(self):
        with open(logfile, "a") as f:
            f.write("connect\n")
Handler.authorizer = auth
server = FTPServer(("127.0.0.1", 0), Handler)
with open(portfile + ".tmp", "w") as f:
    f.write(str(server.socket.getsockname()[1]))
os.rename(portfile + ".tmp", portfile)
server.serve_forever()
)";

// An anonymous FTP server serving <root>/components/.
class FtpServer {
public:
    FtpServer() {
        mkdir(dir_.file("root").c_str(), 0755);
        mkdir(dir_.file("root/components").c_str(), 0755);
        std::string script = dir_.file("server.py");
        WriteBytes(script,
                   std::vector<uint8_t>(kServerScript, kServerScript + strlen(kServerScript)));
        LChildProcess::Options o;
        o.stderrMode = LChildProcess::Stdio::Null;
        o.stdoutMode = LChildProcess::Stdio::Null;
        bool started = process_.Start(
            {"/usr/bin/python3", script, dir_.file("root"), dir_.file("port"), dir_.file("log")},
            o);
        if (started && WaitUntil([&] { return FileExists(dir_.file("port")); }, 20000)) {
            std::vector<uint8_t> p = ReadBytes(dir_.file("port"));
            port_ = std::stoi(std::string(p.begin(), p.end()));
        }
    }
    ~FtpServer() { process_.Terminate(2000); }
    bool ok() const { return port_ > 0; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    void Serve(const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteBytes(dir_.file("root/components/" + name), bytes);
    }
    int Connections() const { return static_cast<int>(ReadLines(dir_.file("log")).size()); }

private:
    TempDir dir_;
    LChildProcess process_;
    int port_ = 0;
};

// A port on 127.0.0.1 where nobody listens.
int ClosedPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

bool HavePyFtpd() {
    return RunShell("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") == 0;
}

// An installer that registers component "fakeenc" and notes that it ran, with how many
// arguments.
std::vector<uint8_t> InstallerBytes(const std::string& marker) {
    std::string s =
        "#!/bin/sh\n"
        "echo \"$#\" > '" +
        marker + "'\n. '" + ComponentsFolder() +
        "/component-lib.sh'\nregister_component fakeenc /bin/true\n";
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string Sha256Of(const std::string& path) {
    std::string out;
    RunShell("sha256sum '" + path + "'", &out);
    return out.substr(0, 64);
}

void PinInstaller(const std::string& name, const std::string& hex) {
    RegistryWriteString(RegRoot::LocalMachine, ComponentKey(name), "InstallerSHA256", hex);
}

void UseServers(const std::string& primary, const std::string& fallback) {
    SettingsWriteString("Components", "PrimaryServer", primary);
    SettingsWriteString("Components", "FallbackServer", fallback);
}

int RunLookup(const std::string& name, std::string* pPath = nullptr,
              const LInstallOptions& options = {}) {
    LProcessGetComponentPath job(name, "Install-on-Demand", options);
    int r = job.Run();
    if (pPath) *pPath = job.Path();
    return r;
}

bool HasMessageAbout(const ScriptedHost& host, const std::string& name) {
    for (const auto& m : host.messages)
        if (m.szText.find("Sonvex cannot install the required install-on-demand component \"" +
                          name + "\". Please download it from ") == 0 &&
            m.szCaption == "Error")
            return true;
    return false;
}

}  // namespace

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc", 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::string m(1000, 'a');
    TempDir dir;
    WriteBytes(dir.file("f"), std::vector<uint8_t>(m.begin(), m.end()));
    EXPECT_EQ(FileSha256Hex(dir.file("f")), Sha256Of(dir.file("f")));
    EXPECT_EQ(FileSha256Hex(dir.file("missing")), "");
}

TEST(ComponentLookup, RegisteredPathIsFoundWithoutInstalling) {
    ScopedHome home;
    ScriptedHost host;
    std::string path = "stale";
    EXPECT_FALSE(GetComponentPath("mp3el", path));
    EXPECT_EQ(path, "");
    // A registered path that is empty, gone, or not executable counts as not installed.
    TempDir dir;
    WriteBytes(dir.file("plain"), {'x'});
    for (const std::string& stale : {std::string(), dir.file("gone"), dir.file("plain")}) {
        RegisterComponent("mp3el", stale);
        EXPECT_FALSE(GetComponentPath("mp3el", path)) << stale;
    }
    WriteScript(dir.file("mp3el"), "exit 0");
    RegisterComponent("mp3el", dir.file("mp3el"));
    // No server would answer: a lookup that touched the network would fail.
    UseServers("127.0.0.1:" + std::to_string(ClosedPort()), "127.0.0.1:1");
    EXPECT_EQ(RunLookup("mp3el", &path), LPROCESS_OK);
    EXPECT_EQ(path, dir.file("mp3el"));
    EXPECT_TRUE(host.messages.empty());
    for (const auto& c : host.calls) EXPECT_EQ(c.find("text0:Download"), std::string::npos);
}

TEST(LocalInstallers, RegisterEachAdapterWhenItsToolIsPresent) {
    ScopedHome home;
    ScriptedHost host;
    UseServers("127.0.0.1:" + std::to_string(ClosedPort()),
               "127.0.0.1:" + std::to_string(ClosedPort()));
    const char* names[] = {"mp3el", "oggenc", "flacenc", "aacenc", "oggdec", "flacdec", "aacdec"};
    for (const char* n : names) {
        std::string path;
        EXPECT_EQ(RunLookup(n, &path), LPROCESS_OK) << n;
        EXPECT_EQ(path, ComponentsFolder() + "/" + n);
        EXPECT_EQ(access(path.c_str(), X_OK), 0) << path;
    }
    EXPECT_TRUE(host.messages.empty());
    // Other sections and values survive the installers' rewrites.
    SettingsWriteString("Settings", "Keep", "a\\b");
    RegistryWriteString(RegRoot::LocalMachine, ComponentKey("mp3el"), "Other", "x");
    RegisterComponent("mp3el", "/elsewhere");
    ASSERT_EQ(RunShell("'" + ComponentsFolder() + "/install-mp3el'"), 0);
    std::string v;
    EXPECT_TRUE(GetComponentPath("mp3el", v));
    EXPECT_EQ(v, ComponentsFolder() + "/mp3el");
    EXPECT_EQ(SettingsReadString("Settings", "Keep", ""), "a\\b");
    EXPECT_TRUE(RegistryReadString(RegRoot::LocalMachine, ComponentKey("mp3el"), "Other", v, ""));
    EXPECT_EQ(v, "x");
    EXPECT_TRUE(GetComponentPath("flacdec", v));
}

TEST(LocalInstallers, PathsWithBackslashesAreEscaped) {
    ScopedHome home;
    TempDir dir;
    // A copy of the components in a folder whose name has a backslash and a blank.
    std::string folder = dir.file("odd\\ dir");
    ASSERT_EQ(RunShell("mkdir -p '" + folder + "' && cp '" + ComponentsFolder() + "'/* '" + folder +
                       "'/"),
              0);
    ASSERT_EQ(RunShell("'" + folder + "/install-flacenc'"), 0);
    std::string v;
    ASSERT_TRUE(GetComponentPath("flacenc", v));
    EXPECT_EQ(v, folder + "/flacenc");
}

TEST(LocalInstallers, MissingToolNamesTheDebianPackage) {
    ScopedHome home;
    TempDir bin;
    // A PATH with the shell's own tools but without the encoders.
    for (const char* t :
         {"sh", "dirname", "basename", "awk", "sed", "mkdir", "mv", "flock", "rm", "cat"})
        RunShell(std::string("ln -s \"$(command -v ") + t + ")\" '" + bin.path() + "/" + t + "'");
    struct Case {
        const char* name;
        const char* package;
    };
    for (Case c : {Case{"mp3el", "lame"}, Case{"oggenc", "vorbis-tools"}, Case{"flacdec", "flac"},
                   Case{"aacenc", "ffmpeg"}}) {
        std::string out;
        int rc = RunShell(
            "PATH='" + bin.path() + "' '" + ComponentsFolder() + "/install-" + c.name + "' 2>&1",
            &out);
        EXPECT_NE(rc, 0) << c.name;
        EXPECT_NE(out.find(std::string("\"") + c.package + "\""), std::string::npos) << out;
        std::string v;
        EXPECT_FALSE(GetComponentPath(c.name, v));
    }
}

TEST(InstallOnDemand, CancelDuringTheLocalInstallerStopsWithoutMessage) {
    ScopedHome home;
    ScriptedHost host;
    TempDir folder;
    // It runs on after Cancel: it lets go of our output streams and is ended below.
    WriteScript(folder.file("install-slow"),
                "echo $$ > '" + folder.file("pid") + "'\nexec sleep 30 >/dev/null 2>&1");
    host.iCancelAtPump = 3;
    std::string path;
    LInstallOptions options;
    options.szInstallerFolder = folder.path();
    EXPECT_EQ(RunLookup("slow", &path, options), LPROCESS_STOPPED);
    if (FileExists(folder.file("pid")))
        kill(std::stoi(ReadLines(folder.file("pid")).at(0)), SIGKILL);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(path.empty());
}

class FtpInstall : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HavePyFtpd()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
    }
    ScopedHome home_;
    ScriptedHost host_;
    TempDir marker_;
};

TEST_F(FtpInstall, DownloadsChecksThePinRunsAndLooksUpAgain) {
    FtpServer primary;
    ASSERT_TRUE(primary.ok());
    std::vector<uint8_t> inst = InstallerBytes(marker_.file("ran"));
    primary.Serve("fakeenc.exe", inst);
    WriteBytes(marker_.file("copy"), inst);
    PinInstaller("fakeenc", Sha256Of(marker_.file("copy")));
    UseServers(primary.address(), "127.0.0.1:" + std::to_string(ClosedPort()));

    std::string path;
    EXPECT_EQ(RunLookup("fakeenc", &path), LPROCESS_OK);
    EXPECT_EQ(path, "/bin/true");
    ASSERT_TRUE(FileExists(marker_.file("ran")));
    EXPECT_EQ(ReadLines(marker_.file("ran")), std::vector<std::string>{"0"});  // no arguments
    EXPECT_FALSE(FileExists(LFile::GetTempFolder() + "/fakeenc.exe"));
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_EQ(primary.Connections(), 1);
    // Status lines and the first steps of the bar.
    auto has = [&](const std::string& c) {
        return std::find(host_.calls.begin(), host_.calls.end(), c) != host_.calls.end();
    };
    EXPECT_TRUE(has("open:Install-on-Demand"));
    EXPECT_TRUE(has("text0:Download install-on-demand"));
    EXPECT_TRUE(has("text1:fakeenc.exe"));
    EXPECT_TRUE(has("text0:Downloading"));
    EXPECT_TRUE(has("text0:Running install-on-demand"));
    EXPECT_TRUE(has("progress:5"));

    // A second lookup finds it without any connection.
    EXPECT_EQ(RunLookup("fakeenc", &path), LPROCESS_OK);
    EXPECT_EQ(primary.Connections(), 1);
}

TEST_F(FtpInstall, PinMismatchDeletesTheInstallerUnrun) {
    FtpServer primary;
    ASSERT_TRUE(primary.ok());
    primary.Serve("fakeenc.exe", InstallerBytes(marker_.file("ran")));
    PinInstaller("fakeenc", std::string(64, '0'));
    UseServers(primary.address(), "127.0.0.1:" + std::to_string(ClosedPort()));
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_FAILED);
    EXPECT_FALSE(FileExists(marker_.file("ran")));
    EXPECT_FALSE(FileExists(LFile::GetTempFolder() + "/fakeenc.exe"));
    EXPECT_TRUE(HasMessageAbout(host_, "fakeenc"));

    // No pin at all: the same.
    RegistryDeleteValue(RegRoot::LocalMachine, ComponentKey("fakeenc"), "InstallerSHA256");
    host_.messages.clear();
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_FAILED);
    EXPECT_FALSE(FileExists(marker_.file("ran")));
    EXPECT_TRUE(HasMessageAbout(host_, "fakeenc"));
}

TEST_F(FtpInstall, FallbackServerWhenThePrimaryIsDown) {
    FtpServer fallback;
    ASSERT_TRUE(fallback.ok());
    std::vector<uint8_t> inst = InstallerBytes(marker_.file("ran"));
    fallback.Serve("fakeenc.exe", inst);
    WriteBytes(marker_.file("copy"), inst);
    // A pin in upper case matches too.
    std::string pin = Sha256Of(marker_.file("copy"));
    for (char& c : pin) c = static_cast<char>(toupper(c));
    PinInstaller("fakeenc", pin);
    UseServers("127.0.0.1:" + std::to_string(ClosedPort()), fallback.address());
    std::string path;
    EXPECT_EQ(RunLookup("fakeenc", &path), LPROCESS_OK);
    EXPECT_EQ(path, "/bin/true");
    EXPECT_TRUE(FileExists(marker_.file("ran")));
    EXPECT_EQ(fallback.Connections(), 1);
}

TEST_F(FtpInstall, MissingOnBothServersTriesEachOnceThenFails) {
    FtpServer primary, fallback;
    ASSERT_TRUE(primary.ok() && fallback.ok());
    UseServers(primary.address(), fallback.address());
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_FAILED);
    EXPECT_EQ(primary.Connections(), 1);
    EXPECT_EQ(fallback.Connections(), 1);
    EXPECT_TRUE(HasMessageAbout(host_, "fakeenc"));
    EXPECT_EQ(host_.messages.size(), 1u);
}

TEST_F(FtpInstall, CancelDuringTheDownloadDoesNotTryTheFallback) {
    FtpServer primary, fallback;
    ASSERT_TRUE(primary.ok() && fallback.ok());
    std::vector<uint8_t> big(200000, 'x');
    primary.Serve("fakeenc.exe", big);
    fallback.Serve("fakeenc.exe", InstallerBytes(marker_.file("ran")));
    UseServers(primary.address(), fallback.address());
    host_.iCancelAtPump = 50;
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_STOPPED);
    EXPECT_EQ(fallback.Connections(), 0);
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_FALSE(FileExists(marker_.file("ran")));
    EXPECT_FALSE(FileExists(LFile::GetTempFolder() + "/fakeenc.exe"));
}

TEST_F(FtpInstall, ProgressSteps256BytesPerReadAgainstTheReportedSize) {
    FtpServer primary;
    ASSERT_TRUE(primary.ok());
    std::vector<uint8_t> data(25600);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    primary.Serve("blob.exe", data);
    std::string local = LFile::GetTempFolder() + "/blob.bin";
    LProgressJob job("Download", [&](LProgressDialog& pd) -> int {
        LFileTransferProtocol ftp;
        if (!ftp.LogOnServer(primary.address()) || !ftp.SetCurrentDirectory("components"))
            return LPROCESS_FAILED;
        int r = ProcessFtpDownload(pd, "blob.exe", local, ftp);
        ftp.Disconnect();
        return r;
    });
    EXPECT_EQ(job.Run(), LPROCESS_OK);
    EXPECT_EQ(ReadBytes(local), data);
    std::vector<int> progress;
    for (const auto& c : host_.calls)
        if (c.rfind("progress:", 0) == 0) progress.push_back(std::stoi(c.substr(9)));
    // 5% after opening, then one step before each of 101 reads: 10% ... 100%.
    ASSERT_EQ(progress.size(), 102u);
    EXPECT_EQ(progress[0], 5);
    EXPECT_EQ(progress[1], 10);
    EXPECT_EQ(progress[51], 55);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(progress[progress.size() - 2], 99);

    // A missing remote file or folder fails.
    LProgressJob missing("Download", [&](LProgressDialog& pd) -> int {
        LFileTransferProtocol ftp;
        if (!ftp.LogOnServer(primary.address())) return LPROCESS_FAILED;
        EXPECT_FALSE(ftp.SetCurrentDirectory("no-such-folder"));
        EXPECT_TRUE(ftp.SetCurrentDirectory("components"));
        return ProcessFtpDownload(pd, "none.exe", local, ftp);
    });
    EXPECT_EQ(missing.Run(), LPROCESS_FAILED);
}

namespace sonvex {
namespace {

// A server that accepts the connection and never says a word ends in a failure, not a hang.
TEST(FtpClient, SilentServerFailsInsteadOfHanging) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(fd, 4), 0);  // the kernel completes the handshake; nobody answers
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    LFileTransferProtocol ftp;
    ftp.SetStallTimeoutSeconds(1);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(ftp.LogOnServer("127.0.0.1:" + std::to_string(ntohs(a.sin_port))));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    close(fd);
}

}  // namespace
}  // namespace sonvex
