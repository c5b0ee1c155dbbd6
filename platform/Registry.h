// The registry as files: one INI file per root under $XDG_CONFIG_HOME/verrowave/. A section
// per key, named by its full key path; Name=Value lines; a key's default value is "@". Key
// paths and value names compare case-insensitively. In values, backslash, newline and
// carriage return are written \\, \n and \r. Writes are read-modify-write under a lock file
// and replace the file atomically.
#pragma once

#include <string>
#include <string_view>

namespace sonvex {

enum class RegRoot { LocalMachine, CurrentUser, ClassesRoot };

// Path of the file that backs a root.
std::string RegistryFilePath(RegRoot root);

// Reads a value; false when the key or value is missing (out untouched).
bool RegistryGetValue(RegRoot root, std::string_view keyPath, std::string_view name,
                      std::string& out);
// Creates the key when needed and stores the value; false when the file cannot be written.
bool RegistrySetValue(RegRoot root, std::string_view keyPath, std::string_view name,
                      std::string_view value);
bool RegistryRemoveValue(RegRoot root, std::string_view keyPath, std::string_view name);

std::string EscapeRegistryValue(std::string_view value);
std::string UnescapeRegistryValue(std::string_view text);

}  // namespace sonvex
