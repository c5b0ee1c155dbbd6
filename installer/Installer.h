// The self-installer and the uninstaller: a program file whose trailer marks an installation
// package installs its payload; the uninstaller (the installed program with the uninstaller's
// trailer) removes what installation made, except the encoder component.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/ProgressDialog.h"

namespace sonvex {

inline constexpr const char* kInstallTitle = "Installing Sonvex v 1.04";
inline constexpr const char* kTermsTitle = "Terms of Use";
inline constexpr const char* kTermsSubtitle =
    "Please read the following important information before continuing.";
inline constexpr const char* kAdministratorText =
    "To install software you must be logged on as this computer's Administrator. If you are not "
    "able to do this, ask your computer Administrator to log in and run the setup file again.";
inline constexpr const char* kExitSetupText =
    "Setup is not complete. If you quit now, the program will not be installed.\r\n\r\nYou may "
    "run the setup program again at another time to complete the installation.\r\n\r\nExit "
    "Setup?";
inline constexpr const char* kExitSetupCaption = "Exit Setup";
inline constexpr const char* kUninstallQuestion =
    "Are you sure you want to remove Sonvex from this computer?";
inline constexpr const char* kUninstallCaption = "Uninstall Sonvex";
// Arguments: accept the terms without being asked; confirm the removal without being asked.
inline constexpr const char* kAcceptTermsArgument = "--accept-terms";
inline constexpr const char* kConfirmUninstallArgument = "--yes";

// The terms of use shown before anything is installed.
const char* TermsOfUseText();

// How the started program (the installed one, or the uninstaller's temporary copy) runs.
enum class LStartMode {
    None,      // not started (tests)
    Detached,  // started and left running (a window)
    Wait,      // started and waited for, on the same terminal
};

struct LInstallerSettings {
    std::vector<std::string> args;  // the process's arguments, 0 the program
    std::string szProgramFile;      // the running program's file (the package)
    // Shows the terms of use inside the running job; true when they were accepted.
    std::function<bool(LProgressDialog&)> terms;
    // Called just before the installed program is started (releases the start lock).
    std::function<void()> beforeStart;
    LStartMode eStart = LStartMode::Detached;
};

// Makes ProgramFilesDir, verrowave in it and the install folder, private to the user (mode
// 0755, never writable by others; an existing folder of another owner or a link is refused),
// and records it as "Folders" / "ProgramFiles" and "DataFiles". False when the install
// folder is not there afterwards.
bool PrepareInstallFolder();

// The install job: LPROCESS_OK installed (and started), LPROCESS_STOPPED terms declined or
// Cancel, LPROCESS_FAILED otherwise (the message shown).
class LInstallJob : public LProgressDialog {
public:
    explicit LInstallJob(LInstallerSettings settings)
        : LProgressDialog(kInstallTitle), s_(std::move(settings)) {}

protected:
    int Work() override;

private:
    int CopyPayload(const std::string& folder);
    void Finish(const std::string& folder);

    LInstallerSettings s_;
};

// The uninstall job: without "/uninstall" among the arguments it hands over to a copy of
// itself in the temporary folder; the copy asks and removes. LPROCESS_OK handed over or
// removed, LPROCESS_STOPPED when the answer was No or on Cancel.
class LUninstallJob : public LProgressDialog {
public:
    explicit LUninstallJob(LInstallerSettings settings)
        : LProgressDialog(kInstallTitle), s_(std::move(settings)) {}
    // The copy's exit status when it was waited for.
    int HandOverStatus() const { return iHandOver_; }

protected:
    int Work() override;

private:
    int HandOver();

    LInstallerSettings s_;
    int iHandOver_ = -1;
};

// Removes what installation made: the desktop shortcut, the uninstall entry, the desktop
// entries, the install folder, the file-type verbs and the program's settings. The encoder
// component stays. False when the install folder is there but was not removed (a link, not
// the user's own, not ending in verrowave/sonvex).
bool RemoveInstallation();

// Runs the installer or uninstaller of the trailer under the start lock; the exit status of
// the program (0 done, 1 declined or stopped, 2 failed). terms: empty asks through the host.
int RunInstaller(uint32_t magic, const std::vector<std::string>& args,
                 std::function<bool(LProgressDialog&)> terms, LStartMode eStart);

}  // namespace sonvex
