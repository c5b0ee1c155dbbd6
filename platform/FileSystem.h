// File-system and environment primitives of the platform: folders, names, XDG locations.
#pragma once

#include <string>
#include <string_view>

namespace sonvex {

// ASCII case-insensitive comparison (extensions, key paths, value names).
bool CaseInsensitiveEqual(std::string_view a, std::string_view b);
// True when something (a dangling link too) has the name.
bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);
// Creates the folder and its missing parents (mode 0700); false when one cannot be made.
bool MakeFolders(const std::string& path);

// An environment variable, or fallback when it is unset or empty.
std::string EnvOr(const char* name, const std::string& fallback);
// $HOME, else "/".
std::string HomeFolder();
// $XDG_CONFIG_HOME, else $HOME/.config.
std::string ConfigHomeFolder();

}  // namespace sonvex
