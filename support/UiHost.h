// The user-interface services that jobs and dialogs call on. Three hosts implement them: the
// windowed host, the console host (terminal or none) and the scripted host of the tests.
#pragma once

#include <memory>
#include <string>

namespace sonvex {

class LDialog;

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { Error, Warning, Question, Information };
// Button results, numbered as the dialog framework numbers them.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// The window of one running progress-dialog job.
class LProgressWindow {
public:
    virtual ~LProgressWindow() = default;
    virtual void SetStatusText(int line, const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    // Dispatches pending events; true once Cancel has been pressed (the window is gone).
    virtual bool Pump() = 0;
};

class LUiHost {
public:
    virtual ~LUiHost() = default;
    // Null when the window cannot be created.
    virtual std::unique_ptr<LProgressWindow> CreateProgressWindow(const std::string& title) = 0;
    // Shows a message or asks a question; returns the button pressed (IDOK, IDYES, ...).
    // Where no one can answer (no terminal), a question takes iUnattended: the answer that
    // loses nothing (0: the first button).
    virtual int MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                           MsgIcon icon, int iUnattended = 0) = 0;
    // Runs a modal dialog's logic; returns the value given to Close (IDOK or IDCANCEL).
    virtual int RunDialog(LDialog& dialog) = 0;
};

// The host in use; the console host until another is installed.
LUiHost& UiHost();
// Installs a host (not owned); null restores the console host. Returns the previous one.
LUiHost* SetUiHost(LUiHost* pHost);

}  // namespace sonvex
