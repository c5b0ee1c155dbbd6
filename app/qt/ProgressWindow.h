// The progress window of a job: two status lines, a bar from 0 to 100 and Cancel.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace sonvex {

class QtProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit QtProgressWindow(const QString& title, QWidget* parent = nullptr);
    void SetLine(int line, const QString& text);
    void SetPercent(int percent);
    bool IsCancelled() const { return bCancelled_; }
    QPushButton* CancelButton() const { return pCancel_; }
    int Percent() const;
    QString Line(int line) const;

public slots:
    // Cancel: the window goes away; the job sees it at its next pump.
    void reject() override;

private:
    QLabel* pLines_[2];
    QProgressBar* pBar_;
    QPushButton* pCancel_;
    bool bCancelled_ = false;
};

}  // namespace sonvex
