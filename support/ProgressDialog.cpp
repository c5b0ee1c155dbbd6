#include "support/ProgressDialog.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

#include "platform/Debug.h"

namespace sonvex {

namespace {
// Longest time a wait goes without pumping, so Cancel is seen promptly.
constexpr int kPumpSliceMs = 20;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

int LProgressDialog::Run() {
    if (bRunning_) {
        DebugLog("LProgressDialog::Run already open");
        return iResult;
    }
    pWindow_ = UiHost().CreateProgressWindow(szTitle);
    if (!pWindow_) return iResult;
    bRunning_ = true;
    iResult = Work();
    bRunning_ = false;
    pWindow_.reset();
    return iResult;
}

void LProgressDialog::SetStatusText(int line, const std::string& text) {
    if (pWindow_ && (line == 0 || line == 1)) pWindow_->SetStatusText(line, text);
}

void LProgressDialog::SetProgress(double fraction) {
    if (pWindow_) pWindow_->SetProgress(static_cast<int>(fraction * 100));
}

bool LProgressDialog::PumpMessages() {
    if (!pWindow_) return true;
    if (pWindow_->Pump()) pWindow_.reset();  // Cancel destroys the window
    return pWindow_ == nullptr;
}

int LProgressDialog::WaitForHandle(int fd, int ms) {
    const int64_t deadline = NowMs() + std::max(ms, 0);
    for (;;) {
        int64_t left = deadline - NowMs();
        int slice = static_cast<int>(std::clamp<int64_t>(left, 0, kPumpSliceMs));
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            int r = poll(&p, 1, slice);
            if (r > 0) return 0;
        } else if (slice > 0) {
            poll(nullptr, 0, slice);
        }
        if (PumpMessages()) return 1;
        if (NowMs() >= deadline) return 2;
    }
}

int LProgressDialog::Sleep(int ms) {
    return WaitForHandle(-1, ms) == 1 ? 1 : 0;
}

void LProgressDialog::ReportError(const std::string& text) {
    UiHost().MessageBox(text, "Error", MsgButtons::Ok, MsgIcon::Warning);
}

}  // namespace sonvex
