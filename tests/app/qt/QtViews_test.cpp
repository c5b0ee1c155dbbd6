// The Qt views under the offscreen platform: a press reaches the logic's handler and the
// logic's state shows in the view.
#include <QAction>
#include <QComboBox>
#include <QDropEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include "app/MainDialog.h"
#include "app/SettingsDlg.h"
#include "app/qt/DialogView.h"
#include "app/qt/FileListModel.h"
#include "app/qt/LevelMeter.h"
#include "app/qt/MainWindow.h"
#include "app/qt/PlayStatus.h"
#include "app/qt/ProgressWindow.h"
#include "app/qt/QtFixture.h"
#include "encoders/AacEncoder.h"
#include "encoders/FlacEncoder.h"
#include "encoders/Mp3Encoder.h"
#include "encoders/OggEncoder.h"
#include "platform/sound/AlsaFileConfig.h"
#include "platform/sound/SoundOut.h"
#include "player/SoundPlayer.h"
#include "support/Dialog.h"
#include "support/ProgressDialog.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using test::QtViews;

using test::WriteWav;

// A press on a button's indicator, where a user clicks.
void Press(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
}

template <class W>
W* Get(QtDialogView& v, int id) {
    auto* w = qobject_cast<W*>(v.Widget(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
}

TEST_F(QtViews, ProgramSettingsViewStoresWhatIsPressed) {
    for (bool bOk : {false, true}) {
        LSettingsDlg dlg;
        QtDialogView view(dlg);
        view.Prepare();
        view.show();
        auto* device = Get<QComboBox>(view, LSettingsDlg::IDC_DEVICE);
        ASSERT_EQ(device->count(), LSoundPlayDevice::GetCount() + 1);
        EXPECT_EQ(device->itemText(0), "[Default Sound Out]");
        EXPECT_EQ(device->currentIndex(), 0);
        EXPECT_TRUE(Get<QRadioButton>(view, LSettingsDlg::IDC_PROMPT)->isChecked());
        ASSERT_NE(view.HelpButton(), nullptr);
        Press(Get<QRadioButton>(view, LSettingsDlg::IDC_NEVER));
        EXPECT_TRUE(dlg.IsChecked(LSettingsDlg::IDC_NEVER));
        EXPECT_FALSE(Get<QRadioButton>(view, LSettingsDlg::IDC_PROMPT)->isChecked());
        (bOk ? view.OkButton() : view.CancelButton())->click();
        EXPECT_EQ(view.Result(), bOk ? IDOK : IDCANCEL);
        EXPECT_EQ(SettingsReadString("Settings", "NeverOverwrite", "unset"), bOk ? "1" : "unset");
        EXPECT_EQ(SettingsReadString("Settings", "AlwaysPrompt", "unset"), bOk ? "0" : "unset");
    }
}

TEST_F(QtViews, EncoderOptionViewsFollowTheirLogic) {
    LMp3Settings mp3;
    LOggSettings ogg;
    LFlacSettings flac;
    LAACSettings aac;
    struct Case {
        std::function<std::unique_ptr<LDialog>()> make;
        int iRadio, iEnabledByIt, iDisabledByIt, iDefaults;
    };
    const Case cases[] = {
        {[&] { return std::make_unique<LMp3EncodeDlg>(mp3); }, LMp3EncodeDlg::IDC_CBR,
         LMp3EncodeDlg::IDC_CBRRATE, LMp3EncodeDlg::IDC_VBRMIN, LMp3EncodeDlg::IDC_DEFAULTS},
        {[&] { return std::make_unique<LOggEncodeDlg>(ogg); }, LOggEncodeDlg::IDC_ABR,
         LOggEncodeDlg::IDC_ABRRATE, LOggEncodeDlg::IDC_VBRMAX, LOggEncodeDlg::IDC_DEFAULTS},
        {[&] { return std::make_unique<LAACEncodeDlg>(aac); }, LAACEncodeDlg::IDC_ABR,
         LAACEncodeDlg::IDC_ABRRATE, LAACEncodeDlg::IDC_QUALITY, LAACEncodeDlg::IDC_DEFAULTS},
        {[&] { return std::make_unique<LFlacEncodeDlg>(flac); }, 0, 0, 0,
         LFlacEncodeDlg::IDC_DEFAULTS},
    };
    for (const auto& c : cases) {
        auto dlg = c.make();
        SCOPED_TRACE(dlg->Title());
        QtDialogView view(*dlg);
        view.Prepare();
        view.show();
        auto sameAsLogic = [&] {
            for (auto& ctl : dlg->Controls()) {
                QWidget* w = view.Widget(ctl.id);
                ASSERT_NE(w, nullptr) << ctl.id;
                EXPECT_EQ(w->isEnabled(), ctl.bEnabled) << ctl.id;
                if (auto* cb = qobject_cast<QComboBox*>(w);
                    cb && ctl.kind == LControl::Kind::Combo) {
                    EXPECT_EQ(cb->currentIndex(), ctl.iSel) << ctl.id;
                }
                if (auto* r = qobject_cast<QRadioButton*>(w)) {
                    EXPECT_EQ(r->isChecked(), ctl.bChecked);
                }
            }
        };
        sameAsLogic();
        if (c.iRadio) {
            Press(Get<QRadioButton>(view, c.iRadio));
            EXPECT_TRUE(view.Widget(c.iEnabledByIt)->isEnabled());
            EXPECT_FALSE(view.Widget(c.iDisabledByIt)->isEnabled());
            sameAsLogic();
        }
        // A list choice reaches the logic; Restore Defaults shows the defaults again.
        for (auto& ctl : dlg->Controls()) {
            auto* cb = qobject_cast<QComboBox*>(view.Widget(ctl.id));
            if (!cb || ctl.kind != LControl::Kind::Combo || !cb->isEnabled()) continue;
            cb->setCurrentIndex(cb->count() - 1);
            EXPECT_EQ(dlg->ComboGetSel(ctl.id), cb->count() - 1);
        }
        Press(Get<QPushButton>(view, c.iDefaults));
        sameAsLogic();
        view.CancelButton()->click();
        EXPECT_EQ(view.Result(), IDCANCEL);
    }
}

TEST_F(QtViews, ProgressWindowsDisableTheirOwnersAndCancelReachesTheJob) {
    QWidget owner;
    owner.show();
    host.SetMainWindow(&owner);
    auto windowTitled = [](const QString& title) -> QtProgressWindow* {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<QtProgressWindow*>(w); p && p->windowTitle() == title)
                return p;
        return nullptr;
    };
    int inner = -1;
    LProgressJob outer("Saving Audio File", [&](LProgressDialog& pd) {
        QtProgressWindow* w = windowTitled("Saving Audio File");
        EXPECT_NE(w, nullptr);
        if (!w) return LPROCESS_FAILED;
        EXPECT_FALSE(owner.isEnabled());
        pd.SetStatusText(0, "Converting");
        pd.SetStatusText(2, "ignored");
        pd.SetProgress(0.427);
        EXPECT_EQ(w->Line(0), "Converting");
        EXPECT_EQ(w->Percent(), 42);
        // A message during the job belongs to its window.
        QtViews::WhenModal([w](QWidget* box) {
            EXPECT_EQ(box->parentWidget(), w);
            static_cast<QMessageBox*>(box)->accept();
        });
        pd.ReportError("Something failed");
        inner = LProgressJob("Decoding", [&](LProgressDialog& ipd) {
                    QtProgressWindow* iw = windowTitled("Decoding");
                    EXPECT_FALSE(w->isEnabled());
                    EXPECT_TRUE(iw && iw->isEnabled());
                    EXPECT_FALSE(ipd.PumpMessages());
                    QTest::mouseClick(iw->CancelButton(), Qt::LeftButton);
                    EXPECT_TRUE(ipd.PumpMessages());
                    EXPECT_TRUE(ipd.PumpMessages());  // a second look is harmless
                    return LPROCESS_STOPPED;
                }).Run();
        EXPECT_TRUE(w->isEnabled());
        EXPECT_EQ(windowTitled("Decoding"), nullptr);
        EXPECT_FALSE(owner.isEnabled());
        return pd.PumpMessages() ? LPROCESS_STOPPED : LPROCESS_OK;
    });
    EXPECT_EQ(outer.Run(), LPROCESS_OK);
    EXPECT_EQ(inner, LPROCESS_STOPPED);
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_EQ(windowTitled("Saving Audio File"), nullptr);
    host.SetMainWindow(nullptr);
}

struct MainWindowView : QtViews {
    std::string dir = home.home();
    std::vector<std::string> files;
    std::unique_ptr<MainWindow> w;
    void Start(int n) {
        std::vector<std::string> args{"sonvex"};
        for (int i = 0; i < n; ++i) {
            files.push_back(dir + "/f" + std::to_string(i) + ".wav");
            WriteWav(files.back());
            args.push_back(files.back());
        }
        w = std::make_unique<MainWindow>(host);
        w->InitDialog(args, false);
    }
    QAbstractItemModel* Model() { return w->List()->model(); }
    void SelectOnly(int row) {
        w->List()->selectionModel()->select(
            Model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
};

TEST_F(MainWindowView, ListCommandsKeysAndBoxesReachTheLogic) {
    Start(3);
    ASSERT_EQ(Model()->rowCount(), 3);
    EXPECT_EQ(Model()->data(Model()->index(1, 0)).toString().toStdString(), files[1]);
    EXPECT_EQ(Model()->data(Model()->index(1, 1)).toString(), "1kB");
    EXPECT_FALSE(w->Action(MainDialog::CM_REMOVE)->isEnabled());
    SelectOnly(1);
    EXPECT_TRUE(w->Logic().IsSelected(1));
    EXPECT_FALSE(w->Logic().IsSelected(0));
    EXPECT_TRUE(w->Action(MainDialog::CM_REMOVE)->isEnabled());
    // Ctrl+A in the list selects every row in the logic and the view.
    QTest::keyClick(w->List(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w->List()->selectionModel()->selectedRows().size(), 3);
    EXPECT_TRUE(w->Logic().IsSelected(0) && w->Logic().IsSelected(2));
    // Ctrl+Del asks first; No keeps the rows, Yes removes them.
    for (auto button : {QMessageBox::No, QMessageBox::Yes}) {
        WhenModal(
            [button](QWidget* box) { static_cast<QMessageBox*>(box)->button(button)->click(); });
        SelectOnly(0);
        QTest::keyClick(w->List(), Qt::Key_Delete, Qt::ControlModifier);
    }
    ASSERT_EQ(Model()->rowCount(), 2);
    EXPECT_EQ(w->Logic().RowPath(0), files[1]);

    // Format and folder boxes.
    w->FormatBox()->setCurrentIndex(2);  // .au has no settings
    EXPECT_EQ(w->Logic().FormatText(), ".au");
    EXPECT_FALSE(w->CodecButton()->isEnabled());
    w->FormatBox()->setCurrentIndex(1);
    EXPECT_TRUE(w->CodecButton()->isEnabled());
    w->FolderBox()->setEditText(QString::fromStdString(dir + "/OUT"));
    EXPECT_EQ(w->Logic().OutputFolderText(), dir + "/OUT");

    // Convert (F3) of the selected row into a new folder: the question, then the job.
    ASSERT_EQ(mkdir((dir + "/OUT").c_str(), 0700), 0);
    w->FormatBox()->setCurrentIndex(2);
    SelectOnly(1);
    QTest::keyClick(w->List(), Qt::Key_F3);
    EXPECT_EQ(w->Logic().Rows()[1].iImage, ICON_CONVERTED);
    EXPECT_EQ(w->Logic().Rows()[0].iImage, ICON_WAITING);
    EXPECT_TRUE(test::FileExists(dir + "/OUT/f2.au"));
    EXPECT_FALSE(test::FileExists(dir + "/OUT/f1.au"));
    EXPECT_TRUE(w->isEnabled());
    // The folder went into the history the box offers.
    ASSERT_GE(w->FolderBox()->count(), 1);
    EXPECT_EQ(w->FolderBox()->itemText(0).toStdString(), dir + "/OUT");
}

TEST_F(MainWindowView, DroppedFilesAndFoldersAreAdded) {
    Start(0);
    ASSERT_EQ(mkdir((dir + "/in").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir + "/in/sub").c_str(), 0700), 0);
    WriteWav(dir + "/in/a.wav");
    WriteWav(dir + "/in/sub/b.au");
    test::WriteBytes(dir + "/in/notes.txt", {1});
    test::WriteBytes(dir + "/in/noext", {1});
    WriteWav(dir + "/my file%20x.wav");
    QMimeData mime;
    // A file manager's list: percent-encoded URIs, one per line.
    mime.setData("text/uri-list", QByteArray::fromStdString("file://" + dir + "/in\r\nfile://" +
                                                            dir + "/my%20file%2520x.wav\r\n"));
    const QPoint at = w->List()->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &drop);
    for (int i = 0; i < 100 && Model()->rowCount() < 3; ++i) QTest::qWait(10);
    std::vector<std::string> rows;
    for (int r = 0; r < Model()->rowCount(); ++r) rows.push_back(w->Logic().RowPath(r));
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<std::string>{dir + "/in/a.wav", dir + "/in/sub/b.au",
                                              dir + "/my file%20x.wav"}));
    EXPECT_TRUE(w->Action(MainDialog::CM_SELECTALL)->isEnabled());
}

TEST_F(MainWindowView, StoredRectangleOffTheScreenComesBackOnIt) {
    SettingsWriteInt("MainDialog", "X", 5000);
    SettingsWriteInt("MainDialog", "Y", -4000);
    SettingsWriteInt("MainDialog", "Width", 480);
    SettingsWriteInt("MainDialog", "Height", 20000);
    Start(0);
    const QRect area = w->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(w->geometry())) << w->geometry().x() << "," << w->geometry().y();
    EXPECT_EQ(w->geometry().width(), 480);
    w->close();
    EXPECT_LE(SettingsReadInt("MainDialog", "X", -1) + SettingsReadInt("MainDialog", "Width", -1),
              area.right() + 1);
    EXPECT_EQ(SettingsReadString("MainDialog", "Maximized", ""), "0");
}

TEST_F(MainWindowView, PlayingShowsInTheStatusBarAndTheListUntilItStops) {
    test::ScopedAlsaFileConfig alsa;
    if (!OpenSoundOut(0, {8000, 1})) GTEST_SKIP() << "ALSA cannot open its file plugin here";
    Start(1);
    const std::string longer = dir + "/A long recording.wav";
    WriteWav(longer, 8000 * 65);
    w->Logic().LoadFile(longer);
    PlayStatus* status = w->PlayStatusBar();
    auto bold = [&](int row) {
        return Model()->data(Model()->index(row, 0), Qt::FontRole).value<QFont>().bold();
    };
    auto playing = [&] { return w->Action(MainDialog::CM_STOP)->isEnabled(); };
    EXPECT_FALSE(playing());
    SelectOnly(1);
    // F9 plays, F10 stops; then the sound plays to its end.
    for (auto stop : {Qt::Key_F10, Qt::Key_unknown}) {
        QTest::keyClick(w->List(), Qt::Key_F9);
        EXPECT_TRUE(playing());
        EXPECT_TRUE(bold(1));
        EXPECT_FALSE(bold(0));
        EXPECT_TRUE(status->isVisibleTo(w.get()));
        EXPECT_FALSE(w->NoticeLabel()->isVisibleTo(w.get()));
        EXPECT_EQ(status->Text(), "Playing A long recording.wav  0:00 / 1:05");
        if (stop == Qt::Key_F10) QTest::keyClick(w->List(), stop);
        for (int i = 0; i < 3000 && playing(); ++i) QTest::qWait(10);
        EXPECT_FALSE(playing());
        EXPECT_FALSE(bold(1));
        EXPECT_FALSE(status->isVisibleTo(w.get()));
        EXPECT_TRUE(w->NoticeLabel()->isVisibleTo(w.get()));
    }
    EXPECT_EQ(test::ReadBytes(alsa.DefaultFile()).size(), 2u * 8000 * 65);
    // Removing the playing row (here by a forwarded "-clear") stops the sound first.
    QTest::keyClick(w->List(), Qt::Key_F9);
    w->EvRunArguments({"sonvex", "-clear"});
    EXPECT_EQ(Model()->rowCount(), 0);
    EXPECT_FALSE(playing());
    EXPECT_FALSE(status->isVisibleTo(w.get()));

    // The meter shows the player's levels: none lit for silence, all for a full-scale sine,
    // and a mono source on both bars.
    const std::vector<int16_t> sine = test::Sine16(800, 1, 440, 8000, 32767);
    std::vector<int32_t> full;
    for (int16_t x : sine) full.push_back(SampleFrom16(x));
    LSoundLevels levels;
    levels.nCount = 1;
    for (const auto& [samples, lit] :
         {std::pair{std::vector<int32_t>(800, 0), 0}, std::pair{full, 20}}) {
        levels.iLevel[0] = static_cast<int8_t>(LSoundChannelLevel(samples.data(), 800, 1));
        w->Logic().OnLevels(levels, 0);
        for (int c : {0, 1}) EXPECT_EQ(LevelMeter::LitSegments(status->Meter()->Level(c)), lit);
    }
}

TEST_F(MainWindowView, PlayWithoutAUsableDeviceShowsTheMessage) {
    Start(1);
    SelectOnly(0);
    auto play = [&] {
        std::string text;
        WhenModal([&text](QWidget* box) {
            text = static_cast<QMessageBox*>(box)->text().toStdString();
            static_cast<QMessageBox*>(box)->accept();
        });
        QTest::keyClick(w->List(), Qt::Key_F9);
        EXPECT_FALSE(w->Action(MainDialog::CM_STOP)->isEnabled());
        EXPECT_FALSE(w->PlayStatusBar()->isVisibleTo(w.get()));
        return text;
    };
    {
        // A stored number below or beyond the list of outputs.
        test::ScopedAlsaFileConfig alsa;
        for (int device : {-1, LSoundPlayDevice::GetCount() + 1}) {
            SettingsWriteInt("Settings", "SoundOutDevice", device);
            EXPECT_EQ(play(), kSoundDeviceErrorText) << device;
        }
    }
    // No sound card at all, as on a build server.
    test::ScopedAlsaFileConfig noCard(true);
    SettingsWriteInt("Settings", "SoundOutDevice", 0);
    EXPECT_EQ(play(), kSoundDeviceErrorText);
}

}  // namespace
}  // namespace sonvex
