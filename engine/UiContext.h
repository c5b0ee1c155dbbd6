// The per-run interaction token: one error box or one settings prompt per conversion run.
#pragma once

#include <string>

namespace sonvex {

class LUiContext {
public:
    explicit LUiContext(bool* pbAllowPrompt) : pbAllowPrompt_(pbAllowPrompt) {}

    // Shows the message (caption "Error") while prompts are allowed, then disallows them.
    void ShowError(const std::string& text) const;
    // True for the first prompt of the run; later calls give false.
    bool TakePrompt() const;

private:
    bool* pbAllowPrompt_;
};

// "Cannot open ..." texts: printf-style with the path for %s.
std::string FormatMessage(const char* fmt, const std::string& path);

}  // namespace sonvex
