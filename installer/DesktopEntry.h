// Desktop entries (freedesktop desktop entry format, version 1.4) for the program group, the
// desktop shortcut, the help, the uninstaller and the file-type verb.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sonvex {

struct LDesktopEntry {
    std::string szName;
    std::string szComment;
    std::vector<std::string> exec;  // program and arguments, quoted as each needs
    std::string szFieldCode;        // appended unquoted ("%F"), or empty
    std::string szIcon;             // a theme name or an absolute path
    std::string szCategories;       // "AudioVideo;Audio;" or empty
    std::string szMimeTypes;        // "audio/x-wav;..." or empty
    bool bNoDisplay = false;
};

// An Exec argument: quoted with the reserved characters escaped and '%' doubled.
std::string DesktopExecArgument(std::string_view arg);
// The entry's text. Names holding a control character cannot be written: empty then.
std::string DesktopEntryText(const LDesktopEntry& entry);
// Writes the entry under path, replacing any file (or link) there, never a half-written file;
// mode 0644, or 0755 for a launcher on the desktop.
bool WriteDesktopEntry(const std::string& path, const LDesktopEntry& entry, bool bExecutable);

// Writes bytes to path through a temporary file in the same folder and a rename; false (and
// nothing under path) when not every byte was written.
bool WriteFileReplacing(const std::string& path, std::string_view bytes, unsigned mode);

// Runs update-desktop-database on the folder when it is installed; its absence or failure
// changes nothing.
void UpdateDesktopDatabase(const std::string& folder);

}  // namespace sonvex
