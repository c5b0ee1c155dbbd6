// The installer's terms page under a window.
#include "app/qt/InstallWizard.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QRadioButton>

#include "installer/Installer.h"
#include "tests/app/qt/QtFixture.h"

namespace sonvex::test {
namespace {

TEST_F(QtViews, TermsWizardNeedsAChoiceAndAsksBeforeLeaving) {
    QtTermsWizard wizard;
    wizard.show();
    QAbstractButton* finish = wizard.button(QWizard::FinishButton);
    EXPECT_FALSE(finish->isEnabled());
    wizard.DeclineButton()->click();
    EXPECT_TRUE(finish->isEnabled());
    EXPECT_EQ(finish->text(), "Close");
    wizard.AcceptButton()->click();
    EXPECT_EQ(finish->text(), "&Install");

    // Cancel asks; the question's Cancel keeps the wizard open.
    QString asked;
    WhenModal([&asked](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        asked = box->text();
        box->button(QMessageBox::Cancel)->click();
    });
    wizard.reject();
    EXPECT_EQ(asked.toStdString(), kExitSetupText);
    EXPECT_TRUE(wizard.isVisible());
    finish->click();
    EXPECT_TRUE(wizard.Accepted());
}

}  // namespace
}  // namespace sonvex::test
