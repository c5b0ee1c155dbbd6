// Components: helper programs found through the component registry
// ("Software\Verrowave\Components\<name>", value "Path", machine-wide) and installed on demand,
// first by the local installer shipped beside the program, then by an installer downloaded
// from the component servers.
#pragma once

#include <string>
#include <string_view>

#include "support/ProgressDialog.h"

namespace sonvex {

class LChildProcess;
class LFileTransferProtocol;

std::string ComponentKey(std::string_view name);

// How install-on-demand runs; the defaults are the program's.
struct LInstallOptions {
    int installerWaitMs = 120000;   // how long an installer is waited for
    long ftpStallSeconds = 30;      // a silent server fails after this
    std::string szInstallerFolder;  // local installers; empty: "components" beside the program
};

// out is set empty, then to the registered path; true when the value was read (an empty
// path counts as registered).
bool GetComponentPath(std::string_view name, std::string& out);

// Looks the component up and installs it when missing, inside a running progress job:
// LPROCESS_OK with out filled, LPROCESS_STOPPED when cancelled, LPROCESS_FAILED after the
// message has been shown.
int ProcessGetComponentPath(LProgressDialog& pd, std::string_view name, std::string& out,
                            const LInstallOptions& options = {});

// The same as a job of its own (caption "Install-on-Demand" by default).
class LProcessGetComponentPath : public LProgressDialog {
public:
    explicit LProcessGetComponentPath(std::string name, std::string title = "Install-on-Demand",
                                      LInstallOptions options = {})
        : LProgressDialog(std::move(title)),
          szName(std::move(name)),
          options_(std::move(options)) {}
    const std::string& Path() const { return szPath; }

protected:
    int Work() override { return ProcessGetComponentPath(*this, szName, szPath, options_); }

private:
    std::string szName;
    std::string szPath;
    LInstallOptions options_;
};

// Runs the local installer "install-<name>"; when there is none or it fails, downloads
// "<name>.exe" from the primary server (then the fallback) and runs it when its SHA-256
// matches the pin. Returns the result of the download (or LPROCESS_OK when the local
// installer succeeded).
int ProcessInstallProgram(LProgressDialog& pd, std::string_view name,
                          const LInstallOptions& options = {});
int ProcessDownloadComponent(LProgressDialog& pd, std::string_view server,
                             std::string_view remoteName, const std::string& localPath,
                             const LInstallOptions& options = {});
int ProcessFtpDownload(LProgressDialog& pd, std::string_view remoteName,
                       const std::string& localPath, LFileTransferProtocol& ftp);

// Component servers: section "Components", values "PrimaryServer" and "FallbackServer",
// each "host" or "host:port".
std::string PrimaryComponentServer();
std::string FallbackComponentServer();

// Folder of the local installers: the options' folder, else "components" beside the program.
std::string LocalInstallerFolder(const LInstallOptions& options = {});

// Waits for a child inside a job: 0 ended (and reaped), 1 cancelled, 2 timed out.
int WaitForChild(LProgressDialog& pd, LChildProcess& child, int ms);

}  // namespace sonvex
