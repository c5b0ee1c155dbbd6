// Long work runs as a progress-dialog job: a window with two text lines, a bar and Cancel,
// while the work runs synchronously on the calling thread and keeps the interface alive by
// pumping between blocks.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "support/UiHost.h"

namespace sonvex {

// Result codes of every job.
enum : int { LPROCESS_OK = 0, LPROCESS_STOPPED = 1, LPROCESS_FAILED = 2 };

class LProgressDialog {
public:
    explicit LProgressDialog(std::string title, int presetResult = LPROCESS_FAILED)
        : szTitle(std::move(title)), iResult(presetResult) {}
    virtual ~LProgressDialog() = default;
    LProgressDialog(const LProgressDialog&) = delete;
    LProgressDialog& operator=(const LProgressDialog&) = delete;

    // Opens the window and runs the work; returns the job's result. Refused while open; when
    // the window cannot be created the work does not run and the preset result stands.
    int Run();
    int Result() const { return iResult; }
    bool IsOpen() const { return pWindow_ != nullptr; }
    const std::string& Title() const { return szTitle; }

    // Job operations; no-ops once the window is gone.
    void SetStatusText(int line, const std::string& text);
    void SetProgress(double fraction);
    // True when the window no longer exists (Cancel was pressed).
    bool PumpMessages();
    // Waits until fd is readable (a pidfd: the process ended) or ms have passed, pumping
    // meanwhile: 0 signalled, 1 cancelled, 2 timed out.
    int WaitForHandle(int fd, int ms);
    // 1 if cancelled during the wait, 0 when the time has passed.
    int Sleep(int ms);
    // A message box, caption "Error", warning icon.
    void ReportError(const std::string& text);

protected:
    // The work; its return value becomes the result.
    virtual int Work() = 0;

    std::string szTitle;
    int iResult;

private:
    std::unique_ptr<LProgressWindow> pWindow_;
    bool bRunning_ = false;
};

// A job given as a function.
class LProgressJob : public LProgressDialog {
public:
    LProgressJob(std::string title, std::function<int(LProgressDialog&)> work,
                 int presetResult = LPROCESS_FAILED)
        : LProgressDialog(std::move(title), presetResult), work_(std::move(work)) {}

protected:
    int Work() override { return work_(*this); }

private:
    std::function<int(LProgressDialog&)> work_;
};

}  // namespace sonvex
