// The windowed program: start lock, forwarding to a running window, or the window itself.
#pragma once

namespace sonvex {

// True when a display is named (DISPLAY or WAYLAND_DISPLAY).
bool HaveDisplay();
// Runs the program with windows; returns its exit status (a forwarding start: the status of
// the verbs it forwarded).
int RunWindowedProgram(int argc, char** argv);
// Runs the installer or uninstaller of the trailer with windows (app/qt/InstallWizard.cpp);
// returns the exit status.
int RunWindowedInstaller(int argc, char** argv, unsigned magic);
// Shows the corrupt-installer message in a window; returns the exit status (2).
int RunCorruptInstallMessage(int argc, char** argv);

}  // namespace sonvex
