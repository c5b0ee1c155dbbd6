// The Qt view of a dialog's logic (support/Dialog.h): one widget per control, laid out in the
// group boxes of the dialog's layout, OK, Cancel and (where the dialog has help) Help. Every
// change goes to the logic as a command; the view then shows the logic's state again.
#pragma once

#include <QDialog>
#include <map>

class QDialogButtonBox;
class QPushButton;

namespace sonvex {

class LDialog;
struct LControl;

class QtDialogView : public QDialog {
    Q_OBJECT
public:
    QtDialogView(LDialog& dialog, QWidget* parent = nullptr);
    // InitDialog, the widgets, then the modal loop; IDOK or IDCANCEL.
    int Run();
    // InitDialog and the widgets, without the loop (Run calls it; tests too).
    void Prepare();
    int Result() const { return iResult_; }

    QWidget* Widget(int id) const;
    QPushButton* OkButton() const;
    QPushButton* CancelButton() const;
    QPushButton* HelpButton() const;  // null when the dialog has no help

public slots:
    void accept() override;
    void reject() override;

private:
    void Build();
    QWidget* MakeWidget(LControl& c);
    // Shows the logic's values and enabled states.
    void Refresh();
    void Changed(int id);

    LDialog& dlg_;
    std::map<int, QWidget*> widgets_;
    std::map<int, QWidget*> labels_;  // the label beside a list or edit field
    QDialogButtonBox* pButtons_ = nullptr;
    int iResult_ = 2;
    bool bRefreshing_ = false;
};

}  // namespace sonvex
