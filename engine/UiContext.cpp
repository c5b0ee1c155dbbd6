#include "engine/UiContext.h"

#include "support/UiHost.h"

namespace sonvex {

void LUiContext::ShowError(const std::string& text) const {
    if (!*pbAllowPrompt_) return;
    UiHost().MessageBox(text, "Error", MsgButtons::Ok, MsgIcon::Error);
    *pbAllowPrompt_ = false;
}

bool LUiContext::TakePrompt() const {
    bool b = *pbAllowPrompt_;
    *pbAllowPrompt_ = false;
    return b;
}

std::string FormatMessage(const char* fmt, const std::string& path) {
    std::string out;
    for (const char* p = fmt; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += path;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace sonvex
