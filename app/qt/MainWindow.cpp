#include "app/qt/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "app/AddFiles.h"
#include "app/KeyTable.h"
#include "app/SettingsDlg.h"
#include "app/WindowPlacement.h"
#include "app/qt/FileListModel.h"
#include "app/qt/Icons.h"
#include "app/qt/KeyFilter.h"
#include "app/qt/PlayStatus.h"
#include "app/qt/QtHost.h"
#include "app/qt/SplashAbout.h"
#include "engine/OutputFormats.h"
#include "platform/instance/Instance.h"
#include "support/Help.h"
#include "support/Settings.h"
#include "support/Thread.h"

namespace sonvex {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

struct CommandInfo {
    int id;
    const char* szMenu;
    const char* szMenuHelp;
    const char* szTheme;  // toolbar icon; null for commands not on the toolbar
    const char* szLabel;
    const char* szToolTip;
};

constexpr CommandInfo kCommands[] = {
    {MainDialog::CM_ADD, "&Add...\tAlt+A", "Add audio file(s) to the list.", "list-add", "Add",
     "Add File(s)"},
    {MainDialog::CM_REMOVE, "&Remove\tCtrl+Del", "Remove the selected audio file(s) from the list.",
     "list-remove", "Remove", "Remove Selected File(s)"},
    {MainDialog::CM_PLAY, "&Play\tF9", "Play the selected audio file.", "media-playback-start",
     "Play", "Play Selected File"},
    {MainDialog::CM_STOP, "S&top\tF10", "Stop the playing audio file.", "media-playback-stop",
     "Stop", "Stop the Currently Playing File"},
    {MainDialog::CM_SELECTALL, "Select A&ll\tCtrl+A", "Select all files.", nullptr, nullptr,
     nullptr},
    {MainDialog::CM_SETTINGS, "&Settings...\tCtrl+S", "Configure the program settings.",
     "configure", "Settings", "Program Settings"},
    {MainDialog::CM_CONVERT, "&Convert\tF3",
     "Convert the selected audio file(s) to the specified output format.", "document-save-as",
     "Convert", "Convert File(s) to the specified format"},
    {MainDialog::CM_EXIT, "E&xit\tAlt+F4", "", nullptr, nullptr, nullptr},
    {CM_HELP_CONTENTS, "Help Contents\tF1", "Display the help documentation.", "help-contents",
     nullptr, nullptr},
    {CM_HELP_ABOUT, "About", "Display program information (including version number)", nullptr,
     nullptr, nullptr},
};

// The notices the status bar cycles through.
const char* const kNotices[] = {
    "Drag files or folders from your file manager onto the list to add them.",
    "Choose an output format and folder, then press Convert (F3).",
    "Encoder Settings sets the quality of MP3, Ogg, FLAC and AAC output.",
    "Program Settings decides what happens when an output file already exists.",
    "From a terminal: sonvex file.wav -format .mp3 -outfolder DIR -convert",
    "Press F1 for help.",
};

constexpr int kNoticeFirstMs = 500;
constexpr int kNoticeEveryMs = 8000;

LRect ToRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

}  // namespace

MainWindow::MainWindow(LQtHost& host) : host_(host) {
    setWindowTitle(tr("Sonvex"));
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    host_.SetMainWindow(this);
    host_.SetIdleHandler([this] { QTimer::singleShot(0, this, &MainWindow::ProcessRequests); });
    pModel_ = std::make_unique<FileListModel>(dlg_);
    pModel_->SetRowsChangedHandler([this](int, int) { SyncSelectionFromLogic(); });
    BuildActions();
    BuildCentral();
    BuildMenusAndToolbar();
    new KeyFilter(this, [this](int code) { return EvKeyDown(code); });
    pNotice_ = new QLabel(this);
    statusBar()->addWidget(pNotice_, 1);
    pPlay_ = new PlayStatus(dlg_, this);
    pPlay_->SetPlayingChangedHandler([this] {
        pNotice_->setVisible(pPlay_->isHidden());
        pModel_->RefreshRows();
        EnableControls();
    });
    statusBar()->addWidget(pPlay_, 1);
    dlg_.SetPlayObserver(pPlay_);
    pNoticeTimer_ = new QTimer(this);
    connect(pNoticeTimer_, &QTimer::timeout, this, &MainWindow::NextNotice);
    pNoticeTimer_->start(kNoticeFirstMs);
    // The player's notifications are run here, on the user-interface thread.
    auto* pPlayerNotifier =
        new QSocketNotifier(LNotifyQueue::Default().Descriptor(), QSocketNotifier::Read, this);
    connect(pPlayerNotifier, &QSocketNotifier::activated, this, [this] {
        LNotifyQueue::Default().Drain();
        EnableControls();
    });
}

MainWindow::~MainWindow() {
    dlg_.CmStop();
    dlg_.SetPlayObserver(nullptr);
    host_.SetIdleHandler(nullptr);
    host_.SetMainWindow(nullptr);
    pList_->setModel(nullptr);
}

QAction* MainWindow::Action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::BuildActions() {
    for (const auto& c : kCommands) {
        auto* a = new QAction(tr(c.szMenu), this);
        a->setStatusTip(tr(c.szMenuHelp));
        if (c.szTheme) a->setIcon(ToolIcon(c.szTheme));
        if (c.szLabel) a->setIconText(tr(c.szLabel));
        if (c.szToolTip) a->setToolTip(tr(c.szToolTip));
        const int id = c.id;
        connect(a, &QAction::triggered, this, [this, id] { Command(id); });
        actions_[id] = a;
    }
}

void MainWindow::BuildMenusAndToolbar() {
    pFileMenu_ = menuBar()->addMenu(tr("&File"));
    for (int id : std::initializer_list<int>{MainDialog::CM_ADD, MainDialog::CM_REMOVE, 0,
                                             MainDialog::CM_PLAY, MainDialog::CM_STOP, 0,
                                             MainDialog::CM_SELECTALL, MainDialog::CM_CONVERT, 0,
                                             MainDialog::CM_SETTINGS, 0, MainDialog::CM_EXIT}) {
        if (id)
            pFileMenu_->addAction(Action(id));
        else
            pFileMenu_->addSeparator();
    }
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(Action(CM_HELP_CONTENTS));
    help->addSeparator();
    help->addAction(Action(CM_HELP_ABOUT));
    // Menu help restarts the notices' period.
    for (QMenu* m : {pFileMenu_, help})
        connect(m, &QMenu::hovered, this, [this] { pNoticeTimer_->start(kNoticeEveryMs); });

    QToolBar* tb = addToolBar(tr("Toolbar"));
    tb->setObjectName("toolbar");
    tb->setMovable(false);
    tb->setFloatable(false);
    tb->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tb->setIconSize(QSize(32, 32));
    for (int id : std::initializer_list<int>{MainDialog::CM_ADD, MainDialog::CM_REMOVE,
                                             MainDialog::CM_PLAY, MainDialog::CM_STOP, 0,
                                             MainDialog::CM_SETTINGS, MainDialog::CM_CONVERT}) {
        if (id)
            tb->addAction(Action(id));
        else
            tb->addSeparator();
    }
}

void MainWindow::BuildCentral() {
    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);

    pList_ = new QTableView(central);
    pList_->setModel(pModel_.get());
    pList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    pList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    pList_->setShowGrid(false);
    pList_->setWordWrap(false);
    pList_->setTextElideMode(Qt::ElideMiddle);
    pList_->verticalHeader()->hide();
    pList_->verticalHeader()->setDefaultSectionSize(pList_->fontMetrics().height() + 6);
    pList_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    pList_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
    pList_->horizontalHeader()->resizeSection(1, 100);
    pList_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pList_->setIconSize(QSize(16, 16));
    pList_->setToolTip(tr("List of files to convert"));
    pList_->setContextMenuPolicy(Qt::CustomContextMenu);
    pList_->setAcceptDrops(false);  // drops go to the window
    connect(pList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { SelectionChangedByUser(); });
    connect(pList_, &QTableView::doubleClicked, this,
            [this](const QModelIndex&) { Command(MainDialog::CM_PLAY); });
    connect(pList_, &QTableView::customContextMenuRequested, this, [this](const QPoint& p) {
        // The context menu is the File menu; Convert there needs a selection.
        QAction* convert = Action(MainDialog::CM_CONVERT);
        const bool before = convert->isEnabled();
        convert->setEnabled(before && dlg_.IsCommandEnabled(MainDialog::CM_CONVERT));
        pFileMenu_->exec(pList_->viewport()->mapToGlobal(p));
        convert->setEnabled(before);
    });
    v->addWidget(pList_, 1);

    auto* grid = new QGridLayout;
    auto* folderLabel = new QLabel(tr("Output Fol&der"), central);
    pFolder_ = new QComboBox(central);
    pFolder_->setEditable(true);
    pFolder_->setInsertPolicy(QComboBox::NoInsert);
    pFolder_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    pFolder_->setToolTip(tr("Enter output folder name"));
    folderLabel->setBuddy(pFolder_);
    connect(pFolder_, &QComboBox::editTextChanged, this, [this](const QString& t) {
        if (!bSyncing_) dlg_.SetOutputFolderText(t.toStdString());
    });
    pBrowse_ = new QPushButton(tr("..."), central);
    pBrowse_->setToolTip(tr("Browse for output folder"));
    pBrowse_->setFixedWidth(pBrowse_->fontMetrics().horizontalAdvance("....") + 24);
    connect(pBrowse_, &QPushButton::clicked, this, [this] {
        if (host_.BusyDepth() == 0) CmBrowseOutput();
    });
    grid->addWidget(folderLabel, 0, 0);
    grid->addWidget(pFolder_, 0, 1);
    grid->addWidget(pBrowse_, 0, 2);

    auto* formatLabel = new QLabel(tr("Output &Format"), central);
    pFormat_ = new QComboBox(central);
    for (std::string_view f : FormatBoxFormats()) pFormat_->addItem(Q(f));
    pFormat_->setToolTip(tr("Set output format"));
    formatLabel->setBuddy(pFormat_);
    connect(pFormat_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (bSyncing_) return;
        dlg_.SetFormatIndex(i);
        EnableControls();
    });
    pCodec_ = new QPushButton(tr("Encoder &Settings..."), central);
    pCodec_->setToolTip(tr("Configure output format settings"));
    connect(pCodec_, &QPushButton::clicked, this, [this] {
        if (host_.BusyDepth() > 0) return;
        LBusyScope busy;
        dlg_.CmCodecSettings();
    });
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(pFormat_);
    formatRow->addStretch(1);
    formatRow->addWidget(pCodec_);
    grid->addWidget(formatLabel, 1, 0);
    grid->addLayout(formatRow, 1, 1, 1, 2);
    v->addLayout(grid);
    setCentralWidget(central);
}

void MainWindow::InitDialog(const std::vector<std::string>& args, bool bSplash) {
    {
        LBusyScope busy;
        bSyncing_ = true;
        dlg_.InitDialog(args);
        bSyncing_ = false;
        ShowFolderBox();
        EnableControls();
    }
    if (dlg_.IsClosed()) {
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (dlg_.IsHidden()) return;
    ShowAtStoredPlace();
    if (bSplash) (new SplashWindow)->show();
}

void MainWindow::ShowAtStoredPlace() {
    const LWindowPlacement p = ReadWindowPlacement();
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const LRect area = s ? ToRect(s->availableGeometry()) : p.rect;
    if (p.bMaximized) {
        setGeometry(p.rect.x, p.rect.y, p.rect.w, p.rect.h);
        showMaximized();
    } else {
        const LRect r = ClampToArea(p.rect, area);
        setGeometry(r.x, r.y, r.w, r.h);
        show();
    }
    bShownOnce_ = true;
}

void MainWindow::ApplyVisibility() {
    if (dlg_.IsHidden()) {
        hide();
    } else if (!isVisible()) {
        if (bShownOnce_)
            showNormal();
        else
            ShowAtStoredPlace();
    }
}

void MainWindow::ShowFolderBox() {
    bSyncing_ = true;
    QStringList items;
    for (const auto& h : dlg_.FolderHistory()) items << QString::fromStdString(h);
    QStringList now;
    for (int i = 0; i < pFolder_->count(); ++i) now << pFolder_->itemText(i);
    if (items != now) {
        pFolder_->clear();
        pFolder_->addItems(items);
    }
    pFolder_->setEditText(QString::fromStdString(dlg_.OutputFolderText()));
    pFormat_->setCurrentIndex(dlg_.FormatIndex());
    bSyncing_ = false;
}

void MainWindow::EnableControls() {
    for (int id : {MainDialog::CM_REMOVE, MainDialog::CM_PLAY, MainDialog::CM_STOP,
                   MainDialog::CM_SELECTALL})
        Action(id)->setEnabled(dlg_.IsCommandEnabled(id));
    // The toolbar's Convert follows whether the list has rows.
    Action(MainDialog::CM_CONVERT)->setEnabled(dlg_.RowCount() > 0);
    pCodec_->setEnabled(dlg_.IsCodecSettingsEnabled());
}

void MainWindow::SyncSelectionFromLogic() {
    if (bSyncing_) return;
    bSyncing_ = true;
    QItemSelection sel;
    for (int r = 0; r < dlg_.RowCount(); ++r)
        if (dlg_.IsSelected(r)) sel.select(pModel_->index(r, 0), pModel_->index(r, 1));
    pList_->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    bSyncing_ = false;
    EnableControls();
}

void MainWindow::SelectionChangedByUser() {
    if (bSyncing_) return;
    const QItemSelectionModel* m = pList_->selectionModel();
    for (int r = 0; r < dlg_.RowCount(); ++r) dlg_.SetSelected(r, m->isRowSelected(r, {}));
    EnableControls();
}

void MainWindow::Command(int id) {
    // One thing at a time: no command while a job, a dialog or a forwarded line runs.
    if (host_.BusyDepth() > 0 || bClosing_) return;
    {
        LBusyScope busy;
        switch (id) {
            case MainDialog::CM_ADD:
                CmLoadFiles();
                break;
            case MainDialog::CM_REMOVE:
                dlg_.CmRemoveFiles(true);
                break;
            case MainDialog::CM_PLAY:
                dlg_.CmPlay();
                break;
            case MainDialog::CM_STOP:
                dlg_.CmStop();
                break;
            case MainDialog::CM_SELECTALL:
                dlg_.CmSelectAll();
                break;
            case MainDialog::CM_SETTINGS:
                LSettingsDlg().DoModal();
                break;
            case MainDialog::CM_CONVERT:
                if (dlg_.RowCount() > 0) dlg_.CmConvert();
                break;
            case MainDialog::CM_EXIT:
                QTimer::singleShot(0, this, &QWidget::close);
                break;
            case CM_HELP_CONTENTS:
                OpenHelp(kHelpContents);
                break;
            case CM_HELP_ABOUT:
                AboutBox(this).exec();
                break;
            default:
                break;
        }
        ShowFolderBox();
        SyncSelectionFromLogic();
    }
}

bool MainWindow::EvKeyDown(int code) {
    const int cmd = MainDialogKeyCommand(code);
    if (cmd == kKeySwallowed) return true;
    if (cmd == 0) return false;
    Command(cmd);
    return true;
}

void MainWindow::CmLoadFiles() {
    QStringList filters;
    for (const auto& f : kAddFileFilters) {
        QString patterns = Q(f.szPattern).replace(';', ' ');
        if (patterns == "*.*") patterns = "*";
        // The patterns are hidden: the dialog shows the row's own text.
        filters << Q(f.szText) + " (" + patterns + ")";
    }
    QFileDialog fd(this, Q(kAddFilesTitle),
                   QString::fromStdString(SettingsReadString("Settings", "LoadFromFolder", "")));
    fd.setFileMode(QFileDialog::ExistingFiles);
    fd.setNameFilters(filters);
    fd.setDefaultSuffix("WAV");
    fd.setOption(QFileDialog::HideNameFilterDetails);
    fd.setOption(QFileDialog::ReadOnly);
    if (fd.exec() != QDialog::Accepted) return;
    const QStringList files = fd.selectedFiles();
    if (files.isEmpty()) return;
    SettingsWriteString("Settings", "LoadFromFolder", fd.directory().absolutePath().toStdString());
    for (const QString& f : files) dlg_.LoadFile(f.toStdString());
}

void MainWindow::CmBrowseOutput() {
    LBusyScope busy;
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Locate output folder..."),
                                                          pFolder_->currentText());
    if (dir.isEmpty()) return;
    dlg_.SetOutputFolderText(dir.toStdString());
    ShowFolderBox();
}

void MainWindow::AddDroppedPaths(const std::vector<std::string>& paths) {
    if (host_.BusyDepth() > 0) return;
    LBusyScope busy;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (const auto& p : paths)
        if (dlg_.AddDroppedPath(p) == LPROCESS_STOPPED) break;
    QApplication::restoreOverrideCursor();
    EnableControls();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    std::vector<std::string> paths;
    // text/uri-list: each URI percent-decoded into a local path.
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile()) paths.push_back(u.toLocalFile().toStdString());
    if (paths.empty()) return;
    e->acceptProposedAction();
    // Added after the drop has ended, so the file manager is not held meanwhile.
    QTimer::singleShot(0, this, [this, paths] { AddDroppedPaths(paths); });
}

void MainWindow::NextNotice() {
    pNotice_->setText(tr(kNotices[iNotice_]));
    iNotice_ = (iNotice_ + 1) % static_cast<int>(std::size(kNotices));
    pNoticeTimer_->start(kNoticeEveryMs);
}

void MainWindow::closeEvent(QCloseEvent* e) {
    // A running job ends first: its window's Cancel stops it.
    if (host_.BusyDepth() > 0 && !bClosing_) {
        e->ignore();
        return;
    }
    bClosing_ = true;
    dlg_.DestroyDialog();
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (bShownOnce_ && s) {
        const auto st = isMaximized()   ? LWindowState::Maximized
                        : isMinimized() ? LWindowState::Minimized
                                        : LWindowState::Normal;
        StoreWindowPlacement(st, ToRect(geometry()), ToRect(s->availableGeometry()));
    }
    // Later starts find no one listening once the window is gone.
    if (pServer_) {
        delete pServerNotifier_;
        pServerNotifier_ = nullptr;
        pServer_->Close();
    }
    e->accept();
    QCoreApplication::quit();
}

// ---- Requests of later starts ----

void MainWindow::WatchInstanceSocket(LInstanceServer* server) {
    pServer_ = server;
    pServerNotifier_ = new QSocketNotifier(server->Fd(), QSocketNotifier::Read, this);
    connect(pServerNotifier_, &QSocketNotifier::activated, this, &MainWindow::AcceptConnections);
}

void MainWindow::AcceptConnections() {
    int fd;
    while (pServer_ && pServer_->Accept(fd)) {
        if (fd < 0) continue;  // another user: refused
        Pending p;
        p.request = std::make_unique<LInstanceRequest>(fd);
        p.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        LInstanceRequest* req = p.request.get();
        connect(p.notifier, &QSocketNotifier::activated, this, [this, req] {
            auto it = std::find_if(reading_.begin(), reading_.end(),
                                   [req](const Pending& q) { return q.request.get() == req; });
            if (it == reading_.end()) return;
            const auto status = req->ReadAvailable();
            if (status == LRunArgsData::Status::NeedMore) return;
            it->notifier->setEnabled(false);
            it->notifier->deleteLater();
            if (status == LRunArgsData::Status::Complete) ready_.push_back(std::move(it->request));
            reading_.erase(it);
            ProcessRequests();
        });
        reading_.push_back(std::move(p));
    }
}

void MainWindow::ProcessRequests() {
    // Never inside a job's pump or a dialog: the request waits for the idle moment.
    if (bProcessing_ || host_.BusyDepth() > 0 || ready_.empty()) return;
    bProcessing_ = true;
    std::unique_ptr<LInstanceRequest> req = std::move(ready_.front());
    ready_.pop_front();
    const int status = EvRunArguments(req->Args());
    req->Reply(status);
    bProcessing_ = false;
    emit RequestDone(status);
    if (dlg_.IsClosed()) {
        // The other requests get no answer: their senders see the instance end.
        ready_.clear();
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (!ready_.empty()) QTimer::singleShot(0, this, &MainWindow::ProcessRequests);
}

int MainWindow::EvRunArguments(const std::vector<std::string>& args) {
    LBusyScope busy;
    // The running window comes to the front as it was (maximised or restored).
    if (!dlg_.IsHidden()) {
        if (!isVisible()) ApplyVisibility();
        if (isMinimized()) isMaximized() ? showMaximized() : showNormal();
        raise();
        activateWindow();
    }
    dlg_.ResetExitStatus();
    bSyncing_ = true;
    dlg_.EvRunArguments(args);
    bSyncing_ = false;
    ShowFolderBox();
    SyncSelectionFromLogic();
    ApplyVisibility();
    return dlg_.ExitStatus();
}

}  // namespace sonvex
