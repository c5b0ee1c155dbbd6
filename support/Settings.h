// Typed access to the program's settings: machine-wide sections under
// "Software\Verrowave\Sonvex\<section>", per-user lists under the same path of the user root.
// Every reader has a default; settings are read fresh at each use.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace sonvex {

inline constexpr std::string_view kSettingsKeyPrefix = "Software\\Verrowave\\Sonvex\\";
inline constexpr std::string_view kComponentsKeyPrefix = "Software\\Verrowave\\Components\\";
// Values hold a whole path.
inline constexpr size_t kMaxValueChars = 4095;

std::string SettingsKey(std::string_view section);

std::string SettingsReadString(std::string_view section, std::string_view name,
                               std::string_view def);
void SettingsWriteString(std::string_view section, std::string_view name, std::string_view text);
int SettingsReadInt(std::string_view section, std::string_view name, int def);
void SettingsWriteInt(std::string_view section, std::string_view name, int value);
bool SettingsReadFlag(std::string_view section, std::string_view name, bool def);
void SettingsWriteFlag(std::string_view section, std::string_view name, bool value);

std::string UserSettingsReadString(std::string_view section, std::string_view name,
                                   std::string_view def);
void UserSettingsWriteString(std::string_view section, std::string_view name,
                             std::string_view text);
int UserSettingsReadInt(std::string_view section, std::string_view name, int def);

// One section of the store inside a transaction: reads and writes behave as the functions
// above, on the file as it is under the lock.
class SettingsSection {
public:
    SettingsSection(RegistryFile& file, std::string key) : file_(file), szKey_(std::move(key)) {}
    std::string ReadString(std::string_view name, std::string_view def) const;
    int ReadInt(std::string_view name, int def) const;
    void WriteString(std::string_view name, std::string_view text);

private:
    RegistryFile& file_;
    std::string szKey_;
};

// Reads and rewrites a per-user section as one locked read-modify-write, so that parallel
// runs do not lose each other's changes. False when the store cannot be read or written.
bool UserSettingsTransaction(std::string_view section,
                             const std::function<void(SettingsSection&)>& edit);

// Any root and full key path. out first receives the default; true only when the value was read.
bool RegistryReadString(RegRoot root, std::string_view keyPath, std::string_view name,
                        std::string& out, std::string_view def);
void RegistryWriteString(RegRoot root, std::string_view keyPath, std::string_view name,
                         std::string_view text);
void RegistryDeleteValue(RegRoot root, std::string_view keyPath, std::string_view name);

// Decimal value of a text: leading blanks skipped, optional sign, digits up to the first
// non-digit; no digits gives 0. Saturates instead of overflowing.
int ParseDecimal(std::string_view text);

// Opens one of the maker's web pages ("<page>.html") in the desktop's browser.
void OpenWebPage(std::string_view page);
std::string WebPageAddress(std::string_view page);

}  // namespace sonvex
