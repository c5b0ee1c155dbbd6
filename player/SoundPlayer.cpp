#include "player/SoundPlayer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/PeakLimit.h"
#include "audio/SoundTime.h"
#include "engine/SourceOpener.h"
#include "platform/Debug.h"
#include "support/ProgressDialog.h"
#include "support/Settings.h"
#include "support/UiHost.h"

namespace sonvex {

int LSoundChannelLevel(const int32_t* pSamples, int n, int stride) {
    if (n <= 0) return -127;
    // Sums of y * y split at bit 13 so they cannot overflow; 64 bits keep even samples beyond
    // full scale defined.
    uint64_t hi = 0, lo = 0;
    for (int i = 0; i < n; ++i) {
        const int64_t y = pSamples[static_cast<int64_t>(i) * stride] >> 5;
        const uint64_t yy = static_cast<uint64_t>(y * y);
        hi += yy >> 13;
        lo += yy & 0x1FFF;
    }
    const uint64_t t = hi + (lo >> 13);
    const uint64_t un = static_cast<uint64_t>(n);
    const uint64_t w = (t / un) * 8192 + ((t % un) * 8192) / un;
    if (w == 0) return -127;
    constexpr uint64_t kReference = 8388626;
    const double v =
        10 * std::log10(static_cast<double>(w) / kReference) + (w < kReference ? -0.5 : 0.5);
    return std::clamp(static_cast<int>(v), -127, 127);
}

LSoundPlayer::LSoundPlayer(LNotifyQueue& queue) : LThreadQueuedNotify(queue) {}

LSoundPlayer::~LSoundPlayer() {
    Stop();
}

bool LSoundPlayer::IsPlaying() const {
    std::lock_guard<std::mutex> g(lock);
    return uFlags != 0;
}

int32_t LSoundPlayer::LengthMs() const {
    std::lock_guard<std::mutex> g(lock);
    return uFlags ? Ms(lssSource->GetLength()) : 0;
}

int32_t LSoundPlayer::Ms(int64_t frames) const {
    return static_cast<int32_t>(LSoundTime(frames, nRate).Milliseconds());
}

bool LSoundPlayer::Start(const LSoundSourceRef& source) {
    Stop();
    if (source->ErrorState != LSRC_OK) {
        DebugLog("LSoundPlayer::Start Source Error");
        return false;
    }
    lssSource = source;
    if (lssSource->MaxAmplitude > kFullScale16) {
        LSoundSourceRef limited;
        LSPPeakLimit(kFullScale16).OpenSource(limited, lssSource);
        if (limited->ErrorState != LSRC_OK) {
            lssSource.Reset();
            DebugLog("LSoundPlayer::Start Peak Limit Error");
            return false;
        }
        lssSource = limited;
    }
    nChannels = std::max<uint8_t>(lssSource->nChans, 1);
    nRate = lssSource->SampleRate;
    pDevice = openDevice ? openDevice(iDevice, {nRate, nChannels}) : nullptr;
    if (!pDevice) {
        lssSource.Reset();
        DebugLog("LSoundPlayer::Start waveOutOpen Error");
        return false;
    }
    nFramesPerBuffer = std::clamp(nRate / 10, 20, 8192);
    const size_t nSamples = static_cast<size_t>(nFramesPerBuffer) * nChannels;
    sampleBuffer.assign(nSamples, 0);
    waveMemory.assign(nSamples * kPlayerBuffers, 0);
    for (int i = 0; i < kPlayerBuffers; ++i) {
        WaveHeader& h = ring[i];
        h.nFullLength = static_cast<int32_t>(nSamples * 2);
        h.pSlice = waveMemory.data() + nSamples * i;
        h.hdr.pData = h.pSlice;
        h.hdr.nBytes = h.nFullLength;
        h.hdr.bDone = true;  // every buffer starts free
        h.iUser = kNothingToReport;
        h.levels = LSoundLevels();
    }
    int32_t sStart;
    {
        std::lock_guard<std::mutex> g(lock);
        uFlags = kOpen | kTakeOff;
        bNotifyStop = false;
        bPositionChanged = false;
        iCurrent = 0;
        sStart = sLastPlayed = lssSource->GetPosition();
    }
    LThread::Start(kThreadPriorityBelowNormal);
    pNotify->OnPlay(iCookie);
    pNotify->OnPosition(iCookie, Ms(sStart));
    return true;
}

bool LSoundPlayer::AllDone() const {
    return std::all_of(ring.begin(), ring.end(), [](const WaveHeader& h) { return h.hdr.bDone; });
}

void LSoundPlayer::FillBuffer(WaveHeader& h, int32_t toDo) {
    DebugLog("LSoundPlayer::ThreadFunction() Write sToDo=%d", toDo);
    const int32_t frames = std::min(toDo, nFramesPerBuffer);
    const int32_t sBefore = lssSource->GetPosition();
    lssSource->Read(sampleBuffer.data(), frames);
    const int32_t* in = sampleBuffer.data();
    const int64_t n = static_cast<int64_t>(frames) * nChannels;
    // Held to the values that round within 16 bits: only a faulty source reaches beyond.
    for (int64_t i = 0; i < n; ++i) h.pSlice[i] = SampleTo16(std::clamp(in[i], -0x80000, 0x7FFF7));
    h.hdr.nBytes = static_cast<int32_t>(n * 2);
    h.iUser = static_cast<int64_t>(sBefore) + frames;
    pDevice->Write(h.hdr);
    h.levels.nCount = nChannels;
    for (int c = 0; c < nChannels; ++c)
        h.levels.iLevel[c] = static_cast<int8_t>(LSoundChannelLevel(in + c, frames, nChannels));
}

void LSoundPlayer::ThreadFunction() {
    using Clock = std::chrono::steady_clock;
    // Time waited since a buffer last came back, against 64 full waits.
    int64_t nIdleMs = 0;
    do {
        std::unique_lock<std::mutex> g(lock);
        pDevice->Update();  // takes in the buffers the device has returned
        WaveHeader& h = ring[iCurrent];
        if (h.hdr.bDone) {
            nIdleMs = 0;
            if (h.iUser != kNothingToReport) {
                sLastPlayed = static_cast<int32_t>(h.iUser);
                currentLevels = h.levels;
                bPositionChanged = true;
                Notify();
            }
            const int32_t toDo = lssSource->GetLength() - lssSource->GetPosition();
            if (toDo <= 0) {
                h.iUser = kNothingToReport;
                if (AllDone()) {
                    bNotifyStop = true;
                    Notify();
                    break;
                }
            } else {
                FillBuffer(h, toDo);
            }
            iCurrent = static_cast<uint8_t>((iCurrent + 1) % kPlayerBuffers);
            continue;
        }
        // The ring is full and its oldest buffer still plays.
        if (uFlags & kTakeOff) {
            DebugLog(
                "LSoundPlayer::ThreadFunction() Takeoff-complete lock thread to high priority");
            SetCurrentThreadPriority(kThreadPriorityTimeCritical);
            uFlags &= static_cast<uint16_t>(~kTakeOff);
        }
        if (nIdleMs > static_cast<int64_t>(kPlayerBuffers) * nPollMs) {
            DebugLog(
                "LSoundPlayer::ThreadFunction() iCountFail so stop - buffers are not being "
                "returned");
            bNotifyStop = true;
            Notify();
        }
        pollfd fds[1 + LSoundOut::kMaxPollFds];
        fds[0] = {stopSignal.Descriptor(), POLLIN, 0};
        int timeout = nPollMs;
        const int nDevice = pDevice->PollDescriptors(fds + 1, &timeout);
        g.unlock();
        const Clock::time_point t0 = Clock::now();
        PollWait(fds, 1 + nDevice, timeout);
        pDevice->Polled(fds + 1, nDevice);
        // At least 1 ms a wait, so descriptors that stay ready without progress end it too.
        nIdleMs += std::max<int64_t>(
            1, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
    } while (!IsToStop());
    pDevice->Reset();
}

void LSoundPlayer::EvNotify() {
    std::unique_lock<std::mutex> g(lock);
    if (bNotifyStop) {
        const int32_t sLength = lssSource->GetLength();
        g.unlock();
        pNotify->OnPosition(iCookie, Ms(sLength));
        g.lock();
        const bool bStill = bNotifyStop;
        g.unlock();
        if (bStill) Stop();
        return;
    }
    if (!bPositionChanged) return;
    bPositionChanged = false;
    const int32_t sPosition = sLastPlayed;
    const LSoundLevels levels = currentLevels;
    g.unlock();
    pNotify->OnPosition(iCookie, Ms(sPosition));
    pNotify->OnLevels(levels, iCookie);
}

void LSoundPlayer::Stop() {
    {
        std::lock_guard<std::mutex> g(lock);
        if (uFlags == 0) return;
    }
    StopThreadTimed(5000);
    DebugLog("LSoundPlayer::Stop waveOutReset");
    pDevice->Reset();
    // Buffers still held after the reset are waited for, 1000 ms in all, then abandoned.
    int nBudgetMs = 1000;
    for (WaveHeader& h : ring) {
        h.hdr.nBytes = h.nFullLength;
        while (!pDevice->Unprepare(h.hdr)) {
            if (nBudgetMs <= 0) {
                DebugLog("LSoundPlayerWaveHeader::Destroy waveOutUnprepareHeader TIMEOUT");
                break;
            }
            DebugLog(
                "LSoundPlayerWaveHeader::Destroy waveOutUnprepareHeader failed wait while "
                "WAVERR_STILLPLAYING");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            nBudgetMs -= 50;
        }
    }
    // The device is closed before the memory its abandoned buffers point into is freed.
    pDevice.reset();
    std::vector<int16_t>().swap(waveMemory);
    std::vector<int32_t>().swap(sampleBuffer);
    for (WaveHeader& h : ring) {
        h.pSlice = nullptr;
        h.hdr.pData = nullptr;
    }
    lssSource.Reset();
    {
        std::lock_guard<std::mutex> g(lock);
        uFlags = 0;
        bNotifyStop = false;
        bPositionChanged = false;
        sLastPlayed = 0;
    }
    pNotify->OnStop(iCookie);
}

int LSoundPlayDevice::GetCount() {
    return static_cast<int>(ListSoundOutDevices().size());
}

std::string LSoundPlayDevice::GetText(int iDevice) {
    if (iDevice <= 0) return "[Default Sound Out]";
    const std::vector<LSoundOutDeviceName> list = ListSoundOutDevices();
    if (static_cast<size_t>(iDevice) > list.size()) {
        DebugLog("LSoundPlayDevice::GetText waveOutGetDevCaps FAILED");
        return "";
    }
    return list[static_cast<size_t>(iDevice) - 1].szDescription;
}

int PlaySoundFile(LSoundPlayer& player, const std::string& path, const LUiContext& context) {
    player.Stop();
    LSoundSourceRef source;
    const int opened = LGenSourceOpen(source, path, context);
    if (opened != LPROCESS_OK) return opened;
    player.iDevice = SettingsReadInt("Settings", "SoundOutDevice", 0);
    if (player.Start(source)) return LPROCESS_OK;
    UiHost().MessageBox(kSoundDeviceErrorText, "Sonvex", MsgButtons::Ok, MsgIcon::Error);
    return LPROCESS_FAILED;
}

}  // namespace sonvex
