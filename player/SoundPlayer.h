// Plays one sound source through an output device. A thread keeps a ring of 64 buffers of
// about 100 ms filled from the source; the user-interface thread hears of the position, the
// levels and the end through notifications drained from its queue.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/SoundSource.h"
#include "engine/UiContext.h"
#include "platform/sound/SoundOut.h"
#include "support/Thread.h"

namespace sonvex {

inline constexpr int kPlayerBuffers = 64;

// The levels of one buffer: one per channel in decibels, -127 (silence) to 127.
struct LSoundLevels {
    uint8_t nCount = 0;
    int8_t iLevel[256] = {};
};

// The level of n frames of one channel whose samples lie stride apart: the mean square of the
// samples shifted right by 5, in decibels against 8388626, rounded half away from zero and
// held within -127 ... 127; -127 for silence or no frames.
int LSoundChannelLevel(const int32_t* pSamples, int n, int stride);

// The listener; every call runs on the user-interface thread. Does nothing by default.
class LSoundPlayerNotify {
public:
    virtual ~LSoundPlayerNotify() = default;
    virtual void OnPlay(int /*iCookie*/) {}
    virtual void OnStop(int /*iCookie*/) {}
    virtual void OnPosition(int /*iCookie*/, int32_t /*ms*/) {}
    virtual void OnLevels(const LSoundLevels& /*levels*/, int /*iCookie*/) {}
};

// Opens output device number iDevice (0: the default) for a format; empty when it cannot.
using LSoundOutOpener =
    std::function<std::unique_ptr<LSoundOut>(int iDevice, const LSoundOutFormat& format)>;

class LSoundPlayer : public LThread, public LThreadQueuedNotify, public LSoundPlayerNotify {
public:
    // Notifications run on the thread that drains the queue.
    explicit LSoundPlayer(LNotifyQueue& queue = LNotifyQueue::Default());
    // Stops (OnStop reaches the listener, which must still exist).
    ~LSoundPlayer() override;

    // Stops, then plays the source at its own rate and channel count in 16 bits, through the
    // peak limiter when it can exceed 16-bit full scale. False, with nothing held, when the
    // source is in error or the device cannot be opened.
    bool Start(const LSoundSourceRef& source);
    // Safe when nothing plays (then nothing is notified).
    void Stop();
    bool IsPlaying() const;
    // The length of the playing source in milliseconds; 0 when nothing plays.
    int32_t LengthMs() const;
    int32_t FramesPerBuffer() const { return nFramesPerBuffer; }

    // Set by the owner before Start.
    int iDevice = 0;
    LSoundPlayerNotify* pNotify = this;
    int iCookie = 0;
    LSoundOutOpener openDevice = OpenSoundOut;
    // The longest wait of the thread between looks at the ring; 64 such waits without a
    // returned buffer end playback.
    int nPollMs = 150;

protected:
    void ThreadFunction() override;
    void EvNotify() override;

private:
    static constexpr int64_t kNothingToReport = 0x80000000;
    struct WaveHeader {
        int32_t nFullLength = 0;  // bytes
        int16_t* pSlice = nullptr;
        LSoundOutBuffer hdr;
        int64_t iUser = kNothingToReport;  // source position after the buffer's data
        LSoundLevels levels;
    };
    enum : uint16_t { kOpen = 0x1, kTakeOff = 0x10 };

    int32_t Ms(int64_t frames) const;
    void FillBuffer(WaveHeader& h, int32_t toDo);
    bool AllDone() const;

    mutable std::mutex lock;  // guards the fields below between the thread and EvNotify
    std::unique_ptr<LSoundOut> pDevice;
    int32_t sLastPlayed = 0;
    uint16_t uFlags = 0;
    bool bNotifyStop = false;
    bool bPositionChanged = false;
    std::vector<int16_t> waveMemory;
    LSoundSourceRef lssSource;
    int32_t nRate = 0;
    LSoundLevels currentLevels;
    std::vector<int32_t> sampleBuffer;
    int32_t nFramesPerBuffer = 0;
    uint8_t nChannels = 1;
    std::array<WaveHeader, kPlayerBuffers> ring;
    uint8_t iCurrent = 0;
};

// The output devices for the settings dialog: numbers 0 to GetCount().
class LSoundPlayDevice {
public:
    static int GetCount();
    // "[Default Sound Out]" for 0 or less; otherwise the description of output device n - 1,
    // empty when there is none.
    static std::string GetText(int iDevice);
};

// The message shown when the player cannot start (caption "Sonvex").
inline constexpr const char* kSoundDeviceErrorText =
    "Cannot open the sound device for playback. Check you have selected the correct device in "
    "the pull downlist in Settings.";

// The Play command for one path: stops the player, opens the path with the source opener
// (which shows its own messages), sets the device from "SoundOutDevice" (section "Settings")
// and starts; when the player cannot start, shows kSoundDeviceErrorText. Returns LPROCESS_OK
// when playing, the opener's code when it failed, LPROCESS_FAILED when the player did not start.
int PlaySoundFile(LSoundPlayer& player, const std::string& path, const LUiContext& context);

}  // namespace sonvex
