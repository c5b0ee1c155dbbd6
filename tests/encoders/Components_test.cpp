// Component lookup and install-on-demand: the local installers and their registry writes,
// downloads from real FTP servers on 127.0.0.1, the installer pin, Cancel and the fallback.
#include "encoders/Components.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

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

// A socket on 127.0.0.1, listening or not, and its address.
int LocalSocket(bool listening, std::string& address) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (listening) listen(fd, 4);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    address = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    return fd;
}

// An address where nobody listens.
std::string ClosedServer() {
    std::string address;
    close(LocalSocket(false, address));
    return address;
}

bool HavePyFtpd() {
    return RunShell("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") == 0;
}

std::string Sha256Of(const std::vector<uint8_t>& bytes) {
    TempDir dir;
    WriteBytes(dir.file("f"), bytes);
    std::string out;
    RunShell("sha256sum '" + dir.file("f") + "'", &out);
    return out.substr(0, 64);
}

void UseServers(const std::string& primary, const std::string& fallback) {
    SettingsWriteString("Components", "PrimaryServer", primary);
    SettingsWriteString("Components", "FallbackServer", fallback);
}

int RunLookup(const std::string& name, std::string* pPath = nullptr) {
    LProcessGetComponentPath job(name);
    int r = job.Run();
    if (pPath) *pPath = job.Path();
    return r;
}

}  // namespace

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc", 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::vector<uint8_t> m(1000, 'a');
    TempDir dir;
    WriteBytes(dir.file("f"), m);
    EXPECT_EQ(FileSha256Hex(dir.file("f")), Sha256Of(m));
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
    UseServers(ClosedServer(), ClosedServer());
    EXPECT_EQ(RunLookup("mp3el", &path), LPROCESS_OK);
    EXPECT_EQ(path, dir.file("mp3el"));
    EXPECT_TRUE(host.messages.empty());
}

// The shipped installers (each one runs in the real-tool tests) rewrite only their own value.
TEST(LocalInstallers, RegisterTheAdapterAndKeepOtherValues) {
    if (!HaveProgram("lame")) GTEST_SKIP() << "lame is not installed";
    ScopedHome home;
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
    for (auto [name, package] : {std::pair{"mp3el", "lame"}, std::pair{"oggenc", "vorbis-tools"},
                                 std::pair{"flacdec", "flac"}, std::pair{"aacenc", "ffmpeg"}}) {
        std::string out, v;
        EXPECT_NE(RunShell("PATH='" + bin.path() + "' '" + ComponentsFolder() + "/install-" + name +
                               "' 2>&1",
                           &out),
                  0)
            << name;
        EXPECT_NE(out.find(std::string("\"") + package + "\""), std::string::npos) << out;
        EXPECT_FALSE(GetComponentPath(name, v));
    }
}

// Downloads of "fakeenc.exe", an installer that registers "fakeenc" as /bin/true and notes
// how many arguments it was given.
class FtpInstall : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HavePyFtpd()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
    }
    std::vector<uint8_t> Installer() const {
        std::string s = "#!/bin/sh\necho \"$#\" > '" + marker_.file("ran") + "'\n. '" +
                        ComponentsFolder() +
                        "/component-lib.sh'\nregister_component fakeenc /bin/true\n";
        return std::vector<uint8_t>(s.begin(), s.end());
    }
    void Pin(const std::string& hex) {
        RegistryWriteString(RegRoot::LocalMachine, ComponentKey("fakeenc"), "InstallerSHA256", hex);
    }
    bool Ran() const { return FileExists(marker_.file("ran")); }
    bool DownloadLeftBehind() const { return FileExists(LFile::GetTempFolder() + "/fakeenc.exe"); }
    // The one failure message, naming the component.
    void ExpectFailureMessage() {
        ASSERT_EQ(host_.messages.size(), 1u);
        EXPECT_NE(host_.messages[0].szText.find("\"fakeenc\""), std::string::npos);
        host_.messages.clear();
    }
    ScopedHome home_;
    ScriptedHost host_;
    TempDir marker_;
};

TEST_F(FtpInstall, DownloadsChecksThePinRunsAndLooksUpAgain) {
    FtpServer primary;
    ASSERT_TRUE(primary.ok());
    primary.Serve("fakeenc.exe", Installer());
    std::string pin = Sha256Of(Installer());
    for (char& c : pin) c = static_cast<char>(toupper(c));  // a pin in upper case matches too
    Pin(pin);
    UseServers(primary.address(), ClosedServer());
    std::string path;
    EXPECT_EQ(RunLookup("fakeenc", &path), LPROCESS_OK);
    EXPECT_EQ(path, "/bin/true");
    ASSERT_TRUE(Ran());
    EXPECT_EQ(ReadLines(marker_.file("ran")), std::vector<std::string>{"0"});  // no arguments
    EXPECT_FALSE(DownloadLeftBehind());
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_EQ(primary.Connections(), 1);
    // A second lookup finds it without any connection.
    EXPECT_EQ(RunLookup("fakeenc", &path), LPROCESS_OK);
    EXPECT_EQ(primary.Connections(), 1);
}

// Each server is tried once. With the primary down the fallback serves; a wrong or missing pin
// deletes the installer unrun.
TEST_F(FtpInstall, FallbackServerAndThePin) {
    FtpServer empty, fallback;
    ASSERT_TRUE(empty.ok() && fallback.ok());
    UseServers(empty.address(), fallback.address());
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_FAILED);
    EXPECT_EQ(empty.Connections(), 1);
    EXPECT_EQ(fallback.Connections(), 1);
    ExpectFailureMessage();

    fallback.Serve("fakeenc.exe", Installer());
    UseServers(ClosedServer(), fallback.address());
    Pin(std::string(64, '0'));
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_FAILED);
    EXPECT_EQ(fallback.Connections(), 2);
    ExpectFailureMessage();
    RegistryDeleteValue(RegRoot::LocalMachine, ComponentKey("fakeenc"), "InstallerSHA256");
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_FAILED);
    ExpectFailureMessage();
    EXPECT_FALSE(Ran());
    EXPECT_FALSE(DownloadLeftBehind());

    Pin(Sha256Of(Installer()));
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_OK);
    EXPECT_TRUE(Ran());
    EXPECT_EQ(fallback.Connections(), 4);
}

TEST_F(FtpInstall, CancelDuringTheDownloadDoesNotTryTheFallback) {
    FtpServer primary, fallback;
    ASSERT_TRUE(primary.ok() && fallback.ok());
    primary.Serve("fakeenc.exe", std::vector<uint8_t>(200000, 'x'));
    fallback.Serve("fakeenc.exe", Installer());
    UseServers(primary.address(), fallback.address());
    host_.iCancelAtPump = 50;
    EXPECT_EQ(RunLookup("fakeenc"), LPROCESS_STOPPED);
    EXPECT_EQ(fallback.Connections(), 0);
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_FALSE(Ran());
    EXPECT_FALSE(DownloadLeftBehind());
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
        if (!ftp.LogOnServer(primary.address())) return LPROCESS_FAILED;
        EXPECT_FALSE(ftp.SetCurrentDirectory("no-such-folder"));
        if (!ftp.SetCurrentDirectory("components")) return LPROCESS_FAILED;
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
    EXPECT_EQ(progress[100], 99);
    EXPECT_EQ(progress[101], 100);
}

// A server that accepts the connection and never says a word ends in a failure, not a hang.
TEST(FtpClient, SilentServerFailsInsteadOfHanging) {
    std::string address;
    int fd = LocalSocket(true, address);  // the kernel completes the handshake; nobody answers
    LFileTransferProtocol ftp;
    ftp.SetStallTimeoutSeconds(1);
    EXPECT_FALSE(ftp.LogOnServer(address));
    close(fd);
}
