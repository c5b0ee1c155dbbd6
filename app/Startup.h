// What a start of the program is: the trailer of the program file and the "SETUP" name rule.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonvex {

enum : uint32_t { kTrailerInstallPackage = 0x0F0FF0F0, kTrailerUninstaller = 0xF0F00F0F };

// The last 4 bytes of the file, little-endian; 0 when it cannot be read.
uint32_t ReadTrailerMagic(const std::string& path);
// True when the file name of argument 0, without folder and last extension, contains "SETUP"
// in any case.
bool HasSetupName(const std::string& argv0);
// The command line as the running window is to receive it: relative paths (files and the
// "-outfolder" value) joined to cwd, the sender's working folder, which the window does not
// share; verbs and every other argument unchanged.
std::vector<std::string> ForwardedArguments(const std::vector<std::string>& args,
                                            const std::string& cwd);
// Shown when a program named like an installer carries no installation package.
inline constexpr const char* kCorruptInstallText =
    "Installation file corrupt.\n\nA checksum error was detected in your install file, please "
    "redownload file and install again.";
inline constexpr const char* kCorruptInstallCaption = "Install Error";

}  // namespace sonvex
