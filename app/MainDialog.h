// The main window's logic: the file list, the output folder and format, the commands and the
// command-line verbs. Windows and the console both drive this class; it knows no toolkit.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Convert.h"
#include "player/SoundPlayer.h"

namespace sonvex {

// Told of every change of the main window's rows, so that a view can follow them.
class LRowObserver {
public:
    virtual ~LRowObserver() = default;
    virtual void BeginInsertRows(int first, int last) = 0;
    virtual void EndInsertRows() = 0;
    virtual void BeginRemoveRows(int first, int last) = 0;
    virtual void EndRemoveRows() = 0;
    // Icon or selection of rows first to last changed.
    virtual void RowsChanged(int first, int last) = 0;
};

class MainDialog : public LConvertList, public LSoundPlayerNotify {
public:
    struct Row {
        std::string szPath;
        int iImage = ICON_WAITING;
        std::string szSize;  // "%dkB"
        bool bSelected = false;
    };

    // Command ids.
    enum : int {
        CM_ADD = 1001,
        CM_REMOVE = 1002,
        CM_PLAY = 1003,
        CM_SETTINGS = 1004,
        CM_CONVERT = 1005,
        CM_EXIT = 1006,
        CM_STOP = 1007,
        CM_SELECTALL = 1008,
    };

    // bConsole: paths the command line names that cannot be read are reported (the window
    // skips them silently).
    explicit MainDialog(bool bConsole = false) : bConsole_(bConsole) {}

    // Start: format and folder from the settings, then the verbs of the process's arguments.
    void InitDialog(const std::vector<std::string>& args);
    // End: stores the chosen format.
    void DestroyDialog();

    bool LoadFile(const std::string& path);
    void CmAddFile(const std::string& path);
    static bool CmAudioFileCheck(const std::string& path);
    // Adds a dropped file or folder (recursively) under an "Add Files" job.
    int AddDroppedPath(const std::string& path);
    void CmRemoveFiles(bool bConfirm);
    void CmSelectAll();
    // Opens the first selected row and starts the player on the device "SoundOutDevice";
    // false when nothing plays (the messages have been shown).
    bool CmPlay();
    void CmStop();
    // The player's notifications (on the user-interface thread); each is passed on to the
    // play observer after the logic has taken it in.
    void OnPlay(int iCookie) override;
    void OnStop(int iCookie) override;
    void OnPosition(int iCookie, int32_t ms) override;
    void OnLevels(const LSoundLevels& levels, int iCookie) override;
    void SetPlayObserver(LSoundPlayerNotify* p) { pPlayObserver_ = p; }
    // The row being played, -1 when none, and the length of its sound in milliseconds.
    int PlayingRow() const { return iPlayingRow_; }
    int32_t PlayingLengthMs() const { return pPlayer_ ? pPlayer_->LengthMs() : 0; }
    bool CmConvert();
    int CmCodecSettings();
    void EvRunArguments(const std::vector<std::string>& args);

    // Which commands are enabled now.
    bool IsCommandEnabled(int id) const;

    // Folder box.
    void SetOutputFolderText(const std::string& s) { szFolder_ = s; }
    const std::string& OutputFolderText() const { return szFolder_; }
    const std::vector<std::string>& FolderHistory() const { return history_; }
    void RefillFolderBox();

    // Format box.
    int FormatIndex() const { return iFormat_; }
    void SetFormatIndex(int i);
    std::string FormatText() const;
    bool IsCodecSettingsEnabled() const { return iFormat_ < 2 || iFormat_ > 4; }

    std::vector<Row>& Rows() { return rows_; }
    // A view's selection; the observer is not told (the view already shows it).
    void SetSelected(int row, bool bSelected) {
        rows_[static_cast<size_t>(row)].bSelected = bSelected;
    }
    void SetRowObserver(LRowObserver* p) { pObserver_ = p; }
    bool IsHidden() const { return bHidden_; }
    bool IsClosed() const { return bClosed_; }
    bool IsPlaying() const { return bPlaying_; }

    // Exit status of a console run: 0 all done, 1 a batch stopped early, 2 a failure.
    int ExitStatus() const { return bFailure_ ? 2 : bStopped_ ? 1 : 0; }
    // Starts a new count for the verbs of one forwarded command line.
    void ResetExitStatus() { bFailure_ = bStopped_ = false; }

    // LConvertList
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    bool IsSelected(int row) const override { return rows_[static_cast<size_t>(row)].bSelected; }
    std::string RowPath(int row) const override { return rows_[static_cast<size_t>(row)].szPath; }
    void SetRowIcon(int row, int icon) override;
    void SelectAll() override { CmSelectAll(); }
    std::string OutputFolder() const override { return szFolder_; }
    void PushOutputFolderHistory(const std::string& folder) override;

private:
    friend class LAddFolderJob;
    void AppendRow(const std::string& path, int64_t size);

    std::vector<Row> rows_;
    LRowObserver* pObserver_ = nullptr;
    std::vector<std::string> history_;
    std::string szFolder_;
    int iFormat_ = 0;
    bool bConsole_;
    bool bHidden_ = false;
    bool bClosed_ = false;
    bool bPlaying_ = false;
    int iPlayingRow_ = -1;
    LSoundPlayerNotify* pPlayObserver_ = nullptr;
    std::unique_ptr<LSoundPlayer> pPlayer_;  // made at the first Play
    bool bFailure_ = false;
    bool bStopped_ = false;
};

}  // namespace sonvex
