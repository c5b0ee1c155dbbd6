#include "support/Settings.h"

#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/Debug.h"
#include "platform/desktop/Desktop.h"
#include "support/Help.h"
#include "support/WebAddresses.h"

namespace sonvex {

std::string SettingsKey(std::string_view section) {
    return std::string(kSettingsKeyPrefix) + std::string(section);
}

// Values are held to the longest path.
static std::string Clip(std::string s) {
    if (s.size() > kMaxValueChars) s.resize(kMaxValueChars);
    return s;
}

static std::string ReadIn(RegRoot root, std::string_view section, std::string_view name,
                          std::string_view def) {
    std::string v;
    if (!RegistryGetValue(root, SettingsKey(section), name, v)) return std::string(def);
    return Clip(std::move(v));
}

std::string SettingsReadString(std::string_view section, std::string_view name,
                               std::string_view def) {
    return ReadIn(RegRoot::LocalMachine, section, name, def);
}

void SettingsWriteString(std::string_view section, std::string_view name, std::string_view text) {
    RegistrySetValue(RegRoot::LocalMachine, SettingsKey(section), name, text);
}

int ParseDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (neg) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    return static_cast<int>(v);
}

static int IntOr(const std::string& text, int def) {
    return text.empty() ? def : ParseDecimal(text);
}

static int ReadIntIn(RegRoot root, std::string_view section, std::string_view name, int def) {
    return IntOr(ReadIn(root, section, name, ""), def);
}

int SettingsReadInt(std::string_view section, std::string_view name, int def) {
    return ReadIntIn(RegRoot::LocalMachine, section, name, def);
}

void SettingsWriteInt(std::string_view section, std::string_view name, int value) {
    SettingsWriteString(section, name, std::to_string(value));
}

bool SettingsReadFlag(std::string_view section, std::string_view name, bool def) {
    std::string v = SettingsReadString(section, name, "");
    if (v.empty()) return def;
    return v[0] != '0';
}

void SettingsWriteFlag(std::string_view section, std::string_view name, bool value) {
    SettingsWriteString(section, name, value ? "1" : "0");
}

std::string UserSettingsReadString(std::string_view section, std::string_view name,
                                   std::string_view def) {
    return ReadIn(RegRoot::CurrentUser, section, name, def);
}

void UserSettingsWriteString(std::string_view section, std::string_view name,
                             std::string_view text) {
    RegistrySetValue(RegRoot::CurrentUser, SettingsKey(section), name, text);
}

int UserSettingsReadInt(std::string_view section, std::string_view name, int def) {
    return ReadIntIn(RegRoot::CurrentUser, section, name, def);
}

std::string SettingsSection::ReadString(std::string_view name, std::string_view def) const {
    std::string v;
    return file_.Get(szKey_, name, v) ? Clip(std::move(v)) : std::string(def);
}

int SettingsSection::ReadInt(std::string_view name, int def) const {
    return IntOr(ReadString(name, ""), def);
}

void SettingsSection::WriteString(std::string_view name, std::string_view text) {
    file_.Set(szKey_, name, text);
}

bool UserSettingsTransaction(std::string_view section,
                             const std::function<void(SettingsSection&)>& edit) {
    return RegistryTransaction(RegRoot::CurrentUser, [&](RegistryFile& file) {
        SettingsSection s(file, SettingsKey(section));
        edit(s);
    });
}

bool RegistryReadString(RegRoot root, std::string_view keyPath, std::string_view name,
                        std::string& out, std::string_view def) {
    out = std::string(def);
    std::string v;
    if (!RegistryGetValue(root, keyPath, name, v)) return false;
    out = Clip(std::move(v));
    return true;
}

void RegistryWriteString(RegRoot root, std::string_view keyPath, std::string_view name,
                         std::string_view text) {
    RegistrySetValue(root, keyPath, name, text);
}

void RegistryDeleteValue(RegRoot root, std::string_view keyPath, std::string_view name) {
    RegistryRemoveValue(root, keyPath, name);
}

std::string WebPageAddress(std::string_view page) {
    return std::string(kMakerWebSite) + std::string(page) + ".html";
}

void OpenWebPage(std::string_view page) {
    // Help pages are the local help; the browser is never waited for.
    if (page.starts_with("help/")) {
        OpenHelp(ParseDecimal(page.substr(5)));
        return;
    }
    if (!OpenUrl(WebPageAddress(page))) DebugLog("OpenWebPage cannot start xdg-open");
}

}  // namespace sonvex
