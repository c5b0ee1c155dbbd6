#include "installer/InstallPlaces.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/FileSystem.h"
#include "support/File.h"
#include "support/Settings.h"

namespace sonvex {

namespace {

std::string DataHome() {
    return EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share");
}

std::string WithoutTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

std::string ProgramFilesDir() {
    std::string dir;
    if (RegistryReadString(RegRoot::LocalMachine, kCurrentVersionKey, "ProgramFilesDir", dir, "") &&
        !dir.empty())
        return WithoutTrailingSlashes(dir);
    return WithoutTrailingSlashes(DataHome());
}

std::string InstallFolder() {
    return ProgramFilesDir() + "/verrowave/sonvex";
}

std::string InstallComponentFolder(std::string_view name) {
    return ProgramFilesDir() + "/verrowave/Components/" + std::string(name);
}

std::string ApplicationsFolder() {
    return WithoutTrailingSlashes(DataHome()) + "/applications";
}

std::string DesktopFolder() {
    const std::string named = ReadXdgUserDir("XDG_DESKTOP_DIR");
    if (!named.empty() && IsFolder(named)) return WithoutTrailingSlashes(named);
    const std::string home = HomeFolder() + "/Desktop";
    return IsFolder(home) ? home : std::string();
}

std::string RegisteredMimeTypes() {
    std::vector<std::string_view> seen;
    std::string all;
    for (const auto& t : kRegisteredTypes) {
        for (std::string_view list = t.szMimeTypes; !list.empty();) {
            const size_t semi = list.find(';');
            const std::string_view one = list.substr(0, semi);
            list.remove_prefix(semi + 1);
            if (std::find(seen.begin(), seen.end(), one) != seen.end()) continue;
            seen.push_back(one);
            all += std::string(one) + ";";
        }
    }
    return all;
}

std::string DefaultTypeName(std::string_view ext) {
    if (!ext.empty() && ext[0] == '.') ext.remove_prefix(1);
    return std::string(ext) + "file";
}

bool IsRemovableInstallFolder(const std::string& path) {
    const std::string p = WithoutTrailingSlashes(path);
    if (p.empty() || p[0] != '/' || p == "/") return false;
    if (p == WithoutTrailingSlashes(HomeFolder())) return false;
    const std::string tail = "/verrowave/sonvex";
    if (p.size() <= tail.size() || p.compare(p.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    for (size_t i = 0; i < p.size();) {
        const size_t next = p.find('/', i + 1);
        const std::string part =
            p.substr(i + 1, (next == std::string::npos ? p.size() : next) - i - 1);
        if (part == "." || part == ".." || (part.empty() && next != std::string::npos))
            return false;
        if (next == std::string::npos) break;
        i = next;
    }
    struct stat st {};
    return lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteInstallFolder(const std::string& path) {
    if (!IsRemovableInstallFolder(path)) return false;
    return DeleteFolderTree(WithoutTrailingSlashes(path));
}

}  // namespace sonvex
