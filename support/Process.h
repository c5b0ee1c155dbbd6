// Child processes: command lines kept as readable text and as an argument vector, started
// with posix_spawn (never through a shell), waited for through a pidfd, reaped in every case.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace sonvex {

// A command line built from pieces. Quoted pieces (paths) become one argument each, exactly
// as given; option text is split at blanks. The text form is what a log shows; the argument
// vector is what the child receives.
class LCommandLine {
public:
    LCommandLine() = default;
    // Appends "\"path\"" to the text and path as one argument.
    LCommandLine& Quoted(std::string_view path);
    // Appends option text (leading blanks included) and its blank-separated words.
    LCommandLine& Options(std::string_view text);
    LCommandLine& Optionf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    const std::string& Text() const { return szText_; }
    const std::vector<std::string>& Args() const { return args_; }
    bool empty() const { return args_.empty(); }

private:
    std::string szText_;
    std::vector<std::string> args_;
};

// Splits a command line the way the Windows start-up code does: blanks separate arguments
// outside quotes; a quote toggles quoting and is dropped; 2n backslashes before a quote give n
// backslashes and the quote acts, 2n+1 give n backslashes and a literal quote; other
// backslashes are literal; "" inside quotes is a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Ignores SIGPIPE once for the process (unless a handler is already installed), so writing
// to a pipe whose reader has gone fails with EPIPE instead of ending the program.
void IgnoreSigPipe();

class LChildProcess {
public:
    enum class Stdio { Inherit, Null, Pipe };
    struct Options {
        Stdio stdinMode = Stdio::Null;
        Stdio stdoutMode = Stdio::Inherit;
        Stdio stderrMode = Stdio::Inherit;
        // When >= 0, the child's standard error goes to this descriptor (stderrMode is ignored).
        int stderrFd = -1;
        // Own process group, so the terminal's Ctrl-C (our Cancel) does not reach the child.
        bool bNewProcessGroup = true;
        // Files the child creates are private to the user (umask 077).
        bool bPrivateFiles = false;
    };

    LChildProcess() = default;
    // A running child is left running and reaped in the background.
    ~LChildProcess() { Detach(); }
    LChildProcess(const LChildProcess&) = delete;
    LChildProcess& operator=(const LChildProcess&) = delete;

    // Starts args[0] (the path exactly as given, not searched on PATH) with args as its
    // argument vector and the inherited environment and folder. False when it cannot start.
    bool Start(const std::vector<std::string>& args, const Options& options);
    bool Start(const std::vector<std::string>& args) { return Start(args, Options{}); }

    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // Readable once the child has ended; -1 when none (or the kernel has no pidfds).
    int WaitFd() const { return pidfd_; }
    // Write end of the child's standard input (Stdio::Pipe), -1 otherwise or once closed.
    int StdinFd() const { return stdinFd_; }
    void CloseStdin();

    // Waits up to ms (negative: without limit) for the child to end and reaps it. True when it
    // ended; ExitCode then holds its exit status (128 + signal when killed by a signal).
    bool Wait(int ms);
    // After WaitFd became readable: reaps the child. Same result as Wait(0).
    bool Reap() { return Wait(0); }
    int ExitCode() const { return iExitCode_; }

    // Sends SIGTERM (then SIGKILL after graceMs) to the child, and to its whole process group
    // when it has one of its own, and reaps.
    void Terminate(int graceMs = 1000);
    // Gives up ownership: the child runs on and a background thread reaps it when it ends.
    void Detach();

private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    int stdinFd_ = -1;
    int iExitCode_ = -1;
    bool bOwnGroup_ = false;
};

// Reaps a child that nobody waits for any more, in the background.
void ReapInBackground(pid_t pid);

}  // namespace sonvex
