#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/Debug.h"

extern char** environ;

namespace sonvex {

LCommandLine& LCommandLine::Quoted(std::string_view path) {
    szText_ += '"';
    szText_ += path;
    szText_ += '"';
    args_.emplace_back(path);
    return *this;
}

LCommandLine& LCommandLine::Options(std::string_view text) {
    szText_ += text;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        size_t b = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        if (i > b) args_.emplace_back(text.substr(b, i - b));
    }
    return *this;
}

LCommandLine& LCommandLine::Optionf(const char* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return Options(buf);
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> out;
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            char c = line[i];
            if (!quoted && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                size_t b = i;
                while (i < n && line[i] == '\\') ++i;
                size_t count = i - b;
                if (i < n && line[i] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2) {
                        arg += '"';
                        ++i;
                    }
                    // an even count leaves the quote to act below
                } else {
                    arg.append(count, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        out.push_back(std::move(arg));
    }
    return out;
}

void IgnoreSigPipe() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction old {};
        if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL &&
            !(old.sa_flags & SA_SIGINFO))
            signal(SIGPIPE, SIG_IGN);
    });
}

namespace {

int PidfdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#else
    (void)pid;
    return -1;
#endif
}

int DecodeStatus(int st) {
    if (WIFEXITED(st)) return WEXITSTATUS(st);
    if (WIFSIGNALED(st)) return 128 + WTERMSIG(st);
    return -1;
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void ReapInBackground(pid_t pid) {
    if (pid <= 0) return;
    int st;
    pid_t r;
    do r = waitpid(pid, &st, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r != 0) return;  // reaped now, or not our child
    std::thread([pid] {
        int s;
        while (waitpid(pid, &s, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

bool LChildProcess::Start(const std::vector<std::string>& args, const Options& options) {
    if (pid_ > 0 || args.empty()) return false;
    iExitCode_ = -1;

    int stdinPipe[2] = {-1, -1};
    if (options.stdinMode == Stdio::Pipe) {
        IgnoreSigPipe();
        if (pipe2(stdinPipe, O_CLOEXEC) != 0) {
            DebugLog("LChildProcess::Start pipe FAILED: %s", strerror(errno));
            return false;
        }
        fcntl(stdinPipe[1], F_SETPIPE_SZ, 65536);
    }

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (options.stdinMode == Stdio::Pipe)
        posix_spawn_file_actions_adddup2(&fa, stdinPipe[0], 0);
    else if (options.stdinMode == Stdio::Null)
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    if (options.stdoutMode == Stdio::Null)
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    if (options.stderrFd >= 0)
        posix_spawn_file_actions_adddup2(&fa, options.stderrFd, 2);
    else if (options.stderrMode == Stdio::Null)
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (options.bNewProcessGroup) flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setflags(&attr, flags);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t def, none;
    sigemptyset(&def);
    for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&def, s);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &def);
    posix_spawnattr_setsigmask(&attr, &none);

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    // The child inherits the mask in force when it is created.
    const mode_t oldMask = options.bPrivateFiles ? umask(077) : 0;
    int rc = posix_spawn(&pid, args[0].c_str(), &fa, &attr, argv.data(), environ);
    if (options.bPrivateFiles) umask(oldMask);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (stdinPipe[0] >= 0) close(stdinPipe[0]);
    if (rc != 0) {
        DebugLog("LChildProcess::Start cannot start \"%s\": %s", args[0].c_str(), strerror(rc));
        if (stdinPipe[1] >= 0) close(stdinPipe[1]);
        return false;
    }
    pid_ = pid;
    bOwnGroup_ = options.bNewProcessGroup;
    stdinFd_ = stdinPipe[1];
    pidfd_ = PidfdOpen(pid);
    return true;
}

void LChildProcess::CloseStdin() {
    if (stdinFd_ >= 0) {
        close(stdinFd_);
        stdinFd_ = -1;
    }
}

bool LChildProcess::Wait(int ms) {
    if (pid_ <= 0) return false;
    int st = 0;
    pid_t r = 0;
    if (pidfd_ >= 0 && ms >= 0) {
        pollfd p{pidfd_, POLLIN, 0};
        int64_t deadline = NowMs() + ms;
        for (;;) {
            int left = static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
            int pr = poll(&p, 1, left);
            if (pr > 0) break;
            if (pr == 0) return false;
            if (errno != EINTR) return false;
        }
        do r = waitpid(pid_, &st, 0);
        while (r < 0 && errno == EINTR);
    } else if (ms < 0) {
        do r = waitpid(pid_, &st, 0);
        while (r < 0 && errno == EINTR);
    } else {
        int64_t deadline = NowMs() + ms;
        for (;;) {
            r = waitpid(pid_, &st, WNOHANG);
            if (r != 0 && !(r < 0 && errno == EINTR)) break;
            if (NowMs() >= deadline) return false;
            usleep(5000);
        }
    }
    iExitCode_ = r == pid_ ? DecodeStatus(st) : -1;
    if (pidfd_ >= 0) close(pidfd_);
    pidfd_ = -1;
    pid_ = -1;
    CloseStdin();
    return true;
}

void LChildProcess::Terminate(int graceMs) {
    if (pid_ <= 0) return;
    // A child in a group of its own takes its helpers (a script's tools) with it.
    const pid_t target = bOwnGroup_ ? -pid_ : pid_;
    kill(target, SIGTERM);
    if (Wait(graceMs)) {
        if (bOwnGroup_) kill(target, SIGKILL);  // helpers that ignored SIGTERM
        return;
    }
    kill(target, SIGKILL);
    Wait(-1);
}

void LChildProcess::Detach() {
    CloseStdin();
    if (pid_ > 0) ReapInBackground(pid_);
    if (pidfd_ >= 0) close(pidfd_);
    pidfd_ = -1;
    pid_ = -1;
}

}  // namespace sonvex
