// The windowed host: progress windows, message boxes and dialogs as Qt windows. Each new
// window is owned by the innermost open one (a job's progress window, else the main window),
// which stays disabled while the job runs.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "support/UiHost.h"

namespace sonvex {

class LQtHost : public LUiHost {
public:
    // Installs itself as the host; the previous host comes back at destruction.
    LQtHost();
    ~LQtHost() override;

    std::unique_ptr<LProgressWindow> CreateProgressWindow(const std::string& title) override;
    int MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon, int iUnattended = 0) override;
    int RunDialog(LDialog& dialog) override;

    // The window that owns the next progress window or message (may be null).
    QWidget* Owner() const;
    void SetMainWindow(QWidget* w) { pMain_ = w; }
    // Number of progress windows open now (nested jobs count each).
    int OpenJobs() const { return static_cast<int>(owners_.size()); }
    // Called whenever the last running job ends or the last modal window closes.
    void SetIdleHandler(std::function<void()> f) { onIdle_ = std::move(f); }
    // Number of jobs and modal windows running now.
    int BusyDepth() const { return nBusy_; }

    static LQtHost* Instance();

private:
    friend class QtProgressWindowAdapter;
    friend class LBusyScope;
    void Enter() { ++nBusy_; }
    void Leave();

    LUiHost* pPrevious_;
    QPointer<QWidget> pMain_;
    std::vector<QPointer<QWidget>> owners_;  // open progress windows, outermost first
    std::function<void()> onIdle_;
    int nBusy_ = 0;
};

// Marks the host busy for a scope (a command, a dialog, a forwarded command line).
class LBusyScope {
public:
    LBusyScope();
    ~LBusyScope();
    LBusyScope(const LBusyScope&) = delete;
    LBusyScope& operator=(const LBusyScope&) = delete;
};

}  // namespace sonvex
