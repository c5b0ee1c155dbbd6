#include "app/MainDialog.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "engine/OutputFormats.h"
#include "engine/SourceOpener.h"
#include "engine/UiContext.h"
#include "engine/WaveFormatVerb.h"
#include "support/ConsoleHost.h"
#include "support/File.h"
#include "support/Settings.h"

namespace sonvex {

namespace {

constexpr int kHistoryItems = 9;

bool IsLink(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Size of a readable file; -1 when it cannot be opened.
int64_t ReadableSize(const std::string& path) {
    LFile f;
    if (!f.Open(path, LFile::Mode::Read)) return -1;
    return f.GetFileSizeBytes();
}

std::string SizeText(int64_t bytes) {
    return std::to_string(bytes / 1024) + "kB";
}

std::string HistoryName(int i) {
    return "Item " + std::to_string(i);
}

}  // namespace

// Adds a dropped file or folder; each visited entry moves the bar 1% of the remaining way to
// the end of this item's share.
class LAddFolderJob : public LProgressDialog {
public:
    LAddFolderJob(MainDialog& dlg, std::string path)
        : LProgressDialog("Add Files"), dlg_(dlg), szPath_(std::move(path)) {}

protected:
    int Work() override { return ProcessAddFolder(szPath_); }

private:
    int ProcessAddFolder(const std::string& path) {
        if (PumpMessages()) return LPROCESS_STOPPED;
        dProgress_ += (1.0 - dProgress_) * 0.01;
        SetProgress(dProgress_);
        if (!IsFolder(path)) {
            dlg_.CmAddFile(path);
            return LPROCESS_OK;
        }
        SetStatusText(1, path);
        std::vector<std::string> entries;
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") entries.push_back(n);
            }
            closedir(d);
        }
        for (const auto& n : entries) {
            std::string child = path;
            if (!LFile::FilePathCat(child, n)) continue;
            if (IsLink(child) && IsFolder(child)) continue;  // links to folders could loop
            if (ProcessAddFolder(child) == LPROCESS_STOPPED) return LPROCESS_STOPPED;
        }
        return LPROCESS_OK;
    }

    MainDialog& dlg_;
    std::string szPath_;
    double dProgress_ = 0;
};

void MainDialog::InitDialog(const std::vector<std::string>& args) {
    SetFormatIndex(SettingsReadInt("Settings", "OutputFormat", 0));
    RefillFolderBox();
    if (szFolder_.empty())
        szFolder_ = SettingsReadString("Settings", "OutputFolder", LFile::GetUserDocumentsFolder());
    EvRunArguments(args);
}

void MainDialog::DestroyDialog() {
    SettingsWriteInt("Settings", "OutputFormat", iFormat_);
}

void MainDialog::SetFormatIndex(int i) {
    if (i >= 0 && i < static_cast<int>(FormatBoxFormats().size())) iFormat_ = i;
}

std::string MainDialog::FormatText() const {
    return std::string(FormatBoxFormats()[static_cast<size_t>(iFormat_)]);
}

void MainDialog::AppendRow(const std::string& path, int64_t size) {
    Row r;
    r.szPath = path;
    r.szSize = SizeText(size < 0 ? 0 : size);
    const int at = RowCount();
    if (pObserver_) pObserver_->BeginInsertRows(at, at);
    rows_.push_back(std::move(r));
    if (pObserver_) pObserver_->EndInsertRows();
}

void MainDialog::SetRowIcon(int row, int icon) {
    rows_[static_cast<size_t>(row)].iImage = icon;
    if (pObserver_) pObserver_->RowsChanged(row, row);
}

bool MainDialog::LoadFile(const std::string& path) {
    // File names are case-sensitive here: A.wav and a.wav are two files.
    for (const auto& r : rows_)
        if (r.szPath == path || SameFile(r.szPath, path)) return true;
    const int64_t size = IsFolder(path) ? -1 : ReadableSize(path);
    if (size <= 0) {
        if (bConsole_) {
            UiHost().MessageBox(
                FormatMessage(path.size() > kMaxPath
                                  ? "Cannot open the file \"%s\": path too long."
                                  : "Cannot open the file \"%s\". Check it exists and you have "
                                    "read access.",
                              path),
                "Error", MsgButtons::Ok, MsgIcon::Error);
            bFailure_ = true;
        }
        return false;
    }
    AppendRow(path, size);
    return true;
}

bool MainDialog::CmAudioFileCheck(const std::string& path) {
    static const char* const kRejected[] = {".txt",  ".doc", ".pdf", ".rtf", ".bmp", ".jpg",
                                            ".gif",  ".mpg", ".avi", ".wmv", ".ini", ".db",
                                            ".html", ".lnk", ".exe", ".reg"};
    const std::string ext = SourceExtension(path);
    if (ext.empty()) return false;
    for (const char* r : kRejected)
        if (CaseInsensitiveEqual(ext, r)) return false;
    return true;
}

void MainDialog::CmAddFile(const std::string& path) {
    if (CmAudioFileCheck(path)) AppendRow(path, ReadableSize(path));
}

int MainDialog::AddDroppedPath(const std::string& path) {
    LAddFolderJob job(*this, path);
    return job.Run();
}

void MainDialog::CmRemoveFiles(bool bConfirm) {
    bool any = false;
    for (const auto& r : rows_) any = any || r.bSelected;
    if (!any) return;
    if (bConfirm && UiHost().MessageBox("Are you sure you want to remove the selected file(s)?",
                                        "Confirm Remove", MsgButtons::YesNoCancel,
                                        MsgIcon::Question, IDNO) != IDYES)
        return;
    CmStop();
    // Runs of selected rows, from the end, so that the indexes told stay valid.
    for (int last = RowCount() - 1; last >= 0; --last) {
        if (!rows_[static_cast<size_t>(last)].bSelected) continue;
        int first = last;
        while (first > 0 && rows_[static_cast<size_t>(first - 1)].bSelected) --first;
        if (pObserver_) pObserver_->BeginRemoveRows(first, last);
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        if (pObserver_) pObserver_->EndRemoveRows();
        last = first;
    }
}

void MainDialog::CmSelectAll() {
    for (auto& r : rows_) r.bSelected = true;
    if (pObserver_ && !rows_.empty()) pObserver_->RowsChanged(0, RowCount() - 1);
}

bool MainDialog::CmPlay() {
    CmStop();
    auto it = std::find_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.bSelected; });
    if (it == rows_.end()) return false;
    bool bAllowPrompt = true;
    LUiContext context(&bAllowPrompt);
    if (!pPlayer_) {
        pPlayer_ = std::make_unique<LSoundPlayer>();
        pPlayer_->pNotify = this;
    }
    // Opens the file, then the device named by "SoundOutDevice" (its message when it cannot).
    iPlayingRow_ = static_cast<int>(it - rows_.begin());
    bPlaying_ = PlaySoundFile(*pPlayer_, it->szPath, context) == LPROCESS_OK;
    if (!bPlaying_) iPlayingRow_ = -1;
    return bPlaying_;
}

void MainDialog::CmStop() {
    if (pPlayer_) pPlayer_->Stop();
    bPlaying_ = false;
    iPlayingRow_ = -1;
}

void MainDialog::OnPlay(int iCookie) {
    bPlaying_ = true;
    if (pPlayObserver_) pPlayObserver_->OnPlay(iCookie);
}

void MainDialog::OnStop(int iCookie) {
    bPlaying_ = false;
    iPlayingRow_ = -1;
    if (pPlayObserver_) pPlayObserver_->OnStop(iCookie);
}

void MainDialog::OnPosition(int iCookie, int32_t ms) {
    if (pPlayObserver_) pPlayObserver_->OnPosition(iCookie, ms);
}

void MainDialog::OnLevels(const LSoundLevels& levels, int iCookie) {
    if (pPlayObserver_) pPlayObserver_->OnLevels(levels, iCookie);
}

bool MainDialog::CmConvert() {
    const std::string format = FormatText();
    if (!LGenSinkIsSupported(format)) {
        UiHost().MessageBox("Unable to encode files in the selected format.", "Sonvex",
                            MsgButtons::Ok, MsgIcon::Error);
        bFailure_ = true;
        return false;
    }
    if (!IsFolder(szFolder_)) {
        const int a = UiHost().MessageBox(
            FormatMessage("The folder \"%s\" does not exist. Do you want to create it now?",
                          szFolder_),
            "Sonvex", MsgButtons::YesNoCancel, MsgIcon::Question, IDYES);
        if (a != IDYES) {
            UiHost().MessageBox(
                "Unable to convert files. Please specify an existing output folder.", "Error",
                MsgButtons::Ok, MsgIcon::Error);
            bFailure_ = true;
            return false;
        }
        if (szFolder_.empty() || mkdir(szFolder_.c_str(), 0777) != 0) {
            UiHost().MessageBox("Unable to create folder.", "Error", MsgButtons::Ok,
                                MsgIcon::Error);
            bFailure_ = true;
            return false;
        }
    }
    LConvertJob job(*this, format);
    const int result = job.Run();
    const LConvertOutcome& o = job.Outcome();
    if (result == LPROCESS_FAILED || o.nFailed > 0) bFailure_ = true;
    if (result == LPROCESS_STOPPED || o.bStopped) bStopped_ = true;
    // On the console, say which files a stopped batch left behind.
    if (bConsole_ && (result != LPROCESS_OK || o.bStopped || o.nFailed > 0)) {
        std::string left;
        for (const auto& r : rows_)
            if (r.bSelected && r.iImage != ICON_CONVERTED) left += "\n  " + r.szPath;
        if (!left.empty())
            UiHost().MessageBox("These files were not converted:" + left, "Sonvex", MsgButtons::Ok,
                                MsgIcon::Information);
    }
    return result == LPROCESS_OK;
}

int MainDialog::CmCodecSettings() {
    return LGenSinkCheckSettings(FormatText());
}

void MainDialog::EvRunArguments(const std::vector<std::string>& args) {
    // On the console a format that names no output is an error before anything runs.
    const std::vector<std::string_view> formats = FormatBoxFormats();
    if (bConsole_) {
        for (size_t i = 1; i < args.size(); ++i) {
            if (!CaseInsensitiveEqual(args[i], "-format")) continue;
            const bool bKnown =
                i + 1 < args.size() &&
                std::any_of(formats.begin(), formats.end(), [&](std::string_view f) {
                    return CaseInsensitiveEqual(f, args[i + 1]);
                });
            if (bKnown) {
                ++i;
                continue;
            }
            std::string list;
            for (std::string_view f : formats) list += " " + std::string(f);
            UiHost().MessageBox(
                (i + 1 < args.size() ? "\"" + args[i + 1] + "\" is not an output format."
                                     : std::string("-format needs an output format.")) +
                    " The formats are:" + list + ". Nothing was converted.",
                "Error", MsgButtons::Ok, MsgIcon::Error);
            bFailure_ = true;
            return;
        }
    }
    for (size_t i = 1; i < args.size(); ++i) {
        if (bConsole_ && LConsoleHost::TerminationRequested()) return;
        const std::string& a = args[i];
        if (CaseInsensitiveEqual(a, "-convert")) {
            CmConvert();
        } else if (CaseInsensitiveEqual(a, "-clear")) {
            CmSelectAll();
            CmRemoveFiles(false);
        } else if (CaseInsensitiveEqual(a, "-format")) {
            if (++i >= args.size()) return;
            for (size_t f = 0; f < formats.size(); ++f)
                if (CaseInsensitiveEqual(formats[f], args[i])) iFormat_ = static_cast<int>(f);
        } else if (CaseInsensitiveEqual(a, "-wavformat")) {
            // A value that cannot be stored ends the verbs, like a bad "-format".
            if (++i >= args.size() || !LWaveFormatVerb(args[i])) {
                bFailure_ = true;
                return;
            }
        } else if (CaseInsensitiveEqual(a, "-outfolder")) {
            if (++i >= args.size()) return;
            szFolder_ = args[i];
        } else if (CaseInsensitiveEqual(a, "-hide")) {
            bHidden_ = true;
        } else if (CaseInsensitiveEqual(a, "-show")) {
            bHidden_ = false;
        } else if (CaseInsensitiveEqual(a, "-exit")) {
            bClosed_ = true;
        } else if (a == "/install") {
            // The offer of companion programs has nothing to install on this platform.
        } else if (!a.empty() && a[0] != '-') {
            LoadFile(a);
        }
    }
}

bool MainDialog::IsCommandEnabled(int id) const {
    bool selected = false;
    for (const auto& r : rows_) selected = selected || r.bSelected;
    switch (id) {
        case CM_REMOVE:
        case CM_PLAY:
        case CM_CONVERT:
            return selected;
        case CM_STOP:
            return bPlaying_;
        case CM_SELECTALL:
            return !rows_.empty();
        default:
            return true;
    }
}

void MainDialog::PushOutputFolderHistory(const std::string& folder) {
    // One locked read-modify-write, so that parallel runs keep each other's folders.
    if (!folder.empty()) {
        UserSettingsTransaction("OutputFolder", [&](SettingsSection& history) {
            std::string carry = folder;
            const int count = history.ReadInt("Count", 0);
            for (int i = 1; i <= kHistoryItems; ++i) {
                const std::string old = history.ReadString(HistoryName(i), "");
                history.WriteString(HistoryName(i), carry);
                if (old == carry || old == folder) break;
                if (i > count) {
                    history.WriteString("Count", std::to_string(count + 1));
                    break;
                }
                carry = old;
            }
        });
    }
    RefillFolderBox();
    if (!folder.empty()) szFolder_ = folder;  // even when the history could not be stored
}

void MainDialog::RefillFolderBox() {
    history_.clear();
    const int count = std::min(UserSettingsReadInt("OutputFolder", "Count", 0), kHistoryItems);
    for (int i = 1; i <= count; ++i)
        history_.push_back(UserSettingsReadString("OutputFolder", HistoryName(i), ""));
    if (!history_.empty()) szFolder_ = history_.front();
}

}  // namespace sonvex
