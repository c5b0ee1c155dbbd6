#include "installer/Installer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "installer/DesktopEntry.h"
#include "installer/HelpArchive.h"
#include "installer/InstallPlaces.h"
#include "installer/Package.h"
#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/desktop/Desktop.h"
#include "platform/instance/Instance.h"
#include "support/ConsoleHost.h"
#include "support/File.h"
#include "support/Process.h"
#include "support/Settings.h"

namespace sonvex {

namespace {

constexpr int64_t kCopyBlock = 4096;
constexpr const char* kHandOverPrefix = "sonvex-uninst-";

bool HasArgument(const std::vector<std::string>& args, const char* a) {
    return std::find(args.begin() + std::min<size_t>(1, args.size()), args.end(), a) != args.end();
}

// A folder only this user can change: made with mode 0755, or an existing folder of ours whose
// group and world write bits are cleared. A link or another owner's folder is refused.
bool MakePrivateFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0) return chmod(path.c_str(), 0755) == 0;
    if (errno != EEXIST) return false;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return false;
    return (st.st_mode & 022) == 0 || chmod(path.c_str(), st.st_mode & 07755) == 0;
}

std::string ReadWhole(const std::string& path, bool& ok) {
    LFile f;
    ok = false;
    if (!f.Open(path, LFile::Mode::Read)) return {};
    const int64_t n = f.GetFileSizeBytes();
    std::string bytes(static_cast<size_t>(n), '\0');
    ok = f.ReadExact(bytes.data(), n);
    return bytes;
}

bool AppendLE32(const std::string& path, uint32_t v) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    const bool ok = write(fd, b, 4) == 4;
    return close(fd) == 0 && ok;
}

// Starts a program as the settings ask; the exit status when waited for, else 0 (-1 when it
// could not start).
int StartProgram(const std::vector<std::string>& argv, LStartMode mode) {
    if (mode == LStartMode::None) return 0;
    if (mode == LStartMode::Detached) return LaunchDetached(argv) ? 0 : -1;
    LChildProcess child;
    LChildProcess::Options o;
    o.stdinMode = LChildProcess::Stdio::Inherit;
    o.bNewProcessGroup = false;  // Ctrl-C reaches it as it reaches us
    if (!child.Start(argv, o)) return -1;
    child.Wait(-1);
    return child.ExitCode();
}

// The terms asked through the host: in a terminal a question, without one the answer that
// loses nothing (decline) and how to accept in a script.
bool AskTerms(const std::vector<std::string>& args) {
    const std::string text = std::string(kTermsTitle) + "\n\n" + kTermsSubtitle + "\n\n" +
                             TermsOfUseText() + "\n\nDo you accept the terms of use?";
    if (UiHost().MessageBox(text, "Sonvex Setup", MsgButtons::YesNo, MsgIcon::Question, IDNO) ==
        IDYES)
        return true;
    std::fprintf(stderr,
                 "Sonvex was not installed: the terms of use were not accepted. To accept them "
                 "without being asked, run:\n  %s %s\n",
                 args.empty() ? "sonvex-setup" : args[0].c_str(), kAcceptTermsArgument);
    return false;
}

// A temporary file in the install folder that becomes one payload file.
struct PendingFile {
    std::string szTemp, szFinal;
    mode_t mode;
};

void Discard(std::vector<PendingFile>& files) {
    for (const auto& f : files) unlink(f.szTemp.c_str());
    files.clear();
}

// 0 when every file was put in place, else the first error.
int PutInPlace(std::vector<PendingFile>& files) {
    int err = 0;
    for (const auto& f : files) {
        if (chmod(f.szTemp.c_str(), f.mode) != 0 ||
            rename(f.szTemp.c_str(), f.szFinal.c_str()) != 0) {
            if (!err) err = errno;
            unlink(f.szTemp.c_str());
        }
    }
    files.clear();
    return err;
}

int CannotWrite(const std::string& path, int err) {
    UiHost().MessageBox("Cannot write " + path + ": " + std::strerror(err), kInstallErrorCaption,
                        MsgButtons::Ok, MsgIcon::Error);
    return LPROCESS_FAILED;
}

// After removing the last entry, update-desktop-database leaves a cache without entries; it
// goes, and with it a folder left empty.
void RemoveEmptyDesktopDatabase(const std::string& apps) {
    const std::string cache = apps + "/mimeinfo.cache";
    bool ok = false;
    const std::string text = ReadWhole(cache, ok);
    if (!ok) return;
    for (size_t i = 0; i < text.size();) {
        size_t end = text.find('\n', i);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(i, end - i);
        if (!line.empty() && line != "[MIME Cache]") return;
        i = end + 1;
    }
    unlink(cache.c_str());
    rmdir(apps.c_str());
}

}  // namespace

const char* TermsOfUseText() {
    return "Sonvex converts audio files between formats. You may install and use it on any "
           "number of computers.\n\n"
           "Sonvex is provided as is, without warranty of any kind. Keep copies of files you "
           "cannot replace: the authors are not liable for any loss arising from its use.\n\n"
           "Converting audio that you do not have the right to copy may break the law where you "
           "live; you alone are responsible for the files you convert.\n\n"
           "Sonvex runs the MP3, Ogg Vorbis, FLAC and AAC encoders and decoders installed on "
           "this computer; their own licences apply to them.";
}

bool PrepareInstallFolder() {
    const std::string pfd = ProgramFilesDir();
    if (!MakeFolders(pfd)) return false;
    if (!MakePrivateFolder(pfd + "/verrowave")) return false;
    const std::string folder = InstallFolder();
    if (!MakePrivateFolder(folder)) return false;
    SettingsWriteString("Folders", "ProgramFiles", folder);
    SettingsWriteString("Folders", "DataFiles", folder);
    return true;
}

int LInstallJob::Work() {
    SetStatusText(0, "Installing Sonvex");
    SetStatusText(1, kTermsTitle);
    const std::string folder = InstallFolder();
    // Not a folder of this user's own (missing, a link, another owner's): not written into.
    if (!MakePrivateFolder(folder)) {
        UiHost().MessageBox(kAdministratorText, kInstallErrorCaption, MsgButtons::Ok,
                            MsgIcon::Error);
        return LPROCESS_FAILED;
    }
    if (!s_.terms || !s_.terms(*this)) return LPROCESS_STOPPED;
    const int r = CopyPayload(folder);
    if (r != LPROCESS_OK) return r;
    SetStatusText(1, "Finalizing");
    Finish(folder);
    return LPROCESS_OK;
}

int LInstallJob::CopyPayload(const std::string& folder) {
    LFile package;
    if (!package.Open(s_.szProgramFile, LFile::Mode::Read)) return LPROCESS_FAILED;
    auto corrupt = [] {
        UiHost().MessageBox(kCorruptInstallText, kCorruptInstallCaption, MsgButtons::Ok,
                            MsgIcon::Warning);
        return LPROCESS_FAILED;
    };
    // The hash is checked before anything is written, so a tampered package installs nothing.
    LPackageTrailer t;
    if (!ReadPackageTrailer(package, kInstallFileCount, t) || !PayloadHashMatches(package, t))
        return corrupt();

    uint32_t running = t.uChecksum;
    const double total = static_cast<double>(std::max<uint64_t>(t.nPayloadBytes, 1));
    uint64_t copied = 0;
    bool bCancelled = false, bReadFailed = false;
    std::vector<PendingFile> done;
    package.Seek(0);
    uint8_t buf[kCopyBlock];
    for (size_t i = 0; i < kInstallFileCount && !bCancelled && !bReadFailed; ++i) {
        int64_t left = t.sizes[i];
        if (left == 0) continue;
        const std::string name = kInstallFiles[i].szFileName;
        SetStatusText(1, name);
        PendingFile f{folder + "/." + name + ".sonvex-setup-" + std::to_string(getpid()),
                      folder + "/" + name, i == 1 ? mode_t{0644} : mode_t{0755}};
        const int fd =
            open(f.szTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int e = errno;
            Discard(done);
            return CannotWrite(f.szFinal, e);
        }
        int iWriteError = 0;
        while (left > 0) {
            const int64_t n = std::min(left, kCopyBlock);
            if (!package.ReadExact(buf, n)) {
                bReadFailed = true;
                break;
            }
            running -= ByteSum(buf, static_cast<size_t>(n));
            if (write(fd, buf, static_cast<size_t>(n)) != n) {
                iWriteError = errno ? errno : ENOSPC;
                break;
            }
            left -= n;
            copied += static_cast<uint64_t>(n);
            SetProgress(static_cast<double>(copied) / total);
            if (PumpMessages()) {
                bCancelled = true;
                break;
            }
        }
        if (close(fd) != 0 && !iWriteError) iWriteError = errno;
        if (left == 0 && !iWriteError) {
            done.push_back(f);
            continue;
        }
        unlink(f.szTemp.c_str());
        if (iWriteError) {
            Discard(done);
            return CannotWrite(f.szFinal, iWriteError);
        }
    }
    // Cancel keeps the files copied whole until then.
    if (bCancelled) {
        PutInPlace(done);
        return LPROCESS_STOPPED;
    }
    if (bReadFailed || running != 0) {
        Discard(done);
        return corrupt();
    }
    const int e = PutInPlace(done);
    return e ? CannotWrite(folder, e) : LPROCESS_OK;
}

void LInstallJob::Finish(const std::string& folder) {
    const std::string program = folder + "/sonvex";
    const std::string uninst = folder + "/uninst";
    const std::string help = folder + "/help";
    const std::string icon = help + "/sonvex.svg";
    const std::string apps = ApplicationsFolder();
    MakeFolders(apps);

    // Program group and desktop shortcut.
    LDesktopEntry entry;
    entry.szName = "Sonvex";
    entry.szComment = "Convert audio files between WAV, MP3, Ogg, FLAC, AAC and other formats";
    entry.exec = {program};
    entry.szFieldCode = "%F";
    entry.szIcon = icon;
    entry.szCategories = "AudioVideo;Audio;";
    WriteDesktopEntry(apps + "/" + kProgramEntry, entry, false);
    if (const std::string desk = DesktopFolder(); !desk.empty())
        WriteDesktopEntry(desk + "/" + kProgramEntry, entry, true);

    // The uninstaller and its entries.
    bool ok = false;
    const std::string image = ReadWhole(program, ok);
    if (ok && WriteFileReplacing(uninst, image, 0755)) {
        RegistryWriteString(RegRoot::LocalMachine, kUninstallKey, "DisplayName",
                            "Sonvex Uninstall");
        RegistryWriteString(RegRoot::LocalMachine, kUninstallKey, "UninstallString", uninst);
        LDesktopEntry u = entry;
        u.szName = "Sonvex Uninstall";
        u.szComment = "Remove Sonvex from this computer";
        u.exec = {uninst};
        u.szFieldCode.clear();
        WriteDesktopEntry(apps + "/" + kUninstallEntry, u, false);
    }
    AppendLE32(program, 0);
    AppendLE32(uninst, kTrailerUninstaller);

    // The MP3 encoder becomes the component "mp3el", registered only when written whole.
    const std::string encoder = folder + "/" + kInstallFiles[2].szFileName;
    const std::string bytes = ReadWhole(encoder, ok);
    const std::string component = InstallComponentFolder("mp3el");
    if (ok && MakeFolders(component) && WriteFileReplacing(component + "/mp3enc", bytes, 0755))
        RegistryWriteString(RegRoot::LocalMachine, std::string(kComponentsKeyPrefix) + "mp3el",
                            "Path", component + "/mp3enc");
    unlink(encoder.c_str());

    // The help, unpacked where the program opens its pages.
    if (!UnpackHelpArchive(folder + "/" + kInstallFiles[1].szFileName, help))
        DebugLog("InstallDialog::Finish help archive not unpacked");
    LDesktopEntry h = entry;
    h.szName = "Sonvex Help";
    h.szComment = "How to use Sonvex";
    h.exec = {"xdg-open", help + "/index.html"};
    h.szFieldCode.clear();
    h.szIcon = "help-browser";
    WriteDesktopEntry(apps + "/" + kHelpEntry, h, false);

    SettingsWriteString("Settings", "Convert", "\"" + program + "\" \"%s\"");

    // File-type verbs: the type names and verb commands in the classes root, and an entry that
    // offers the program for the audio types.
    RegistryTransaction(RegRoot::ClassesRoot, [&](RegistryFile& f) {
        for (const auto& type : kRegisteredTypes) {
            std::string name;
            if (!f.Get(type.szExt, "@", name) || name.empty()) name = DefaultTypeName(type.szExt);
            f.Set(type.szExt, "@", name);
            f.Set(name + "\\Shell\\" + kConvertVerb + "\\command", "@", program + " \"%L\"");
        }
    });
    LDesktopEntry c = entry;
    c.szName = kConvertVerb;
    c.szMimeTypes = RegisteredMimeTypes();
    c.bNoDisplay = true;
    WriteDesktopEntry(apps + "/" + kConvertEntry, c, false);
    UpdateDesktopDatabase(apps);

    if (s_.beforeStart) s_.beforeStart();
    if (StartProgram({program, "/install"}, s_.eStart) < 0)
        DebugLog("InstallDialog::Finish cannot start %s", program.c_str());
}

int LUninstallJob::Work() {
    if (!HasArgument(s_.args, "/uninstall") && HandOver() == 0) return LPROCESS_OK;
    if (PumpMessages() || Sleep(250)) return LPROCESS_STOPPED;
    const int answer = HasArgument(s_.args, kConfirmUninstallArgument)
                           ? IDYES
                           : UiHost().MessageBox(kUninstallQuestion, kUninstallCaption,
                                                 MsgButtons::YesNo, MsgIcon::Error, IDNO);
    if (answer != IDYES) {
        if (!LConsoleHost::Interactive())
            std::fprintf(stderr,
                         "Sonvex was not removed. To remove it without being asked, run "
                         "the uninstaller with %s.\n",
                         kConfirmUninstallArgument);
        return LPROCESS_STOPPED;
    }
    if (RemoveInstallation()) return LPROCESS_OK;
    // A folder that is a link, not the user's own, or not where it should be is left alone.
    UiHost().MessageBox("The program folder \"" + InstallFolder() +
                            "\" was not removed; remove it by hand if it is no longer needed.",
                        kUninstallCaption, MsgButtons::Ok, MsgIcon::Warning);
    return LPROCESS_FAILED;
}

int LUninstallJob::HandOver() {
    // A name of our own in the temporary folder, never an existing file or link.
    std::string templ = LFile::GetTempFolder() + "/" + kHandOverPrefix + "XXXXXX";
    const int fd = mkstemp(templ.data());
    if (fd < 0) return -1;
    bool ok = false;
    const std::string image = ReadWhole(s_.szProgramFile, ok);
    ok = ok && write(fd, image.data(), image.size()) == static_cast<ssize_t>(image.size()) &&
         fchmod(fd, 0700) == 0;
    if (close(fd) != 0 || !ok) {
        unlink(templ.c_str());
        return -1;
    }
    std::vector<std::string> argv = {templ, "/uninstall"};
    argv.insert(argv.end(), s_.args.begin() + std::min<size_t>(1, s_.args.size()), s_.args.end());
    iHandOver_ = StartProgram(argv, s_.eStart);
    if (iHandOver_ < 0) {
        unlink(templ.c_str());
        return -1;
    }
    return 0;
}

bool RemoveInstallation() {
    if (const std::string desk = DesktopFolder(); !desk.empty())
        unlink((desk + "/" + kProgramEntry).c_str());
    RegistryDeleteValue(RegRoot::LocalMachine, kUninstallKey, "DisplayName");
    RegistryDeleteValue(RegRoot::LocalMachine, kUninstallKey, "UninstallString");
    const std::string apps = ApplicationsFolder();
    for (const char* e : {kProgramEntry, kHelpEntry, kUninstallEntry})
        unlink((apps + "/" + e).c_str());
    const std::string folder = InstallFolder();
    struct stat st {};
    const bool bRemoved = DeleteInstallFolder(folder) || lstat(folder.c_str(), &st) != 0;
    if (!bRemoved)
        DebugLog("InstallDialog::Uninstall install folder not removed: %s", folder.c_str());
    rmdir((ProgramFilesDir() + "/verrowave").c_str());  // kept while it holds the components
    RegistryTransaction(RegRoot::ClassesRoot, [&](RegistryFile& f) {
        for (const auto& type : kRegisteredTypes) {
            std::string name;
            if (f.Get(type.szExt, "@", name) && !name.empty())
                f.Remove(name + "\\Shell\\" + kConvertVerb + "\\command", "@");
        }
    });
    unlink((apps + "/" + kConvertEntry).c_str());
    UpdateDesktopDatabase(apps);
    RemoveEmptyDesktopDatabase(apps);
    for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser})
        RegistryTransaction(
            root, [](RegistryFile& f) { f.RemoveKeyTree("Software\\Verrowave\\Sonvex"); });
    return bRemoved;
}

int RunInstaller(uint32_t magic, const std::vector<std::string>& args,
                 std::function<bool(LProgressDialog&)> terms, LStartMode eStart) {
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-help")) {
        std::printf(magic == kTrailerInstallPackage
                        ? "usage: %s [--accept-terms]\n  Installs Sonvex for this user; "
                          "--accept-terms accepts the terms of use without asking.\n"
                        : "usage: %s [--yes]\n  Removes Sonvex; --yes confirms without "
                          "asking.\n",
                    args[0].c_str());
        return 0;
    }
    const std::string runtime = RuntimeFolder();
    LSystemLockMutex lock(StartLockPath(runtime));
    const bool bLocked = !runtime.empty() && lock.Lock();
    const bool bInstall = magic == kTrailerInstallPackage;
    if (!bInstall) lock.Unlock();
    // A running window is closed first, so that its files can be replaced or removed.
    if (bLocked && ForwardToRunningInstance(InstanceSocketPath(runtime), {"sonvex", "-exit"}) >= 0)
        usleep(bInstall ? 500000 : 300000);

    const std::string self = ProgramFilePath();
    LInstallerSettings s;
    s.args = args;
    s.szProgramFile = self;
    s.eStart = eStart;
    s.beforeStart = [&lock] { lock.Unlock(); };
    if (HasArgument(args, kAcceptTermsArgument))
        s.terms = [](LProgressDialog&) { return true; };
    else if (terms)
        s.terms = std::move(terms);
    else
        s.terms = [args](LProgressDialog&) { return AskTerms(args); };

    if (bInstall) {
        PrepareInstallFolder();
        LInstallJob job(std::move(s));
        return job.Run();
    }
    LUninstallJob job(std::move(s));
    const int r = job.Run();
    // The temporary copy removes itself; the running image stays valid until it ends.
    if (HasArgument(args, "/uninstall") &&
        SameFile(LFile::_GetFolderFromPath(self), LFile::GetTempFolder()) &&
        LFile::_GetFileFromPath(self).rfind(kHandOverPrefix, 0) == 0)
        unlink(self.c_str());
    return job.HandOverStatus() >= 0 ? job.HandOverStatus() : r;
}

}  // namespace sonvex
