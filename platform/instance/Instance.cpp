#include "platform/instance/Instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Debug.h"
#include "platform/FileSystem.h"

namespace sonvex {

namespace {

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool PeerIsSameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && len == sizeof cred &&
           cred.uid == geteuid();
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

std::string RuntimeFolder() {
    std::string folder = EnvOr("XDG_RUNTIME_DIR", "");
    if (!folder.empty())
        folder += "/sonvex";
    else
        folder = EnvOr("TMPDIR", "/tmp") + "/sonvex-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return {};
    if ((st.st_mode & 0777) != 0700 && chmod(folder.c_str(), 0700) != 0) return {};
    return folder;
}

std::string StartLockPath(const std::string& runtimeFolder) {
    return runtimeFolder + "/SonvexRunMutex.lock";
}

std::string InstanceSocketPath(const std::string& runtimeFolder) {
    return runtimeFolder + "/instance.sock";
}

LSystemLockMutex::~LSystemLockMutex() {
    if (fd_ >= 0) close(fd_);
}

bool LSystemLockMutex::Lock() {
    if (fd_ < 0) fd_ = open(szPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        DebugLog("LSystemLockMutex::Lock cannot open %s", szPath_.c_str());
        return false;
    }
    while (flock(fd_, LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

void LSystemLockMutex::Unlock() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

bool LInstanceServer::Listen(const std::string& path) {
    Close();
    sockaddr_un addr;
    if (!MakeAddress(path, addr)) return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        DebugLog("LInstanceServer::Listen cannot listen on %s", path.c_str());
        close(fd);
        return false;
    }
    fd_ = fd;
    szPath_ = path;
    return true;
}

bool LInstanceServer::Accept(int& fd) {
    fd = -1;
    if (fd_ < 0) return false;
    int c;
    do c = accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    while (c < 0 && errno == EINTR);
    if (c < 0) return errno == ECONNABORTED;  // a vanished peer: look again
    if (!PeerIsSameUser(c)) {
        DebugLog("LInstanceServer::Accept peer of another user refused");
        close(c);
        return true;
    }
    fd = c;
    return true;
}

void LInstanceServer::Close() {
    if (fd_ < 0) return;
    close(fd_);
    fd_ = -1;
    unlink(szPath_.c_str());
}

LInstanceRequest::~LInstanceRequest() {
    if (fd_ >= 0) close(fd_);
}

LRunArgsData::Status LInstanceRequest::ReadAvailable() {
    using S = LRunArgsData::Status;
    if (fd_ < 0) return S::Refused;
    uint8_t buf[16384];
    bool bEnd = false;
    for (;;) {
        ssize_t r = recv(fd_, buf, sizeof buf, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (r <= 0) {
            bEnd = true;
            break;
        }
        bytes_.insert(bytes_.end(), buf, buf + r);
        if (bytes_.size() > LRunArgsData::kRecordBytes + 4 + LRunArgsData::kMaxFrameBytes) break;
    }
    S s = LRunArgsData::Decode(bytes_, bEnd, args_);
    // The sender closes its side when the message is whole; a record with nothing after it
    // is complete only then.
    if (s == S::Complete && !bEnd) s = S::NeedMore;
    if (s == S::Refused) {
        DebugLog("LInstanceRequest::ReadAvailable record refused");
        close(fd_);
        fd_ = -1;
    }
    return s;
}

void LInstanceRequest::Reply(int status) {
    if (fd_ < 0) return;
    uint8_t b[4];
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<uint8_t>(static_cast<uint32_t>(status) >> (8 * i));
    WriteAll(fd_, b, 4);
    close(fd_);
    fd_ = -1;
}

int ForwardToRunningInstance(const std::string& path, const std::vector<std::string>& args) {
    sockaddr_un addr;
    if (!MakeAddress(path, addr)) return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int r;
    do r = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    while (r != 0 && errno == EINTR);
    if (r != 0 || !PeerIsSameUser(fd)) {
        close(fd);
        return -1;
    }
    const std::vector<uint8_t> msg = LRunArgsData::Encode(args);
    int status = 2;
    if (WriteAll(fd, msg.data(), msg.size()) && shutdown(fd, SHUT_WR) == 0) {
        uint8_t b[4];
        size_t got = 0;
        while (got < 4) {
            ssize_t n = recv(fd, b + got, 4 - got, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got == 4)
            status = static_cast<int>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 |
                                      uint32_t{b[3]} << 24);
    }
    close(fd);
    return status;
}

}  // namespace sonvex
