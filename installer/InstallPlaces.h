// Where installation puts things: the install folder in "ProgramFilesDir", the components'
// folders, the desktop's application entries and desktop folder, the registered file types.
#pragma once

#include <string>
#include <string_view>

namespace sonvex {

inline constexpr const char* kCurrentVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";
inline constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sonvex";
inline constexpr const char* kConvertVerb = "Convert with Sonvex";

// The value "ProgramFilesDir" of the current-version key when set, else $XDG_DATA_HOME (else
// ~/.local/share).
std::string ProgramFilesDir();
// "<ProgramFilesDir>/verrowave/sonvex".
std::string InstallFolder();
// "<ProgramFilesDir>/verrowave/Components/<name>".
std::string InstallComponentFolder(std::string_view name);
// $XDG_DATA_HOME/applications (else ~/.local/share/applications).
std::string ApplicationsFolder();
// XDG_DESKTOP_DIR of user-dirs.dirs when it is a folder, else ~/Desktop when it is one, else
// empty (no desktop shortcut).
std::string DesktopFolder();

// The file names of the desktop entries installation writes.
inline constexpr const char* kProgramEntry = "sonvex.desktop";
inline constexpr const char* kHelpEntry = "sonvex-help.desktop";
inline constexpr const char* kUninstallEntry = "sonvex-uninstall.desktop";
inline constexpr const char* kConvertEntry = "sonvex-convert.desktop";

// The registered file types and the media types the desktop knows them by.
struct LRegisteredType {
    const char* szExt;
    const char* szMimeTypes;  // ';'-separated, each followed by ';'
};
inline constexpr LRegisteredType kRegisteredTypes[] = {
    {".WAV", "audio/x-wav;audio/wav;"},
    {".MP3", "audio/mpeg;"},
    {".WMA", "audio/x-ms-wma;"},
    {".OGG", "audio/ogg;audio/x-vorbis+ogg;"},
    {".AIF", "audio/x-aiff;"},
    {".AIFF", "audio/x-aiff;"},
    {".AU", "audio/basic;"},
    {".RA", "audio/vnd.rn-realaudio;"},
    {".RAM", "audio/x-pn-realaudio;"},
    {".FLAC", "audio/flac;"},
    {".AAC", "audio/aac;"},
    {".GSM", "audio/x-gsm;"},
    {".VOX", "audio/x-vox;"},
    {".RAW", "audio/x-sonvex-raw;"},
    {".DSS", "audio/x-dss;"},
    {".DCT", "audio/x-dct;"},
};
// Every media type above once, in order, each followed by ';'.
std::string RegisteredMimeTypes();
// The type name of an extension whose key has no default value: ".WAV" gives "WAVfile".
std::string DefaultTypeName(std::string_view ext);

// True when path may be removed as an install folder: not empty, not "/", not the home
// folder, no "." or ".." component, ending in "verrowave/sonvex", and a folder, not a link.
bool IsRemovableInstallFolder(const std::string& path);
// Removes the install folder tree when IsRemovableInstallFolder allows it.
bool DeleteInstallFolder(const std::string& path);

}  // namespace sonvex
