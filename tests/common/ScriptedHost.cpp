#include "common/ScriptedHost.h"

#include <algorithm>

namespace sonvex::test {

namespace {
class ScriptedWindow : public LProgressWindow {
public:
    explicit ScriptedWindow(ScriptedHost& host) : host_(host) {
        host_.nMaxNested = std::max(host_.nMaxNested, ++host_.nOpenWindows);
    }
    ~ScriptedWindow() override {
        --host_.nOpenWindows;
        host_.calls.push_back("close");
    }
    void SetStatusText(int line, const std::string& text) override {
        host_.calls.push_back("text" + std::to_string(line) + ":" + text);
    }
    void SetProgress(int percent) override {
        host_.calls.push_back("progress:" + std::to_string(percent));
    }
    bool Pump() override {
        ++host_.nPumps;
        host_.calls.push_back("pump");
        return (host_.iCancelAtPump > 0 && host_.nPumps >= host_.iCancelAtPump) ||
               (host_.cancelWhen && host_.cancelWhen());
    }

private:
    ScriptedHost& host_;
};
}  // namespace

std::unique_ptr<LProgressWindow> ScriptedHost::CreateProgressWindow(const std::string& title) {
    calls.push_back("open:" + title);
    if (bRefuseWindows) return nullptr;
    return std::make_unique<ScriptedWindow>(*this);
}

int ScriptedHost::MessageBox(const std::string& text, const std::string& caption,
                             MsgButtons buttons, MsgIcon icon, int) {
    messages.push_back({text, caption, buttons, icon});
    if (buttons == MsgButtons::Ok) return IDOK;
    if (!answers.empty()) {
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? IDYES : IDOK;
}

int ScriptedHost::RunDialog(LDialog& dialog) {
    dialogs.push_back(dialog.Title());
    dialog.InitDialog();
    dialog.EnableControls();
    int button = onDialog ? onDialog(dialog) : IDOK;
    if (button == IDOK) return dialog.CmOk() ? IDOK : IDCANCEL;
    return dialog.CmCancel() ? IDCANCEL : IDOK;
}

}  // namespace sonvex::test
