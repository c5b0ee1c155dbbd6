// The installer under a window: the terms of use as a one-page wizard owned by the
// installation's progress window.
#pragma once

#include <QWizard>

class QRadioButton;

namespace sonvex {

class QtTermsWizard : public QWizard {
    Q_OBJECT
public:
    explicit QtTermsWizard(QWidget* parent = nullptr);
    // True when finished with accept chosen.
    bool Accepted() const;
    QRadioButton* AcceptButton() const { return pAccept_; }
    QRadioButton* DeclineButton() const { return pDecline_; }

public slots:
    // Cancel asks whether to leave setup; No keeps the wizard open.
    void reject() override;

private:
    QRadioButton* pAccept_;
    QRadioButton* pDecline_;
};

}  // namespace sonvex
