// Shared by the installer tests: listings of a home folder and the desktop entries checker.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "common/TestUtil.h"

namespace sonvex::test {

// Every path under root (relative), folders with a trailing '/', except the registry folder
// and the components (with the "verrowave" folder that holds them), which stay on purpose.
inline void ListTree(const std::string& root, const std::string& rel, std::set<std::string>& out) {
    DIR* d = opendir((root + "/" + rel).c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        const std::string r = rel.empty() ? n : rel + "/" + n;
        if (r == ".config/verrowave" || r.find("verrowave/Components") != std::string::npos)
            continue;
        struct stat st {};
        if (lstat((root + "/" + r).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            if (n != "verrowave") out.insert(r + "/");
            ListTree(root, r, out);
        } else {
            out.insert(r);
        }
    }
    closedir(d);
}

inline std::set<std::string> Listing(const std::string& root) {
    std::set<std::string> out;
    ListTree(root, "", out);
    return out;
}

// desktop-file-validate's complaints about the entry; empty when it accepts it.
inline std::string DesktopFileProblems(const std::string& path) {
    std::string out;
    const int rc = RunShell("desktop-file-validate '" + path + "' 2>&1", &out);
    return rc == 0 && out.empty() ? std::string() : out + " (status " + std::to_string(rc) + ")";
}

}  // namespace sonvex::test
