#include "support/ConsoleHost.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "support/Dialog.h"

namespace sonvex {

namespace {

volatile std::sig_atomic_t g_bInterrupted = 0;
int g_nOpenWindows = 0;
// Ctrl-C, a termination request and a lost terminal all cancel the running jobs.
constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_oldActions[3]{};

volatile std::sig_atomic_t g_bTerminate = 0;

extern "C" void OnInterrupt(int sig) {
    g_bInterrupted = 1;
    if (sig != SIGINT) g_bTerminate = 1;
}

// Ctrl-C cancels every open job; between jobs it keeps its usual effect.
void CatchInterrupt() {
    if (g_nOpenWindows++ > 0) return;
    g_bInterrupted = 0;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (size_t i = 0; i < std::size(kCancelSignals); ++i)
        sigaction(kCancelSignals[i], &sa, &g_oldActions[i]);
}

void ReleaseInterrupt() {
    if (--g_nOpenWindows > 0) return;
    for (size_t i = 0; i < std::size(kCancelSignals); ++i)
        sigaction(kCancelSignals[i], &g_oldActions[i], nullptr);
    g_bInterrupted = 0;
}

class ConsoleProgressWindow : public LProgressWindow {
public:
    explicit ConsoleProgressWindow(std::string title)
        : szTitle_(std::move(title)), bTerminal_(isatty(STDERR_FILENO) != 0) {
        CatchInterrupt();
        Draw();
    }
    ~ConsoleProgressWindow() override {
        if (bTerminal_ && bDrawn_) std::fputs("\r\033[K", stderr);
        ReleaseInterrupt();
    }
    void SetStatusText(int line, const std::string& text) override {
        szLines_[line] = text;
        Draw();
    }
    void SetProgress(int percent) override {
        if (percent == iPercent_) return;
        iPercent_ = percent;
        Draw();
    }
    bool Pump() override { return g_bInterrupted != 0; }

private:
    void Draw() {
        if (!bTerminal_) return;
        std::string s = szLines_[1].empty() ? szTitle_ : szLines_[1];
        // Several lines (the files of a parallel batch) share the one terminal line.
        for (size_t at = s.find('\n'); at != std::string::npos; at = s.find('\n', at))
            s.replace(at, 1, ", ");
        if (!szLines_[0].empty() && szLines_[0] != s) s = szLines_[0] + ": " + s;
        if (s.size() > 70) s = "..." + s.substr(s.size() - 67);
        std::fprintf(stderr, "\r\033[K%s %3d%%", s.c_str(), iPercent_);
        std::fflush(stderr);
        bDrawn_ = true;
    }

    std::string szTitle_;
    std::string szLines_[2];
    int iPercent_ = 0;
    bool bTerminal_;
    bool bDrawn_ = false;
};

int FirstButton(MsgButtons b) {
    return (b == MsgButtons::YesNo || b == MsgButtons::YesNoCancel) ? IDYES : IDOK;
}

const char* ButtonName(int id) {
    switch (id) {
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        case IDCANCEL:
            return "Cancel";
        default:
            return "OK";
    }
}

std::string ReadLine() {
    std::string line;
    if (!std::getline(std::cin, line)) return {};
    return line;
}

}  // namespace

bool LConsoleHost::TerminationRequested() {
    return g_bTerminate != 0;
}

bool LConsoleHost::Interactive() {
    return isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
}

std::unique_ptr<LProgressWindow> LConsoleHost::CreateProgressWindow(const std::string& title) {
    return std::make_unique<ConsoleProgressWindow>(title);
}

int LConsoleHost::MessageBox(const std::string& text, const std::string& caption,
                             MsgButtons buttons, MsgIcon icon, int iUnattended) {
    (void)icon;
    // Line breaks as the terminal takes them: "\r\n" becomes "\n".
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) shown += text[i];
    if (isatty(STDERR_FILENO)) std::fputs("\r\033[K", stderr);
    if (buttons != MsgButtons::Ok && (!Interactive() || !std::cin.good())) {
        // No one to ask: the answer taken is printed with the question.
        const int a = iUnattended ? iUnattended : FirstButton(buttons);
        std::fprintf(stderr, "%s: %s %s (no terminal to ask)\n", caption.c_str(), shown.c_str(),
                     ButtonName(a));
        return a;
    }
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), shown.c_str());
    if (buttons == MsgButtons::Ok) return IDOK;
    for (;;) {
        const char* prompt = buttons == MsgButtons::YesNo         ? "[y]es/[n]o? "
                             : buttons == MsgButtons::YesNoCancel ? "[y]es/[n]o/[c]ancel? "
                                                                  : "[o]k/[c]ancel? ";
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        std::string a = ReadLine();
        if (!std::cin.good()) return iUnattended ? iUnattended : FirstButton(buttons);
        char c = a.empty() ? '\0' : static_cast<char>(a[0] | 0x20);
        if (buttons == MsgButtons::OkCancel) {
            if (c == 'o') return IDOK;
            if (c == 'c') return IDCANCEL;
            continue;
        }
        if (c == 'y') return IDYES;
        if (c == 'n') return IDNO;
        if (c == 'c' && buttons == MsgButtons::YesNoCancel) return IDCANCEL;
    }
}

int LConsoleHost::RunDialog(LDialog& dlg) {
    dlg.InitDialog();
    dlg.EnableControls();
    if (!Interactive()) return dlg.CmOk() ? IDOK : IDCANCEL;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::fprintf(stderr, "%s (Enter keeps a value, '-' cancels)\n", dlg.Title().c_str());
        for (auto& c : dlg.Controls()) {
            if (!c.bEnabled) continue;
            using K = LControl::Kind;
            if (c.kind == K::Edit) {
                std::fprintf(stderr, "  %s [%s]: ", c.szLabel.c_str(), c.szText.c_str());
            } else if (c.kind == K::Check) {
                std::fprintf(stderr, "  %s (y/n) [%s]: ", c.szLabel.c_str(),
                             c.bChecked ? "y" : "n");
            } else if (c.kind == K::Radio) {
                if (c.bChecked) continue;
                std::fprintf(stderr, "  %s instead (y/n) [n]: ", c.szLabel.c_str());
            } else if (c.kind == K::Combo) {
                std::fprintf(stderr, "  %s:\n", c.szLabel.c_str());
                for (size_t i = 0; i < c.items.size(); ++i)
                    std::fprintf(stderr, "    %zu) %s\n", i + 1, c.items[i].c_str());
                std::fprintf(stderr, "  choice [%d]: ", c.iSel + 1);
            } else {
                continue;
            }
            std::fflush(stderr);
            std::string a = ReadLine();
            if (!std::cin.good() || a == "-") return IDCANCEL;
            if (a.empty()) continue;
            if (c.kind == K::Edit) {
                c.szText = a;
            } else if (c.kind == K::Check || c.kind == K::Radio) {
                bool yes = (a[0] | 0x20) == 'y';
                dlg.SetCheck(c.id, c.kind == K::Check ? yes : (yes || c.bChecked));
            } else if (c.kind == K::Combo) {
                int n = std::atoi(a.c_str());
                if (n >= 1 && n <= static_cast<int>(c.items.size())) c.iSel = n - 1;
            }
            dlg.Command(c.id);
        }
        if (dlg.CmOk()) return IDOK;
    }
    return IDCANCEL;
}

static LConsoleHost g_consoleHost;
static LUiHost* g_pHost = &g_consoleHost;

LUiHost& UiHost() {
    return *g_pHost;
}

LUiHost* SetUiHost(LUiHost* pHost) {
    LUiHost* old = g_pHost;
    g_pHost = pHost ? pHost : &g_consoleHost;
    return old;
}

}  // namespace sonvex
