// The main window: a view over MainDialog (the list, folder and format boxes, commands and
// verbs) with its toolbar, menus, status bar, drag and drop, placement and the requests of
// later starts of the program.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/MainDialog.h"

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSocketNotifier;
class QTableView;
class QTimer;

namespace sonvex {

class FileListModel;
class LInstanceRequest;
class PlayStatus;
class LInstanceServer;
class LQtHost;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(LQtHost& host);
    ~MainWindow() override;

    // The start: format and folder from the settings, then the verbs of args; then the window
    // is shown at its stored place with the splash, unless a verb hid or closed it.
    void InitDialog(const std::vector<std::string>& args, bool bSplash = true);
    // Watches the instance socket for the command lines of later starts.
    void WatchInstanceSocket(LInstanceServer* server);
    // Carries out one forwarded command line; returns the verbs' exit status.
    int EvRunArguments(const std::vector<std::string>& args);

    // Runs a command as the menu, toolbar and keys do; ignored while a job or dialog runs.
    void Command(int id);
    // A key code with modifier bits pressed in the window; true when consumed.
    bool EvKeyDown(int code);
    // Adds the files and folders of a drop, each under an "Add Files" job.
    void AddDroppedPaths(const std::vector<std::string>& paths);
    // Recomputes enabled states from the logic.
    void EnableControls();

    MainDialog& Logic() { return dlg_; }
    QTableView* List() const { return pList_; }
    QComboBox* FolderBox() const { return pFolder_; }
    QComboBox* FormatBox() const { return pFormat_; }
    QPushButton* CodecButton() const { return pCodec_; }
    QAction* Action(int id) const;
    QLabel* NoticeLabel() const { return pNotice_; }
    PlayStatus* PlayStatusBar() const { return pPlay_; }

signals:
    // After a forwarded command line has been carried out and answered.
    void RequestDone(int status);

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void BuildActions();
    void BuildMenusAndToolbar();
    void BuildCentral();
    void CmLoadFiles();
    void CmBrowseOutput();
    void ShowFolderBox();
    void SyncSelectionFromLogic();
    void SelectionChangedByUser();
    void ShowAtStoredPlace();
    void ApplyVisibility();
    void NextNotice();
    void AcceptConnections();
    void ProcessRequests();

    LQtHost& host_;
    MainDialog dlg_;
    std::unique_ptr<FileListModel> pModel_;
    QTableView* pList_ = nullptr;
    QComboBox* pFolder_ = nullptr;
    QComboBox* pFormat_ = nullptr;
    QPushButton* pBrowse_ = nullptr;
    QPushButton* pCodec_ = nullptr;
    QLabel* pNotice_ = nullptr;
    PlayStatus* pPlay_ = nullptr;
    QMenu* pFileMenu_ = nullptr;
    QTimer* pNoticeTimer_ = nullptr;
    std::map<int, QAction*> actions_;
    int iNotice_ = 0;
    bool bSyncing_ = false;
    bool bShownOnce_ = false;
    bool bClosing_ = false;

    LInstanceServer* pServer_ = nullptr;
    QSocketNotifier* pServerNotifier_ = nullptr;
    struct Pending {
        std::unique_ptr<LInstanceRequest> request;
        QSocketNotifier* notifier = nullptr;
    };
    std::vector<Pending> reading_;
    std::deque<std::unique_ptr<LInstanceRequest>> ready_;
    bool bProcessing_ = false;
};

}  // namespace sonvex
