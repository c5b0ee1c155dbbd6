#include "formats/wav/WaveFormat.h"

namespace sonvex {

WAVEFORMATEX WAVEFORMATEX::Pcm16(uint32_t rate, uint16_t channels) {
    WAVEFORMATEX w;
    w.wFormatTag = WAVE_FORMAT_PCM;
    w.nChannels = channels;
    w.nSamplesPerSec = rate;
    w.wBitsPerSample = 16;
    w.nBlockAlign = static_cast<uint16_t>(2 * channels);
    w.nAvgBytesPerSec = rate * w.nBlockAlign;
    w.cbSize = 0;
    return w;
}

WAVEFORMATEX WAVEFORMATEX::Parse(const uint8_t* p, size_t n) {
    WAVEFORMATEX w;
    if (n < 16) return w;
    w.wFormatTag = GetLE16(p);
    w.nChannels = GetLE16(p + 2);
    w.nSamplesPerSec = GetLE32(p + 4);
    w.nAvgBytesPerSec = GetLE32(p + 8);
    w.nBlockAlign = GetLE16(p + 12);
    w.wBitsPerSample = GetLE16(p + 14);
    w.cbSize = n >= kFixedBytes ? GetLE16(p + 16) : 0;
    if (n > kFixedBytes) {
        size_t extra = n - kFixedBytes;
        if (extra > w.cbSize) extra = w.cbSize;
        w.extra.resize(extra);
        if (extra) std::memcpy(w.extra.data(), p + kFixedBytes, extra);
    }
    return w;
}

std::vector<uint8_t> WAVEFORMATEX::Serialize() const {
    std::vector<uint8_t> out(kFixedBytes + extra.size());
    SetLE16(&out[0], wFormatTag);
    SetLE16(&out[2], nChannels);
    SetLE32(&out[4], nSamplesPerSec);
    SetLE32(&out[8], nAvgBytesPerSec);
    SetLE16(&out[12], nBlockAlign);
    SetLE16(&out[14], wBitsPerSample);
    SetLE16(&out[16], cbSize);
    if (!extra.empty()) std::memcpy(out.data() + kFixedBytes, extra.data(), extra.size());
    return out;
}

}  // namespace sonvex
