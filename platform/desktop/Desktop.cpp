#include "platform/desktop/Desktop.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/Debug.h"

extern char** environ;

namespace sonvex {

std::string ProgramFilePath() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string ProgramFolder() {
    const std::string p = ProgramFilePath();
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
}

bool LaunchDetached(const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    std::vector<std::string> copy = argv;
    std::vector<char*> ptrs;
    for (auto& a : copy) ptrs.push_back(a.data());
    ptrs.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, ptrs[0], nullptr, nullptr, ptrs.data(), environ) != 0) {
        DebugLog("LaunchDetached cannot start %s", ptrs[0]);
        return false;
    }
    // Reaped by a thread of its own, so the caller never waits for the browser.
    std::thread([pid] {
        int st;
        while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

bool OpenUrl(const std::string& url) {
    return LaunchDetached({"xdg-open", url});
}

}  // namespace sonvex
