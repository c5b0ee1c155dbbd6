// Utilities shared by the MP3 tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "formats/FormatTestUtil.h"

namespace sonvex::test {

inline std::string Mp3DataDir() {
    return std::string(SONVEX_TESTDATA_DIR) + "/mp3";
}

// PSNR in dB of ours (internal scale) against 16-bit reference samples over n samples.
inline double Psnr(const int32_t* ours, const int16_t* ref, size_t n) {
    double err = 0;
    for (size_t i = 0; i < n; ++i) {
        const int32_t v = (ours[i] + 8) >> 4;
        const double d = double(v > 32767 ? 32767 : v < -32768 ? -32768 : v) - ref[i];
        err += d * d;
    }
    if (n == 0) return 0;
    if (err == 0) return 200.0;
    return 10.0 * std::log10(32768.0 * 32768.0 / (err / double(n)));
}

}  // namespace sonvex::test
