// The program's own file and the desktop's helpers: starting a program without waiting for it,
// opening an address in the desktop's browser.
#pragma once

#include <string>
#include <vector>

namespace sonvex {

// The running program's file ("" when it cannot be found) and its folder ("." then).
std::string ProgramFilePath();
std::string ProgramFolder();

// Starts argv[0] (searched on PATH) with the arguments and returns at once; the child is
// reaped in the background. False when it cannot be started.
bool LaunchDetached(const std::vector<std::string>& argv);

// Hands an address to xdg-open without waiting for the browser.
bool OpenUrl(const std::string& url);

}  // namespace sonvex
