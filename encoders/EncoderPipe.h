// The pipe to an encoder program: the program reads signed 16-bit little-endian PCM,
// channels interleaved, on its standard input until end of input, and writes the file its
// command line names.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/SoundSink.h"
#include "support/Process.h"

namespace sonvex {

class LPipeOut {
public:
    LPipeOut() = default;
    ~LPipeOut();
    LPipeOut(const LPipeOut&) = delete;
    LPipeOut& operator=(const LPipeOut&) = delete;

    // Polled while a write or the close waits; true cancels the wait.
    using CancelCheck = std::function<bool()>;

    // Starts the encoder with the read end of a pipe as its standard input; its output stream
    // is ours, its error stream is kept aside (ErrorText).
    bool _Open(const LCommandLine& commandLine);
    // Closes the pipe and waits up to the close budget for the encoder; false when it ended
    // with an error. An encoder still running after the wait is left to finish (reaped later).
    bool _Close();
    // Closes the pipe and waits until the encoder has ended; false unless it exited with 0.
    // A cancel during the wait ends the encoder's process group; when the job was already
    // cancelled before, the encoder gets kFinishGraceMs to complete the shortened file.
    bool _CloseAndWait(const CancelCheck& cancel);
    enum class WriteResult { Ok, Failed, Cancelled };
    // Writes all bytes. Failed when the pipe is not open, the encoder has gone, or it read
    // nothing for the stall time (it is then ended). Cancelled when the job was cancelled
    // while the pipe was full: the write stops at a multiple of frameBytes, so the encoder
    // still gets whole frames.
    WriteResult WriteAll(const void* p, size_t bytes, const CancelCheck& cancel = {},
                         size_t frameBytes = 1);
    // Ends the encoder's whole process group now.
    void Kill();
    bool IsOpen() const { return process_.StdinFd() >= 0; }
    pid_t EncoderPid() const { return process_.Pid(); }
    // The last line the encoder wrote to its error stream; empty when none.
    std::string ErrorText() const;

    // How long _Close waits for the encoder (3000 ms).
    void SetCloseWaitMs(int ms) { iCloseWaitMs_ = ms; }
    // How long an encoder may read nothing before a write fails (60 s).
    void SetStallTimeoutMs(int ms) { iStallMs_ = ms; }

    static constexpr int kFinishGraceMs = 5000;

private:
    LChildProcess process_;
    int errFd_ = -1;  // the encoder's error stream: an anonymous file
    int iCloseWaitMs_ = 3000;
    int iStallMs_ = 60000;
};

class LPipe16Sink : public LSoundSinkBase {
public:
    LPipe16Sink(const LCommandLine& commandLine, int32_t rate, int nChannels);
    ~LPipe16Sink() override;

    void Write(const int32_t* pBuffer, int frames) override;
    // Closes the pipe and waits for the encoder to end; false when a write failed or the
    // encoder ended with an error (or was ended by a cancel).
    bool Finish() override;
    // Polled while writes and Finish wait for the encoder.
    void SetCancelCheck(std::function<bool()> cancel) override { cancel_ = std::move(cancel); }
    // Ends the encoder's process group at once.
    void Abandon() override;
    // The encoder's last message when it failed.
    std::string FailureDetail() const override;
    void SetStallTimeoutMs(int ms) { pipe_.SetStallTimeoutMs(ms); }
    // How long a release without Finish waits for the encoder before leaving it to run on.
    void SetCloseWaitMs(int ms) { pipe_.SetCloseWaitMs(ms); }
    // The result of the last Write: false when the pipe write failed.
    bool LastWriteOk() const { return bLastWriteOk_; }
    const LCommandLine& CommandLine() const { return commandLine_; }
    pid_t EncoderPid() const { return pipe_.EncoderPid(); }

    static constexpr int kMaxFrames = 8192;

private:
    LPipeOut pipe_;
    std::vector<int16_t> samples16_;
    LCommandLine commandLine_;
    LPipeOut::CancelCheck cancel_;
    bool bLastWriteOk_ = true;
    bool bCancelled_ = false;  // a write gave up for Cancel; nothing more is sent
    bool bFinished_ = false;
};

// Internal sample to 16-bit, without clipping: the low 16 bits of (x + 8) >> 4.
inline int16_t PipeSampleTo16(int32_t x) {
    return static_cast<int16_t>(static_cast<uint16_t>((static_cast<int64_t>(x) + 8) >> 4));
}

}  // namespace sonvex
