// The help: HTML pages installed in "help/" beside the program, opened in the desktop's
// browser; each help context number is an anchor on its page.
#pragma once

#include <string>

namespace sonvex {

enum : int {
    kHelpContents = 0,
    kHelpMainWindow = 1,
    kHelpCommandLine = 2,
    kHelpProgramSettings = 101,
    kHelpRawSettings = 941,
};

// The page (relative to the help folder) and anchor of a context: "settings.html#101".
// Unknown contexts give the contents page.
std::string HelpPage(int context);
// "file://<program folder>/help/<page>".
std::string HelpAddress(int context);
// Opens the help at the context; never waits for the browser.
void OpenHelp(int context);

}  // namespace sonvex
