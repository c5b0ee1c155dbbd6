// A user-interface host driven by the test: records every call, answers from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/Dialog.h"
#include "support/UiHost.h"

namespace sonvex::test {

class ScriptedHost : public LUiHost {
public:
    struct Message {
        std::string szText, szCaption;
        MsgButtons buttons;
        MsgIcon icon;
    };

    ScriptedHost() : pPrevious_(SetUiHost(this)) {}
    ~ScriptedHost() override { SetUiHost(pPrevious_); }

    std::unique_ptr<LProgressWindow> CreateProgressWindow(const std::string& title) override;
    int MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon, int iUnattended = 0) override;
    int RunDialog(LDialog& dialog) override;

    // Script.
    int iCancelAtPump = 0;             // the n-th pump of any window reports Cancel (0: never)
    std::function<bool()> cancelWhen;  // a pump reports Cancel once this holds
    bool bRefuseWindows = false;       // progress windows cannot be created
    std::deque<int> answers;           // answers to questions, in order; empty: first button
    // Called with the dialog after InitDialog; returns the button to press (IDOK/IDCANCEL).
    std::function<int(LDialog&)> onDialog;

    // Record.
    std::vector<std::string> calls;  // "open:Title", "text0:..", "progress:NN", "pump", "close"
    std::vector<Message> messages;
    std::vector<std::string> dialogs;
    int nPumps = 0;
    int nOpenWindows = 0;
    int nMaxNested = 0;

private:
    LUiHost* pPrevious_;
};

}  // namespace sonvex::test
