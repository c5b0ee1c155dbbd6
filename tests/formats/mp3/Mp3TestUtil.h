// Utilities shared by the MP3 tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/SoundSource.h"
#include "common/TestUtil.h"

namespace sonvex::test {

inline std::string Mp3DataDir() {
    return std::string(SONVEX_TESTDATA_DIR) + "/mp3";
}

// Reads a source to its end by the end-of-stream rule; returns interleaved samples.
// maxFrames bounds the work for broken streams.
inline std::vector<int32_t> ReadAll(LSoundSourceBase& s, int64_t maxFrames = 1 << 26) {
    std::vector<int32_t> out;
    std::vector<int32_t> buf(static_cast<size_t>(kBlockFrames) * s.nChans);
    for (int64_t done = 0; done < maxFrames; done += kBlockFrames) {
        s.Read(buf.data(), kBlockFrames);
        int32_t pos = s.GetPosition(), len = s.GetLength();
        int64_t real = pos < len ? kBlockFrames : int64_t(len) - (pos - kBlockFrames);
        if (real > 0) out.insert(out.end(), buf.begin(), buf.begin() + real * s.nChans);
        if (pos >= len) break;
    }
    return out;
}

inline int16_t To16Clipped(int32_t x) {
    int32_t v = (x + 8) >> 4;
    return static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

// PSNR in dB of ours (internal scale) against 16-bit reference samples over n samples.
inline double Psnr(const int32_t* ours, const int16_t* ref, size_t n) {
    double err = 0;
    for (size_t i = 0; i < n; ++i) {
        double d = double(To16Clipped(ours[i])) - ref[i];
        err += d * d;
    }
    if (n == 0) return 0;
    if (err == 0) return 200.0;
    return 10.0 * std::log10(32768.0 * 32768.0 / (err / double(n)));
}

inline std::vector<int16_t> ReadPcm16(const std::string& path, size_t skipBytes = 0) {
    std::vector<uint8_t> b = ReadBytes(path);
    std::vector<int16_t> v;
    for (size_t i = skipBytes; i + 1 < b.size(); i += 2)
        v.push_back(static_cast<int16_t>(b[i] | (b[i + 1] << 8)));
    return v;
}

}  // namespace sonvex::test
