#include "support/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Debug.h"
#include "support/File.h"

namespace sonvex {

namespace {

std::atomic<unsigned> g_sequence{0};

// rename without replacing: renameat2 where the file system has it, else link and unlink
// (link never replaces either).
int RenameNoReplace(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
    if (link(from, to) != 0) return -1;
    unlink(from);
    return 0;
}

}  // namespace

bool LPendingOutput::Create(const std::string& finalPath) {
    Discard();
    const std::string folder = LFile::_GetFolderFromPath(finalPath);
    const std::string ext = GetExtension(LFile::_GetFileFromPath(finalPath));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = std::string(kPrefix) + std::to_string(getpid()) + "-" +
                           std::to_string(++g_sequence) + ext;
        std::string path = folder.empty() ? name : folder;
        if (!folder.empty() && !LFile::FilePathCat(path, name)) {
            errno = ENAMETOOLONG;
            return false;
        }
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        flock(fd, LOCK_SH);
        fd_ = fd;
        szTemp_ = std::move(path);
        szFinal_ = finalPath;
        return true;
    }
    errno = EEXIST;
    return false;
}

long long LPendingOutput::TempSize() const {
    struct stat st {};
    if (szTemp_.empty() || lstat(szTemp_.c_str(), &st) != 0) return -1;
    return st.st_size;
}

LPendingOutput::Commit LPendingOutput::Put(bool bReplace) {
    if (szTemp_.empty()) {
        errno = ENOENT;
        return Commit::Failed;
    }
    struct stat old {};
    // Replacing a file keeps its permissions; a link is replaced by a file of our own.
    if (bReplace && lstat(szFinal_.c_str(), &old) == 0 && S_ISREG(old.st_mode) && fd_ >= 0)
        fchmod(fd_, old.st_mode & 07777);
    const int r = bReplace ? ::rename(szTemp_.c_str(), szFinal_.c_str())
                           : RenameNoReplace(szTemp_.c_str(), szFinal_.c_str());
    if (r != 0) {
        const int e = errno;
        DebugLog("LPendingOutput::Put rename to %s failed: %s", szFinal_.c_str(), strerror(e));
        errno = e;
        return e == EEXIST ? Commit::Exists : Commit::Failed;
    }
    szTemp_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return Commit::Done;
}

void LPendingOutput::ReleaseName() {
    if (!szTemp_.empty()) unlink(szTemp_.c_str());
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void LPendingOutput::Discard() {
    const int e = errno;
    if (!szTemp_.empty()) unlink(szTemp_.c_str());
    szTemp_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    errno = e;
}

int RemoveStaleOutputs(const std::string& folder) {
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return 0;
    const size_t prefixLen = std::strlen(LPendingOutput::kPrefix);
    int removed = 0;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (std::strncmp(n, LPendingOutput::kPrefix, prefixLen) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(n + prefixLen, &end, 10);
        if (pid <= 0 || end == n + prefixLen || *end != '-') continue;
        // A living process (ours included) may still be writing it.
        if (pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        std::string path = folder;
        if (!LFile::FilePathCat(path, n)) continue;
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            unlink(path.c_str()) == 0) {
            DebugLog("RemoveStaleOutputs removed %s", path.c_str());
            ++removed;
        }
        ::close(fd);
    }
    closedir(d);
    return removed;
}

}  // namespace sonvex
