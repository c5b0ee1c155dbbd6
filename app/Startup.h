// What a start of the program is: the trailer of the program file and the "SETUP" name rule.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "installer/Package.h"

namespace sonvex {

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

}  // namespace sonvex
