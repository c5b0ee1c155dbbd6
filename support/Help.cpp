#include "support/Help.h"

#include <cctype>

#include "platform/desktop/Desktop.h"

namespace sonvex {

namespace {
struct HelpContext {
    int iContext;
    const char* szPage;
};
constexpr HelpContext kContexts[] = {
    {kHelpContents, "index.html"},           {kHelpMainWindow, "main-window.html"},
    {kHelpCommandLine, "command-line.html"}, {kHelpProgramSettings, "program-settings.html"},
    {kHelpRawSettings, "format-raw.html"},
};
}  // namespace

std::string HelpPage(int context) {
    for (const auto& c : kContexts)
        if (c.iContext == context)
            return std::string(c.szPage) + (context ? "#" + std::to_string(context) : "");
    return "index.html";
}

std::string HelpAddress(int context) {
    // The folder is percent-encoded so that any name survives as an address.
    std::string url = "file://";
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : ProgramFolder() + "/help/") {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url + HelpPage(context);
}

void OpenHelp(int context) {
    OpenUrl(HelpAddress(context));
}

}  // namespace sonvex
