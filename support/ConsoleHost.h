// The host without a display: progress on standard error when it is a terminal, Ctrl-C as
// Cancel, messages on standard error, questions on the terminal when standard input is one.
#pragma once

#include "support/UiHost.h"

namespace sonvex {

class LConsoleHost : public LUiHost {
public:
    std::unique_ptr<LProgressWindow> CreateProgressWindow(const std::string& title) override;
    int MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon, int iUnattended = 0) override;
    int RunDialog(LDialog& dialog) override;

    // True when questions can be asked (standard input and error are terminals).
    static bool Interactive();
    // True once SIGTERM or SIGHUP cancelled a job: the program should end, not go on.
    static bool TerminationRequested();
};

}  // namespace sonvex
