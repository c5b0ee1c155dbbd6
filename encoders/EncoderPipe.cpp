#include "encoders/EncoderPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/Debug.h"

namespace sonvex {

namespace {
constexpr int kPollSliceMs = 100;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

LPipeOut::~LPipeOut() {
    _Close();
    if (errFd_ >= 0) close(errFd_);
}

bool LPipeOut::_Open(const LCommandLine& commandLine) {
    DebugLog("LPipeOut::_Open %s", commandLine.Text().c_str());
    // Encoders chatter on their error stream; it is kept for the message when one fails.
    if (errFd_ >= 0) close(errFd_);
    errFd_ = memfd_create("sonvex-encoder-errors", MFD_CLOEXEC);
    LChildProcess::Options o;
    o.stdinMode = LChildProcess::Stdio::Pipe;
    o.stderrFd = errFd_;
    if (!process_.Start(commandLine.Args(), o)) {
        DebugLog("LPipeOut::_Open CreateProcess FAILED");
        return false;
    }
    // Writes wait in poll slices so a cancel or a stalled encoder is noticed.
    const int fd = process_.StdinFd();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return true;
}

std::string LPipeOut::ErrorText() const {
    struct stat st {};
    if (errFd_ < 0 || fstat(errFd_, &st) != 0 || st.st_size <= 0) return {};
    char tail[1024];
    const off_t from = std::max<off_t>(0, st.st_size - static_cast<off_t>(sizeof tail));
    const ssize_t n = pread(errFd_, tail, sizeof tail, from);
    if (n <= 0) return {};
    // The last line with text; progress lines end in carriage returns.
    std::string_view all(tail, static_cast<size_t>(n));
    const auto blank = [](char c) { return c == '\n' || c == '\r' || c == ' ' || c == '\t'; };
    while (!all.empty() && blank(all.back())) all.remove_suffix(1);
    const size_t start = all.find_last_of("\r\n");
    std::string_view line = start == std::string_view::npos ? all : all.substr(start + 1);
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    return std::string(line.substr(0, 300));
}

void LPipeOut::Kill() {
    process_.Terminate(1000);
}

bool LPipeOut::_CloseAndWait(const CancelCheck& cancel) {
    process_.CloseStdin();
    if (!process_.Running()) return true;
    const bool bAlreadyCancelled = cancel && cancel();
    const int64_t graceEnd = NowMs() + kFinishGraceMs;
    for (;;) {
        if (process_.Wait(kPollSliceMs)) break;
        if (bAlreadyCancelled ? NowMs() >= graceEnd : (cancel && cancel())) {
            DebugLog("LPipeOut::_CloseAndWait cancelled; ending the encoder");
            Kill();
            return false;
        }
    }
    if (process_.ExitCode() != 0) {
        DebugLog("LPipeOut::_CloseAndWait encoder exit status %d: %s", process_.ExitCode(),
                 ErrorText().c_str());
        return false;
    }
    return true;
}

bool LPipeOut::_Close() {
    process_.CloseStdin();
    if (!process_.Running()) return true;
    if (!process_.Wait(iCloseWaitMs_)) {
        DebugLog(
            "LPipeOut::_Close() WaitForSingleObject(hEncoderProcess) FAILED - process did "
            "not close properly");
        process_.Detach();
        return true;
    }
    if (process_.ExitCode() != 0) {
        DebugLog("LPipeOut::_Close encoder exit status %d: %s", process_.ExitCode(),
                 ErrorText().c_str());
        return false;
    }
    return true;
}

LPipeOut::WriteResult LPipeOut::WriteAll(const void* p, size_t bytes, const CancelCheck& cancel,
                                         size_t frameBytes) {
    int fd = process_.StdinFd();
    if (fd < 0) return WriteResult::Failed;
    const char* c = static_cast<const char*>(p);
    size_t written = 0;
    bool bCancelled = false;
    int64_t lastProgress = NowMs();
    int stallMs = iStallMs_;
    while (written < bytes) {
        ssize_t n = ::write(fd, c + written, bytes - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
            lastProgress = NowMs();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            DebugLog("LPipeOut::WriteAll write FAILED: %s", strerror(errno));
            return WriteResult::Failed;
        }
        // The pipe is full: wait for the encoder to read, watching Cancel and the stall time.
        pollfd pf{fd, POLLOUT, 0};
        if (poll(&pf, 1, kPollSliceMs) > 0) continue;
        if (!bCancelled && cancel && cancel()) {
            // Stop at the end of the frame being written; the encoder may finish the file.
            bCancelled = true;
            bytes = written + (frameBytes - written % frameBytes) % frameBytes;
            stallMs = kFinishGraceMs;
            lastProgress = NowMs();
            continue;
        }
        if (NowMs() - lastProgress >= stallMs) {
            DebugLog("LPipeOut::WriteAll the encoder has read nothing for %d ms", stallMs);
            Kill();
            return WriteResult::Failed;
        }
    }
    return bCancelled ? WriteResult::Cancelled : WriteResult::Ok;
}

LPipe16Sink::LPipe16Sink(const LCommandLine& commandLine, int32_t rate, int nChannels)
    : LSoundSinkBase(rate, nChannels), commandLine_(commandLine) {
    samples16_.resize(static_cast<size_t>(nChans) * kMaxFrames);
    pipe_._Close();
    if (!pipe_._Open(commandLine_)) uErrorFlags |= kErrorUnusable;
}

LPipe16Sink::~LPipe16Sink() {
    if (!bFinished_) pipe_._Close();
}

void LPipe16Sink::Write(const int32_t* pBuffer, int frames) {
    if (frames <= 0 || bFinished_ || bCancelled_) return;
    if (frames > kMaxFrames) frames = kMaxFrames;  // beyond the contract; never overrun
    sPosition += frames;
    const size_t n = static_cast<size_t>(frames) * nChans;
    int16_t* out = samples16_.data();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        out[i + 0] = PipeSampleTo16(pBuffer[i + 0]);
        out[i + 1] = PipeSampleTo16(pBuffer[i + 1]);
        out[i + 2] = PipeSampleTo16(pBuffer[i + 2]);
        out[i + 3] = PipeSampleTo16(pBuffer[i + 3]);
        out[i + 4] = PipeSampleTo16(pBuffer[i + 4]);
        out[i + 5] = PipeSampleTo16(pBuffer[i + 5]);
        out[i + 6] = PipeSampleTo16(pBuffer[i + 6]);
        out[i + 7] = PipeSampleTo16(pBuffer[i + 7]);
    }
    for (; i < n; ++i) out[i] = PipeSampleTo16(pBuffer[i]);
    // The stream is little-endian, as is the host.
    const LPipeOut::WriteResult r =
        pipe_.WriteAll(out, n * sizeof(int16_t), cancel_, nChans * sizeof(int16_t));
    bLastWriteOk_ = r == LPipeOut::WriteResult::Ok;
    if (r == LPipeOut::WriteResult::Cancelled) bCancelled_ = true;
    if (r == LPipeOut::WriteResult::Failed) uErrorFlags |= kErrorUnusable;  // the encoder has gone
}

std::string LPipe16Sink::FailureDetail() const {
    return IsUnusable() && !bCancelled_ ? pipe_.ErrorText() : std::string();
}

void LPipe16Sink::Abandon() {
    if (bFinished_) return;
    bFinished_ = true;
    pipe_.Kill();
    uErrorFlags |= kErrorUnusable;
}

bool LPipe16Sink::Finish() {
    if (bFinished_) return !IsUnusable();
    bFinished_ = true;
    if (!pipe_._CloseAndWait(cancel_)) uErrorFlags |= kErrorUnusable;
    return !IsUnusable();
}

}  // namespace sonvex
