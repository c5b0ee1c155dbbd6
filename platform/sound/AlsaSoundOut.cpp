// The ALSA output: buffers go into the PCM's own ring as room appears (non-blocking writes,
// woken through the PCM's poll descriptors); a buffer is consumed once the frames played,
// written minus the PCM's delay, pass its end.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

#include "platform/Debug.h"
#include "platform/sound/SoundOut.h"

namespace sonvex {

namespace {

// ALSA's own error messages go to the debug trace, not to standard error.
void AlsaErrorHandler(const char* file, int line, const char* function, int err, const char* fmt,
                      ...) {
    if (!DebugEnabled()) return;
    char text[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    DebugLog("ALSA %s:%d (%s) %s%s%s", file, line, function, text, err ? ": " : "",
             err ? snd_strerror(err) : "");
}

void InstallErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&AlsaErrorHandler); });
}

struct PcmCloser {
    void operator()(snd_pcm_t* p) const { snd_pcm_close(p); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
struct SwParamsFree {
    void operator()(snd_pcm_sw_params_t* p) const { snd_pcm_sw_params_free(p); }
};

class LAlsaSoundOut final : public LSoundOut {
public:
    static std::unique_ptr<LSoundOut> Open(const std::string& name, const LSoundOutFormat& format,
                                           bool bConvert);

    void Write(LSoundOutBuffer& buffer) override;
    void Update() override;
    int PollDescriptors(pollfd* pFds, int* pTimeoutMs) override;
    void Polled(pollfd* pFds, int nFds) override;
    void Reset() override;

private:
    struct Queued {
        LSoundOutBuffer* p;
        int64_t sEnd;  // frames queued up to the end of this buffer
    };
    LAlsaSoundOut(PcmHandle pcm, const LSoundOutFormat& format)
        : pcm_(std::move(pcm)), format_(format) {}
    void Account();
    void Pump();
    void Recovered(int err);

    PcmHandle pcm_;
    LSoundOutFormat format_;
    std::deque<Queued> queue_;
    int64_t sQueued_ = 0;   // frames handed to Write
    int64_t sWritten_ = 0;  // frames written into the PCM
    int64_t sPlayed_ = 0;   // frames the PCM has consumed
    bool bFailed_ = false;  // its descriptors may stay ready for ever: not polled again
};

std::unique_ptr<LSoundOut> LAlsaSoundOut::Open(const std::string& name,
                                               const LSoundOutFormat& format, bool bConvert) {
    InstallErrorHandler();
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return nullptr;
    PcmHandle pcm(raw);
    snd_pcm_hw_params_t* hwRaw = nullptr;
    snd_pcm_sw_params_t* swRaw = nullptr;
    if (snd_pcm_hw_params_malloc(&hwRaw) < 0) return nullptr;
    std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree> hw(hwRaw);
    if (snd_pcm_sw_params_malloc(&swRaw) < 0) return nullptr;
    std::unique_ptr<snd_pcm_sw_params_t, SwParamsFree> sw(swRaw);

    unsigned bufferUs = 2000000, periodUs = 100000;
    snd_pcm_uframes_t bufferFrames = 0, periodFrames = 0;
    if (snd_pcm_hw_params_any(raw, hwRaw) < 0 ||
        snd_pcm_hw_params_set_rate_resample(raw, hwRaw, bConvert ? 1 : 0) < 0 ||
        snd_pcm_hw_params_set_access(raw, hwRaw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(raw, hwRaw, SND_PCM_FORMAT_S16_LE) < 0 ||
        snd_pcm_hw_params_set_channels(raw, hwRaw, static_cast<unsigned>(format.nChannels)) < 0 ||
        snd_pcm_hw_params_set_rate(raw, hwRaw, static_cast<unsigned>(format.nSampleRate), 0) < 0 ||
        snd_pcm_hw_params_set_buffer_time_near(raw, hwRaw, &bufferUs, nullptr) < 0 ||
        snd_pcm_hw_params_set_period_time_near(raw, hwRaw, &periodUs, nullptr) < 0 ||
        snd_pcm_hw_params(raw, hwRaw) < 0 ||
        snd_pcm_hw_params_get_buffer_size(hwRaw, &bufferFrames) < 0 ||
        snd_pcm_hw_params_get_period_size(hwRaw, &periodFrames, nullptr) < 0)
        return nullptr;
    // Woken when a period has room; started explicitly when the data ends before the PCM's
    // ring is full.
    if (snd_pcm_sw_params_current(raw, swRaw) < 0 ||
        snd_pcm_sw_params_set_avail_min(raw, swRaw, periodFrames) < 0 ||
        snd_pcm_sw_params_set_start_threshold(raw, swRaw, bufferFrames) < 0 ||
        snd_pcm_sw_params(raw, swRaw) < 0)
        return nullptr;
    return std::unique_ptr<LSoundOut>(new LAlsaSoundOut(std::move(pcm), format));
}

void LAlsaSoundOut::Write(LSoundOutBuffer& buffer) {
    buffer.bDone = false;
    sQueued_ += buffer.nBytes / 2 / format_.nChannels;
    queue_.push_back({&buffer, sQueued_});
    Pump();
}

void LAlsaSoundOut::Recovered(int err) {
    if (err == -EPIPE) sPlayed_ = sWritten_;  // an underrun: everything written has played
    if (snd_pcm_recover(pcm_.get(), err, 1) < 0)
        DebugLog("LAlsaSoundOut recover failed: %s", snd_strerror(err));
}

void LAlsaSoundOut::Pump() {
    snd_pcm_t* pcm = pcm_.get();
    for (const Queued& q : queue_) {
        while (sWritten_ < q.sEnd) {
            const int64_t frames = q.p->nBytes / 2 / format_.nChannels;
            const int64_t offset = sWritten_ - (q.sEnd - frames);
            const snd_pcm_sframes_t r =
                snd_pcm_writei(pcm, q.p->pData + offset * format_.nChannels,
                               static_cast<snd_pcm_uframes_t>(q.sEnd - sWritten_));
            if (r == -EAGAIN) return;
            if (r == -EPIPE || r == -ESTRPIPE || r == -EINTR) {
                Recovered(static_cast<int>(r));
                continue;
            }
            if (r < 0) {
                // The device is gone or broken: the buffers never come back.
                DebugLog("LAlsaSoundOut snd_pcm_writei: %s", snd_strerror(static_cast<int>(r)));
                bFailed_ = true;
                return;
            }
            sWritten_ += r;
        }
    }
    // All data is in the PCM but its ring is not full: start it, or it would wait forever.
    if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED && sWritten_ > sPlayed_) snd_pcm_start(pcm);
}

void LAlsaSoundOut::Account() {
    snd_pcm_t* pcm = pcm_.get();
    switch (snd_pcm_state(pcm)) {
        case SND_PCM_STATE_XRUN:
            Recovered(-EPIPE);
            break;
        case SND_PCM_STATE_SUSPENDED:
            Recovered(-ESTRPIPE);
            break;
        default: {
            snd_pcm_sframes_t delay = 0;
            const int r = snd_pcm_delay(pcm, &delay);
            if (r == -EPIPE || r == -ESTRPIPE)
                Recovered(r);
            else if (r == 0)
                sPlayed_ = std::max(sPlayed_, sWritten_ - std::max<int64_t>(delay, 0));
            else if (r != -EAGAIN && r != -EINTR)
                bFailed_ = true;
        }
    }
}

void LAlsaSoundOut::Update() {
    if (bFailed_) return;
    Account();
    Pump();
    while (!queue_.empty() && queue_.front().sEnd <= sPlayed_) {
        queue_.front().p->bDone = true;
        queue_.pop_front();
    }
}

int LAlsaSoundOut::PollDescriptors(pollfd* pFds, int* pTimeoutMs) {
    if (queue_.empty() || bFailed_) return 0;
    // The time until the oldest buffer has played.
    const int64_t left = (queue_.front().sEnd - sPlayed_) * 1000 / format_.nSampleRate + 1;
    *pTimeoutMs = static_cast<int>(std::clamp<int64_t>(left, 1, *pTimeoutMs));
    if (sWritten_ == sQueued_) return 0;  // nothing waits for room
    const int n = snd_pcm_poll_descriptors(pcm_.get(), pFds, kMaxPollFds);
    return std::max(n, 0);
}

void LAlsaSoundOut::Polled(pollfd* pFds, int nFds) {
    unsigned short revents = 0;
    if (nFds > 0)
        snd_pcm_poll_descriptors_revents(pcm_.get(), pFds, static_cast<unsigned>(nFds), &revents);
}

void LAlsaSoundOut::Reset() {
    snd_pcm_drop(pcm_.get());
    for (Queued& q : queue_) q.p->bDone = true;
    queue_.clear();
    sQueued_ = sWritten_ = sPlayed_ = 0;
    snd_pcm_prepare(pcm_.get());
}

std::string HintText(void* hint, const char* id) {
    char* p = snd_device_name_get_hint(hint, id);
    std::string s = p ? p : "";
    free(p);
    return s;
}

}  // namespace

std::vector<LSoundOutDeviceName> ListSoundOutDevices() {
    InstallErrorHandler();
    std::vector<LSoundOutDeviceName> out;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints) return out;
    for (void** h = hints; *h; ++h) {
        const std::string io = HintText(*h, "IOID");
        if (!io.empty() && io != "Output") continue;
        LSoundOutDeviceName d;
        d.szName = HintText(*h, "NAME");
        if (d.szName.empty()) continue;
        d.szDescription = HintText(*h, "DESC");
        std::replace(d.szDescription.begin(), d.szDescription.end(), '\n', ' ');
        if (d.szDescription.empty()) d.szDescription = d.szName;
        out.push_back(std::move(d));
    }
    snd_device_name_free_hint(hints);
    return out;
}

std::unique_ptr<LSoundOut> OpenSoundOut(int iDevice, const LSoundOutFormat& format) {
    if (iDevice < 0 || format.nChannels < 1 || format.nSampleRate < 1) return nullptr;
    std::string name = "default";
    if (iDevice > 0) {
        const std::vector<LSoundOutDeviceName> list = ListSoundOutDevices();
        if (static_cast<size_t>(iDevice) > list.size()) return nullptr;
        name = list[static_cast<size_t>(iDevice) - 1].szName;
    }
    if (auto out = LAlsaSoundOut::Open(name, format, false)) return out;
    return LAlsaSoundOut::Open(name, format, true);
}

}  // namespace sonvex
