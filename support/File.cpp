#include "support/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/Debug.h"

namespace sonvex {

LFile::LFile(LFile&& other) noexcept : fd_(other.fd_), eOpenError_(other.eOpenError_) {
    other.fd_ = -1;
}

LFile& LFile::operator=(LFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        eOpenError_ = other.eOpenError_;
        other.fd_ = -1;
    }
    return *this;
}

bool LFile::Open(std::string_view path, Mode mode) {
    Close();
    eOpenError_ = OpenError::None;
    if (path.empty() || path.size() > kMaxPath) {
        eOpenError_ = OpenError::Other;
        return false;
    }
    std::string p(path);
    int flags = O_CLOEXEC;
    int lockOp = LOCK_SH;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY | O_NONBLOCK;
            break;
        case Mode::ExclusiveRead:
            flags |= O_RDONLY | O_NONBLOCK;
            lockOp = LOCK_EX;
            break;
        case Mode::Write:
            flags |= O_RDWR | O_CREAT;
            break;
        case Mode::ExclusiveRewrite:
            flags |= O_RDWR | O_CREAT;
            lockOp = LOCK_EX;
            break;
    }
    int fd = ::open(p.c_str(), flags, 0666);
    if (fd < 0) {
        eOpenError_ = errno == ENOENT ? OpenError::NotFound : OpenError::Other;
        return false;
    }
    struct stat st {};
    // Readers take regular files only: a folder fails, and a FIFO or device named as an input
    // must not block the program.
    const bool bReader = mode == Mode::Read || mode == Mode::ExclusiveRead;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (bReader && !S_ISREG(st.st_mode))) {
        ::close(fd);
        eOpenError_ = OpenError::Other;
        return false;
    }
    if (bReader) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // Only regular files take part in sharing; pipes and devices cannot hold flocks usefully.
    if (S_ISREG(st.st_mode) && flock(fd, lockOp | LOCK_NB) != 0) {
        ::close(fd);
        eOpenError_ = errno == EWOULDBLOCK ? OpenError::SharingViolation : OpenError::Other;
        return false;
    }
    // Truncate only once the sharing check passed, so a refused open destroys nothing.
    // An empty file is not truncated: that would make some file systems flush it at close.
    if ((mode == Mode::Write || mode == Mode::ExclusiveRewrite) && S_ISREG(st.st_mode) &&
        st.st_size != 0 && ftruncate(fd, 0) != 0) {
        ::close(fd);
        eOpenError_ = OpenError::Other;
        return false;
    }
    fd_ = fd;
    return true;
}

void LFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int64_t LFile::Read(void* p, int64_t n) {
    if (fd_ < 0 || n <= 0) return 0;
    auto* dst = static_cast<char*>(p);
    int64_t done = 0;
    while (done < n) {
        ssize_t r = ::read(fd_, dst + done, static_cast<size_t>(n - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    return done;
}

int64_t LFile::Write(const void* p, int64_t n) {
    if (fd_ < 0 || n <= 0) return 0;
    const auto* src = static_cast<const char*>(p);
    int64_t done = 0;
    while (done < n) {
        ssize_t r = ::write(fd_, src + done, static_cast<size_t>(n - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    return done;
}

void LFile::Seek(int64_t offset, Origin origin) {
    if (fd_ < 0) {
        DebugLog("LFile::Seek Called on an invalid file");
        return;
    }
    int whence = origin == Origin::Begin     ? SEEK_SET
                 : origin == Origin::Current ? SEEK_CUR
                                             : SEEK_END;
    if (lseek(fd_, offset, whence) < 0) DebugLog("LFile::Seek failed");
}

int64_t LFile::Tell() {
    off_t r = fd_ >= 0 ? lseek(fd_, 0, SEEK_CUR) : -1;
    if (r < 0) {
        DebugLog("LFile::Tell() Failed");
        return 0;
    }
    return r;
}

int64_t LFile::GetFileSizeBytes() {
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0) {
        DebugLog("LFile::GetFileSizeBytes() FAILED");
        return 0;
    }
    return st.st_size;
}

bool LFile::Truncate() {
    if (fd_ < 0) return false;
    off_t pos = lseek(fd_, 0, SEEK_CUR);
    if (pos < 0 || ftruncate(fd_, pos) != 0) {
        DebugLog("LFile::Truncate() failed");
        return false;
    }
    return true;
}

// ---- paths ----------------------------------------------------------------------------------

static size_t ExtensionIndex(std::string_view path) {
    size_t iDot = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '.') iDot = i;
        if (IsPathSeparator(path[i])) iDot = 0;
    }
    return iDot;
}

std::string GetExtension(std::string_view path) {
    size_t i = ExtensionIndex(path);
    return i ? std::string(path.substr(i)) : std::string();
}

bool LFile::_ApplyNewFileExtension(std::string& out, std::string_view path, std::string_view ext) {
    size_t i = ExtensionIndex(path);
    std::string r(path);
    if (i) r = std::string(path.substr(0, i)) + std::string(ext);
    if (r.size() > kMaxPath) {
        DebugLog("LFile::_ApplyNewFileExtension path too long");
        return false;
    }
    out = std::move(r);
    return true;
}

std::string LFile::_GetFolderFromPath(std::string_view path) {
    size_t iSep = std::string_view::npos;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsPathSeparator(path[i])) iSep = i;
    if (iSep == std::string_view::npos) return {};
    if (iSep == 0) return "/";  // a file in the root folder
    return std::string(path.substr(0, iSep));
}

std::string LFile::_GetFileFromPath(std::string_view path) {
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsPathSeparator(path[i])) start = i + 1;
    return std::string(path.substr(start));
}

std::string _GetFileTitleFromPath(std::string_view path) {
    std::string name = LFile::_GetFileFromPath(path);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) name.resize(dot);
    return name;
}

bool LFile::FilePathCat(std::string& folder, std::string_view name) {
    std::string r = folder;
    if (!r.empty() && !IsPathSeparator(r.back())) r += '/';
    r += name;
    if (r.size() > kMaxPath) {
        DebugLog("LFile::FilePathCat path too long");
        return false;
    }
    folder = std::move(r);
    return true;
}

bool FilePathCatExt(std::string& folder, std::string_view name, std::string_view ext) {
    std::string r = folder;
    if (!LFile::FilePathCat(r, name)) return false;
    r += ext;
    if (r.size() > kMaxPath) return false;
    folder = std::move(r);
    return true;
}

// ---- folders --------------------------------------------------------------------------------

std::string ReadXdgUserDir(std::string_view name) {
    std::ifstream in(ConfigHomeFolder() + "/user-dirs.dirs");
    std::string line;
    const std::string key = std::string(name) + "=";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string v = line.substr(key.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.compare(0, 5, "$HOME") == 0) v = HomeFolder() + v.substr(5);
        return v;
    }
    return {};
}

std::string LFile::GetUserDocumentsFolder() {
    std::string d = ReadXdgUserDir("XDG_DOCUMENTS_DIR");
    if (!d.empty() && IsFolder(d)) return d;
    d = HomeFolder() + "/Documents";
    if (IsFolder(d)) return d;
    return HomeFolder();
}

std::string LFile::GetUserDataFolder() {
    return EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share") + "/verrowave";
}

std::string LFile::GetSharedDataFolder() {
    return "/usr/local/share/verrowave";
}

std::string LFile::GetTempFolder() {
    std::string t = EnvOr("TMPDIR", "/tmp");
    while (t.size() > 1 && t.back() == '/') t.pop_back();
    return t;
}

// Every other name is removed, hidden ones included.
static bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool LFile::DeleteFolderAndFiles(const std::string& folder) {
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            if (IsDotOrDotDot(e->d_name)) continue;
            std::string p = folder + "/" + e->d_name;
            struct stat st {};
            if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
            if (unlink(p.c_str()) != 0)
                DebugLog("LFile::DeleteFolderAndFiles unable to DeleteFile:%s", p.c_str());
        }
        closedir(d);
    }
    if (rmdir(folder.c_str()) != 0) {
        DebugLog("LFile::DeleteFolderAndFiles unable to DeleteFolder:%s", folder.c_str());
        return false;
    }
    return true;
}

bool DeleteFolderTree(const std::string& folder) {
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            if (IsDotOrDotDot(e->d_name)) continue;
            std::string p = folder + "/" + e->d_name;
            struct stat st {};
            if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) DeleteFolderTree(p);
        }
        closedir(d);
    }
    return LFile::DeleteFolderAndFiles(folder);
}

// ---- opens and locks ------------------------------------------------------------------------

bool OpenWithRetry(LFile& file, std::string_view path, LFile::Mode mode, int budgetMs) {
    if (file.Open(path, mode)) return true;
    if (file.LastOpenError() != LFile::OpenError::SharingViolation) return false;
    // Waits double from (budget + 127) / 256 ms; at least 1 ms so small budgets still pace.
    int wait = (budgetMs + 127) / 256;
    if (wait < 1) wait = 1;
    int remaining = budgetMs;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        if (file.Open(path, mode)) return true;
        if (file.LastOpenError() != LFile::OpenError::SharingViolation) return false;
        if (wait >= remaining) return false;
        remaining -= wait;
        wait *= 2;
    }
}

bool TestFileOpen(std::string_view path) {
    LFile f;
    if (f.Open(path, LFile::Mode::ExclusiveRead)) return false;
    return f.LastOpenError() == LFile::OpenError::SharingViolation;
}

bool SameFile(std::string_view a, std::string_view b) {
    struct stat sa {
    }, sb{};
    if (stat(std::string(a).c_str(), &sa) != 0 || stat(std::string(b).c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool LLockFile::Lock(std::string_view guardedPath) {
    Release();
    std::string lockPath;
    if (!LFile::_ApplyNewFileExtension(lockPath, guardedPath, ".lck")) return true;
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return true;  // only a held lock refuses; other failures do not
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            DebugLog("LLockFile::Lock cannot open the lock file: %s", lockPath.c_str());
            return false;
        }
        // The previous holder may have removed the file between our open and our lock.
        struct stat held {
        }, named{};
        if (fstat(fd, &held) == 0 && stat(lockPath.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            fd_ = fd;
            szLockPath_ = lockPath;
            return true;
        }
        ::close(fd);
    }
    return true;
}

void LLockFile::Release() {
    if (fd_ < 0) return;
    unlink(szLockPath_.c_str());  // removed while still locked, so no one else can reuse it
    ::close(fd_);
    fd_ = -1;
    szLockPath_.clear();
}

}  // namespace sonvex
