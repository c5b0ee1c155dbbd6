// Helpers shared by the encoder tests: stand-in components, registration, WAV data, signal
// checks.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/TestUtil.h"
#include "encoders/Components.h"
#include "formats/FormatTestUtil.h"
#include "support/Settings.h"

namespace sonvex::test {

inline void WriteScript(const std::string& path, const std::string& body) {
    std::string text = "#!/bin/sh\n" + body + "\n";
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    chmod(path.c_str(), 0755);
}

inline void RegisterComponent(const std::string& name, const std::string& path) {
    RegistryWriteString(RegRoot::LocalMachine, ComponentKey(name), "Path", path);
}

inline std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The PCM of a WAV file, as the data chunk holds it, with its format.
struct WavData {
    int rate = 0;
    int channels = 0;
    int bits = 0;
    std::vector<int16_t> samples;
    bool ok = false;
};

inline uint32_t GetLE32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline WavData ReadWav(const std::string& path) {
    WavData w;
    std::vector<uint8_t> b = ReadBytes(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
        return w;
    size_t pos = 12;
    while (pos + 8 <= b.size()) {
        uint32_t len = GetLE32(&b[pos + 4]);
        const uint8_t* body = &b[pos + 8];
        if (!std::memcmp(&b[pos], "fmt ", 4) && len >= 16) {
            w.channels = body[2] | (body[3] << 8);
            w.rate = static_cast<int>(GetLE32(body + 4));
            w.bits = body[14] | (body[15] << 8);
        } else if (!std::memcmp(&b[pos], "data", 4)) {
            size_t n = std::min<size_t>(len, b.size() - pos - 8) / 2;
            w.samples.resize(n);
            std::memcpy(w.samples.data(), body, n * 2);
            w.ok = w.channels > 0 && w.bits == 16;
            return w;
        }
        pos += 8 + len + (len & 1);
    }
    return w;
}

// Best normalised correlation of one channel of a decoded signal with the reference, over
// lags 0..maxLag (codecs add a delay).
inline double BestCorrelation(const std::vector<int16_t>& ref, const std::vector<int16_t>& got,
                              int channels, int channel, int maxLag) {
    const size_t frames = ref.size() / channels;
    const size_t gotFrames = got.size() / channels;
    // Compare the middle, away from the codec's start and end transients.
    const size_t b = frames / 4, e = frames * 3 / 4;
    double best = -1;
    for (int lag = 0; lag <= maxLag; ++lag) {
        if (e + lag > gotFrames) break;
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = b; i < e; ++i) {
            double x = ref[i * channels + channel];
            double y = got[(i + lag) * channels + channel];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        if (xx > 0 && yy > 0) best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best;
}

inline bool WaitUntil(const std::function<bool()>& cond, int ms) {
    for (int i = 0; i < ms / 10; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

// True while a process exists (a zombie included).
inline bool ProcessExists(pid_t pid) {
    return FileExists("/proc/" + std::to_string(pid));
}

inline std::string ComponentsFolder() {
    return std::string(SONVEX_BINARY_DIR) + "/components";
}

}  // namespace sonvex::test
