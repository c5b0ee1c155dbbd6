// Dialog logic without a window toolkit: a dialog is a set of controls with values and the
// Cm.../Ev... handlers that act on them. A host shows it (window, terminal or test script).
#pragma once

#include <string>
#include <vector>

#include "support/UiHost.h"

namespace sonvex {

struct LControl {
    enum class Kind { Static, Edit, Check, Radio, Combo, Button };
    int id = 0;
    Kind kind = Kind::Static;
    std::string szLabel;    // caption shown beside or on the control
    std::string szText;     // edit text
    bool bChecked = false;  // check boxes and radio buttons
    bool bEnabled = true;
    int iGroup = 0;                  // radio buttons of one group share it
    std::vector<std::string> items;  // combo box rows
    int iSel = -1;                   // combo box selection
};

class LDialog {
public:
    explicit LDialog(std::string title) : szTitle(std::move(title)) {}
    virtual ~LDialog() = default;

    virtual void InitDialog() {}
    virtual bool CmOk() { return true; }
    virtual bool CmCancel() { return true; }
    virtual void CmHelp() {}
    virtual void EnableControls() {}
    virtual void CmCommand(int id, int code) { (void)id, (void)code; }

    // Runs the dialog through the current host; IDOK or IDCANCEL.
    int DoModal() { return UiHost().RunDialog(*this); }

    // Called by hosts: a control changed or a button was pressed.
    void Command(int id, int code = 0) {
        CmCommand(id, code);
        EnableControls();
    }

    const std::string& Title() const { return szTitle; }
    std::vector<LControl>& Controls() { return controls_; }
    LControl* Control(int id);

    // Control helpers used by the handlers.
    LControl& AddControl(int id, LControl::Kind kind, std::string label);
    void SetText(int id, const std::string& text);
    std::string GetText(int id);
    void SetInt(int id, int value) { SetText(id, std::to_string(value)); }
    void SetCheck(int id, bool checked);
    bool IsChecked(int id);
    void Enable(int id, bool enabled);
    bool IsEnabled(int id);
    void ComboFill(int id, const std::vector<std::string>& items);
    void ComboSetSel(int id, int sel);
    int ComboGetSel(int id);
    // Shows a message owned by this dialog.
    int Message(const std::string& text, const std::string& caption,
                MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::Warning) {
        return UiHost().MessageBox(text, caption, buttons, icon);
    }

protected:
    std::string szTitle;

private:
    std::vector<LControl> controls_;
};

}  // namespace sonvex
