#include "app/qt/QtHost.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QWindow>

#include "app/qt/DialogView.h"
#include "app/qt/ProgressWindow.h"

namespace sonvex {

namespace {
LQtHost* g_pQtHost = nullptr;
}

// One job's window: disables its owner for the job's life and pumps the event loop.
class QtProgressWindowAdapter : public LProgressWindow {
public:
    QtProgressWindowAdapter(LQtHost& host, const QString& title)
        : host_(host), pOwner_(host.Owner()), pWindow_(new QtProgressWindow(title)) {
        host_.Enter();
        if (pOwner_) {
            bOwnerWasEnabled_ = pOwner_->isEnabled();
            pOwner_->setEnabled(false);
            pWindow_->winId();
            if (pOwner_->isVisible() && pOwner_->windowHandle())
                pWindow_->windowHandle()->setTransientParent(pOwner_->windowHandle());
        }
        host_.owners_.push_back(QPointer<QWidget>(pWindow_.data()));
        pWindow_->show();
        QCoreApplication::processEvents();
    }
    ~QtProgressWindowAdapter() override {
        host_.owners_.pop_back();
        delete pWindow_.data();
        if (pOwner_) {
            pOwner_->setEnabled(bOwnerWasEnabled_);
            if (pOwner_->isVisible()) pOwner_->activateWindow();
        }
        host_.Leave();
    }
    void SetStatusText(int line, const std::string& text) override {
        if (pWindow_) pWindow_->SetLine(line, QString::fromStdString(text));
    }
    void SetProgress(int percent) override {
        if (pWindow_) pWindow_->SetPercent(percent);
    }
    bool Pump() override {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return !pWindow_ || pWindow_->IsCancelled();
    }

private:
    LQtHost& host_;
    QPointer<QWidget> pOwner_;
    QPointer<QtProgressWindow> pWindow_;
    bool bOwnerWasEnabled_ = true;
};

LQtHost::LQtHost() : pPrevious_(SetUiHost(this)) {
    g_pQtHost = this;
}

LQtHost::~LQtHost() {
    SetUiHost(pPrevious_);
    g_pQtHost = nullptr;
}

LQtHost* LQtHost::Instance() {
    return g_pQtHost;
}

QWidget* LQtHost::Owner() const {
    for (auto it = owners_.rbegin(); it != owners_.rend(); ++it)
        if (*it) return *it;
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return pMain_;
}

void LQtHost::Leave() {
    if (--nBusy_ == 0 && onIdle_) onIdle_();
}

std::unique_ptr<LProgressWindow> LQtHost::CreateProgressWindow(const std::string& title) {
    return std::make_unique<QtProgressWindowAdapter>(*this, QString::fromStdString(title));
}

int LQtHost::MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                        MsgIcon icon, int) {
    LBusyScope busy;
    QWidget* owner = Owner();
    QMessageBox box(owner && owner->isVisible() ? owner : nullptr);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int id;
    };
    std::vector<Choice> choices;
    switch (buttons) {
        case MsgButtons::Ok:
            choices = {{QMessageBox::Ok, IDOK}};
            break;
        case MsgButtons::OkCancel:
            choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MsgButtons::YesNo:
            choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            break;
        case MsgButtons::YesNoCancel:
            choices = {{QMessageBox::Yes, IDYES},
                       {QMessageBox::No, IDNO},
                       {QMessageBox::Cancel, IDCANCEL}};
            break;
    }
    QMessageBox::StandardButtons set;
    for (const auto& c : choices) set |= c.button;
    box.setStandardButtons(set);
    box.setDefaultButton(choices.front().button);
    box.setEscapeButton(choices.back().button);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& c : choices)
        if (c.button == pressed) return c.id;
    return choices.back().id;
}

int LQtHost::RunDialog(LDialog& dialog) {
    LBusyScope busy;
    QWidget* owner = Owner();
    QtDialogView view(dialog, owner && owner->isVisible() ? owner : nullptr);
    return view.Run();
}

LBusyScope::LBusyScope() {
    if (LQtHost* h = LQtHost::Instance()) h->Enter();
}

LBusyScope::~LBusyScope() {
    if (LQtHost* h = LQtHost::Instance()) h->Leave();
}

}  // namespace sonvex
