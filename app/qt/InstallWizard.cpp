#include "app/qt/InstallWizard.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QWizardPage>

#include "app/qt/Icons.h"
#include "app/qt/QtHost.h"
#include "app/qt/QtMain.h"
#include "installer/Installer.h"

namespace sonvex {

namespace {

// Complete once a choice is made; the finish button then reads "&Install" or "Close".
class TermsPage : public QWizardPage {
public:
    TermsPage(QRadioButton* accept, QRadioButton* decline) : accept_(accept), decline_(decline) {}
    bool isComplete() const override { return accept_->isChecked() || decline_->isChecked(); }
    void Changed() {
        if (wizard())
            wizard()->setButtonText(QWizard::FinishButton,
                                    accept_->isChecked() ? tr("&Install") : tr("Close"));
        emit completeChanged();
    }

private:
    QRadioButton* accept_;
    QRadioButton* decline_;
};

}  // namespace

QtTermsWizard::QtTermsWizard(QWidget* parent) : QWizard(parent) {
    setWindowTitle(QString::fromUtf8(kInstallTitle));
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::NoBackButtonOnLastPage);
    pAccept_ = new QRadioButton(tr("I &accept the terms of use"));
    pDecline_ = new QRadioButton(tr("I &do not accept the terms of use"));
    auto* page = new TermsPage(pAccept_, pDecline_);
    page->setTitle(QString::fromUtf8(kTermsTitle));
    page->setSubTitle(QString::fromUtf8(kTermsSubtitle));
    auto* text = new QPlainTextEdit(QString::fromUtf8(TermsOfUseText()));
    text->setReadOnly(true);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(text);
    layout->addWidget(pAccept_);
    layout->addWidget(pDecline_);
    connect(pAccept_, &QRadioButton::toggled, page, [page] { page->Changed(); });
    connect(pDecline_, &QRadioButton::toggled, page, [page] { page->Changed(); });
    addPage(page);
    setButtonText(QWizard::FinishButton, tr("&Install"));
}

bool QtTermsWizard::Accepted() const {
    return result() == QDialog::Accepted && pAccept_->isChecked();
}

void QtTermsWizard::reject() {
    if (LQtHost::Instance() &&
        LQtHost::Instance()->MessageBox(kExitSetupText, kExitSetupCaption, MsgButtons::OkCancel,
                                        MsgIcon::Question) != IDOK)
        return;
    QWizard::reject();
}

int RunWindowedInstaller(int argc, char** argv, unsigned magic) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Sonvex");
    QApplication::setWindowIcon(AppIcon());
    LQtHost host;
    const std::vector<std::string> args(argv, argv + argc);
    auto terms = [&host](LProgressDialog&) {
        QtTermsWizard wizard(host.Owner());
        wizard.exec();
        return wizard.Accepted();
    };
    return RunInstaller(magic, args, terms, LStartMode::Detached);
}

}  // namespace sonvex
