// Sound output devices: 16-bit interleaved buffers are handed over in order and each is marked
// done once the device has consumed it. A device is driven from one thread at a time: Write,
// Update and Polled by the playing thread; Reset, Unprepare and destruction after it stopped.
#pragma once

#include <poll.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sonvex {

struct LSoundOutFormat {
    int32_t nSampleRate = 44100;
    int nChannels = 2;
};

// One buffer. The caller owns the data, which must stay valid until the buffer is done.
struct LSoundOutBuffer {
    const int16_t* pData = nullptr;
    int32_t nBytes = 0;  // bytes to play: whole frames
    bool bDone = true;   // cleared by Write, set when consumed (or dropped by Reset)
};

class LSoundOut {
public:
    static constexpr int kMaxPollFds = 8;

    virtual ~LSoundOut() = default;
    // Queues the buffer behind those already queued.
    virtual void Write(LSoundOutBuffer& buffer) = 0;
    // Moves queued data into the device and marks consumed buffers done. Never blocks.
    virtual void Update() = 0;
    // The descriptors to poll for the device's next change (at most kMaxPollFds); lowers
    // *pTimeoutMs to the time when a buffer is due to be consumed. Returns their count.
    virtual int PollDescriptors(pollfd* pFds, int* pTimeoutMs) = 0;
    // Hands back the descriptors PollDescriptors gave, with the events poll returned.
    virtual void Polled(pollfd* pFds, int nFds) {
        (void)pFds;
        (void)nFds;
    }
    // Stops at once; every queued buffer is done.
    virtual void Reset() = 0;
    // True once the device no longer holds the buffer; false while it still plays it.
    virtual bool Unprepare(LSoundOutBuffer& buffer) { return buffer.bDone; }
};

struct LSoundOutDeviceName {
    std::string szName;         // the name the device opens by
    std::string szDescription;  // one line for people
};

// The output devices of the system, in the order device numbers 1, 2, ... name them.
std::vector<LSoundOutDeviceName> ListSoundOutDevices();

// Opens device number iDevice: 0 the system's default output, n >= 1 entry n - 1 of
// ListSoundOutDevices. Tries the exact format first, then with the system converting it.
// Empty for a number outside the list or a device that cannot be opened.
std::unique_ptr<LSoundOut> OpenSoundOut(int iDevice, const LSoundOutFormat& format);

}  // namespace sonvex
