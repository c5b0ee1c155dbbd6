#include "encoders/Components.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>

#include "platform/Debug.h"
#include "support/File.h"
#include "support/Ftp.h"
#include "support/Process.h"
#include "support/Settings.h"
#include "support/Sha256.h"

namespace sonvex {

namespace {

constexpr const char* kServersSection = "Components";
constexpr const char* kDefaultPrimaryServer = "ftp.verrowave.com";
constexpr const char* kDefaultFallbackServer = "ftp2.verrowave.com";
constexpr const char* kComponentsPage = "https://www.verrowave.com/sonvex/components.html";
constexpr const char* kServerFolder = "components";

std::mutex g_folderMutex;
// Adapters found usable by their installer but not registered (a read-only configuration):
// they serve the rest of this run.
std::map<std::string, std::string> g_unregistered;

// The exit status of a local installer that found its tool but could not register it.
constexpr int kInstallerUnregistered = 3;

std::string ProgramFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = '\0';
    std::string p(buf);
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// Runs an installer and waits for it inside the job. 0 ended (exit code in *pExit),
// 1 cancelled, 2 timed out, -1 could not start. A cancelled or late installer runs on.
int RunInstaller(LProgressDialog& pd, const std::string& path, int waitMs, int* pExit) {
    LChildProcess child;
    LChildProcess::Options o;
    o.stdinMode = LChildProcess::Stdio::Null;
    o.stdoutMode = LChildProcess::Stdio::Null;
    o.stderrMode = LChildProcess::Stdio::Inherit;  // an installer's reason reaches the user
    if (!child.Start({path}, o)) return -1;
    int w = WaitForChild(pd, child, waitMs);
    if (w == 0) *pExit = child.ExitCode();
    return w;
}

}  // namespace

std::string ComponentKey(std::string_view name) {
    return std::string(kComponentsKeyPrefix) + std::string(name);
}

bool GetComponentPath(std::string_view name, std::string& out) {
    out.clear();
    std::string registered;
    // A registered program that is gone or cannot run counts as not installed.
    if (RegistryReadString(RegRoot::LocalMachine, ComponentKey(name), "Path", registered, "")) {
        if (IsExecutableFile(registered)) {
            out = registered;
            return true;
        }
        DebugLog("GetComponentPath %.*s: \"%s\" is not an executable file",
                 static_cast<int>(name.size()), name.data(), registered.c_str());
    }
    std::lock_guard<std::mutex> lock(g_folderMutex);
    auto it = g_unregistered.find(std::string(name));
    if (it == g_unregistered.end() || !IsExecutableFile(it->second)) return false;
    out = it->second;
    return true;
}

std::string PrimaryComponentServer() {
    return SettingsReadString(kServersSection, "PrimaryServer", kDefaultPrimaryServer);
}

std::string FallbackComponentServer() {
    return SettingsReadString(kServersSection, "FallbackServer", kDefaultFallbackServer);
}

std::string LocalInstallerFolder(const LInstallOptions& options) {
    if (!options.szInstallerFolder.empty()) return options.szInstallerFolder;
    return ProgramFolder() + "/components";
}

int WaitForChild(LProgressDialog& pd, LChildProcess& child, int ms) {
    if (!child.Running()) return 0;
    if (child.WaitFd() >= 0) {
        int w = pd.WaitForHandle(child.WaitFd(), ms);
        if (w == 0) child.Reap();
        return w;
    }
    // No pidfd: poll in short slices.
    for (int left = ms;;) {
        if (child.Wait(0)) return 0;
        int slice = std::min(left, 50);
        if (pd.Sleep(slice) == 1) return 1;
        left -= slice;
        if (left <= 0) return child.Wait(0) ? 0 : 2;
    }
}

int ProcessGetComponentPath(LProgressDialog& pd, std::string_view name, std::string& out,
                            const LInstallOptions& options) {
    if (GetComponentPath(name, out)) return LPROCESS_OK;
    int r = ProcessInstallProgram(pd, name, options);
    if (r == LPROCESS_STOPPED) return r;
    if (GetComponentPath(name, out)) return LPROCESS_OK;
    pd.ReportError("Sonvex cannot install the required install-on-demand component \"" +
                   std::string(name) + "\". Please download it from " + kComponentsPage +
                   " and install it manually.");
    return LPROCESS_FAILED;
}

int ProcessInstallProgram(LProgressDialog& pd, std::string_view name,
                          const LInstallOptions& options) {
    // The installer shipped with the program registers the adapter of a tool that is present.
    std::string local = LocalInstallerFolder(options) + "/install-" + std::string(name);
    if (IsExecutableFile(local)) {
        pd.SetStatusText(0, "Running install-on-demand");
        pd.SetStatusText(1, std::string(name));
        int exitCode = -1;
        int w = RunInstaller(pd, local, options.installerWaitMs, &exitCode);
        if (w == 1) return LPROCESS_STOPPED;
        if (w == 0 && exitCode == 0) return LPROCESS_OK;
        const std::string adapter = LocalInstallerFolder(options) + "/" + std::string(name);
        if (w == 0 && exitCode == kInstallerUnregistered && IsExecutableFile(adapter)) {
            {
                std::lock_guard<std::mutex> lock(g_folderMutex);
                g_unregistered[std::string(name)] = adapter;
            }
            UiHost().MessageBox("Warning: the component \"" + std::string(name) +
                                    "\" could not be registered (the configuration folder is "
                                    "not writable); " +
                                    adapter + " is used for this run only.",
                                "Sonvex", MsgButtons::Ok, MsgIcon::Warning);
            return LPROCESS_OK;
        }
        DebugLog("ProcessInstallProgram local installer %s: wait %d, exit %d", local.c_str(), w,
                 exitCode);
    }

    std::string localPath = LFile::GetTempFolder();
    if (!FilePathCatExt(localPath, name, ".exe")) return LPROCESS_FAILED;
    std::string remote = LFile::_GetFileFromPath(localPath);
    pd.SetStatusText(0, "Download install-on-demand");
    pd.SetStatusText(1, remote);

    int r = ProcessDownloadComponent(pd, PrimaryComponentServer(), remote, localPath, options);
    if (r == LPROCESS_FAILED)
        r = ProcessDownloadComponent(pd, FallbackComponentServer(), remote, localPath, options);

    if (r == LPROCESS_OK) {
        std::string pin;
        RegistryReadString(RegRoot::LocalMachine, ComponentKey(name), "InstallerSHA256", pin, "");
        pin = Lower(Trimmed(pin));
        std::string actual = FileSha256Hex(localPath);
        if (pin.empty() || actual.empty() || pin != actual) {
            DebugLog("ProcessInstallProgram %s: SHA-256 %s does not match the pin \"%s\"",
                     localPath.c_str(), actual.c_str(), pin.c_str());
        } else {
            pd.SetStatusText(0, "Running install-on-demand");
            chmod(localPath.c_str(), 0700);
            int exitCode = -1;
            if (RunInstaller(pd, localPath, options.installerWaitMs, &exitCode) < 0)
                DebugLog("ProcessInstallProgram cannot start %s", localPath.c_str());
        }
    }
    unlink(localPath.c_str());
    return r;
}

int ProcessDownloadComponent(LProgressDialog& pd, std::string_view server,
                             std::string_view remoteName, const std::string& localPath,
                             const LInstallOptions& options) {
    LFileTransferProtocol ftp;
    ftp.SetStallTimeoutSeconds(options.ftpStallSeconds);
    int r;
    if (!ftp.LogOnServer(server)) {
        DebugLog("ProcessDownloadComponent ftp.LogOnServer FAILED %.*s",
                 static_cast<int>(server.size()), server.data());
        r = LPROCESS_FAILED;
    } else if (!ftp.SetCurrentDirectory(kServerFolder)) {
        DebugLog("ProcessDownloadComponent ftp.SetCurrentDirectory(components) FAILED");
        r = LPROCESS_FAILED;
    } else {
        r = ProcessFtpDownload(pd, remoteName, localPath, ftp);
    }
    ftp.Disconnect();
    return r;
}

int ProcessFtpDownload(LProgressDialog& pd, std::string_view remoteName,
                       const std::string& localPath, LFileTransferProtocol& ftp) {
    pd.SetStatusText(0, "Downloading");
    pd.SetStatusText(1, std::string(remoteName));
    if (!ftp.LoggedOn()) {
        DebugLog("ProcessFtpDownload Called when ftp.hService is NULL (Not Connected)");
        return LPROCESS_FAILED;
    }
    pd.SetProgress(0.05);
    if (!ftp.OpenFile(remoteName)) {
        DebugLog("ProcessFtpDownload FtpOpenFile FAILED");
        return LPROCESS_FAILED;
    }
    int64_t size = ftp.GetFileSize();
    if (size == 0) {
        DebugLog("ProcessFtpDownload FtpGetFileSize not in WinInet.dll");
        size = 1048576;
    }
    double p = 0.1;
    const double step = 230.4 / static_cast<double>(size);

    int r = LPROCESS_FAILED;
    LFile local;
    if (!local.Open(localPath, LFile::Mode::ExclusiveRewrite)) {
        DebugLog("ProcessFtpDownload Unable to open the local file %s", localPath.c_str());
    } else {
        char buf[256];
        for (;;) {
            if (pd.PumpMessages()) {
                r = LPROCESS_STOPPED;
                break;
            }
            // A hair above p, so the truncated percentage is not lost to rounding.
            pd.SetProgress(p + 1e-9);
            p += step;
            size_t n = 0;
            if (!ftp.ReadFile(buf, sizeof buf, &n)) {
                DebugLog("ProcessFtpDownload InternetReadFile returned FALSE");
                r = LPROCESS_FAILED;
                break;
            }
            if (n == 0) {
                r = LPROCESS_OK;
                break;
            }
            local.Write(buf, static_cast<int64_t>(n));
        }
    }
    ftp.CloseFile();
    local.Close();
    return r;
}

}  // namespace sonvex
