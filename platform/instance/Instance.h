// One running instance per user: the start lock that lets one start at a time decide, and the
// Unix socket through which a second start hands its arguments to the running window and waits
// until they have been carried out.
#pragma once

#include <string>
#include <vector>

#include "platform/instance/RunArgs.h"

namespace sonvex {

// $XDG_RUNTIME_DIR/sonvex, else $TMPDIR/sonvex-<uid> (/tmp without TMPDIR); created with mode
// 0700. Empty when it cannot be made a folder of ours that no one else can enter.
std::string RuntimeFolder();
std::string StartLockPath(const std::string& runtimeFolder);       // ".../SonvexRunMutex.lock"
std::string InstanceSocketPath(const std::string& runtimeFolder);  // ".../instance.sock"

// The start lock: flock on a file; released by Unlock or when the process ends.
class LSystemLockMutex {
public:
    explicit LSystemLockMutex(std::string path) : szPath_(std::move(path)) {}
    ~LSystemLockMutex();
    LSystemLockMutex(const LSystemLockMutex&) = delete;
    LSystemLockMutex& operator=(const LSystemLockMutex&) = delete;
    // Waits without time limit; false when the lock file cannot be opened.
    bool Lock();
    void Unlock();

private:
    std::string szPath_;
    int fd_ = -1;
};

// The listening socket of the running instance.
class LInstanceServer {
public:
    LInstanceServer() = default;
    ~LInstanceServer() { Close(); }
    LInstanceServer(const LInstanceServer&) = delete;
    LInstanceServer& operator=(const LInstanceServer&) = delete;
    // Replaces a stale socket (the caller holds the start lock) and listens; non-blocking.
    bool Listen(const std::string& path);
    int Fd() const { return fd_; }
    // False when no connection is pending. Otherwise fd is a non-blocking connection from this
    // user, or -1 when the peer was another user (its connection is closed unanswered).
    bool Accept(int& fd);
    // Stops listening and removes the socket.
    void Close();

private:
    int fd_ = -1;
    std::string szPath_;
};

// One forwarded record being received.
class LInstanceRequest {
public:
    explicit LInstanceRequest(int fd) : fd_(fd) {}
    ~LInstanceRequest();
    LInstanceRequest(const LInstanceRequest&) = delete;
    LInstanceRequest& operator=(const LInstanceRequest&) = delete;
    int Fd() const { return fd_; }
    // Reads what has arrived; Refused closes the connection unanswered.
    LRunArgsData::Status ReadAvailable();
    const std::vector<std::string>& Args() const { return args_; }
    // Sends the verbs' exit status and closes the connection.
    void Reply(int status);

private:
    int fd_;
    std::vector<uint8_t> bytes_;
    std::vector<std::string> args_;
};

// Hands args (argument 0 included) to the instance listening at path and waits for the reply
// that its verbs are done: their exit status (0, 1, 2); 2 when the instance went away first;
// -1 when no instance of this user listens there (nothing was sent).
int ForwardToRunningInstance(const std::string& path, const std::vector<std::string>& args);

}  // namespace sonvex
