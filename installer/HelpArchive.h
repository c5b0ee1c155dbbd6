// The help travels in the package as one tar archive (ustar, as "cmake -E tar" writes it);
// installation unpacks it into the "help" folder the program opens its pages from.
#pragma once

#include <string>

namespace sonvex {

// Unpacks the regular files and folders of the archive under dest (created in its existing
// parent, mode 0755).
// Names that are absolute or climb with ".." are refused, as are links and devices; extended
// headers are skipped. False when the archive is not a tar archive or a file cannot be
// written; what was unpacked until then stays.
bool UnpackHelpArchive(const std::string& archive, const std::string& dest);

}  // namespace sonvex
