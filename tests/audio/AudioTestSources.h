// Sources and measurements shared by the audio stage tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "audio/SoundSource.h"

namespace sonvex::test {

// An in-memory source of interleaved samples; zeros outside 0 .. length-1. Records seeks.
class VecSource : public LSoundSourceBase {
public:
    VecSource(int32_t rate, int channels, std::vector<int32_t> samples,
              int32_t maxAmplitude = kFullScale16)
        : LSoundSourceBase(rate, channels, maxAmplitude), data(std::move(samples)) {}
    void Read(int32_t* p, int frames) override {
        const int64_t n = nChans, len = GetLength();
        for (int i = 0; i < frames; ++i, ++sPos)
            for (int c = 0; c < n; ++c)
                p[i * n + c] = (sPos >= 0 && sPos < len) ? data[sPos * n + c] : 0;
        ++nReads;
    }
    int32_t GetPosition() override { return static_cast<int32_t>(sPos); }
    int32_t GetLength() override { return static_cast<int32_t>(data.size() / nChans); }
    void Seek(int32_t frame) override {
        sPos = frame;
        seeks.push_back(frame);
    }
    std::vector<int32_t> data;
    int64_t sPos = 0;
    int nReads = 0;
    std::vector<int32_t> seeks;
};

// What a stage (converter, limiter) with the given parameter makes of a source.
template <typename Stage>
LSoundSourceRef Staged(const LSoundSourceRef& source, int32_t parameter) {
    LSoundSourceRef result;
    Stage(parameter).OpenSource(result, source);
    return result;
}

// Reads `frames` frames in blocks of at most `block` frames.
inline std::vector<int32_t> ReadFrames(LSoundSourceBase& s, int frames, int block = kBlockFrames) {
    std::vector<int32_t> out(static_cast<size_t>(frames) * s.nChans);
    for (int done = 0; done < frames;) {
        const int n = std::min(block, frames - done);
        s.Read(out.data() + static_cast<size_t>(done) * s.nChans, n);
        done += n;
    }
    return out;
}

// Interleaved sine, channel c at freq * (c + 1), amplitude in internal units.
inline std::vector<int32_t> Sine(int frames, int channels, double freq, double rate,
                                 double amplitude) {
    std::vector<int32_t> v(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            v[static_cast<size_t>(i) * channels + c] = static_cast<int32_t>(
                std::lround(amplitude * std::sin(2 * M_PI * freq * (c + 1) * i / rate)));
    return v;
}

inline std::vector<int32_t> Noise(size_t count, int32_t amplitude, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> d(-amplitude, amplitude);
    std::vector<int32_t> v(count);
    for (auto& x : v) x = d(rng);
    return v;
}

// One channel out of an interleaved buffer, frames [from, to).
inline std::vector<double> Channel(const std::vector<int32_t>& v, int channels, int channel,
                                   size_t from, size_t to) {
    std::vector<double> out;
    for (size_t i = from; i < to; ++i) out.push_back(v[i * channels + channel]);
    return out;
}

inline double Rms(const std::vector<double>& x) {
    double s = 0;
    for (double v : x) s += v * v;
    return std::sqrt(s / static_cast<double>(x.size()));
}

// Frequency in cycles per sample from interpolated upward zero crossings.
inline double CyclesPerSample(const std::vector<double>& x) {
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = 1; i < x.size(); ++i)
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = static_cast<double>(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0) first = t;
            last = t;
            ++count;
        }
    return count > 1 ? (count - 1) / (last - first) : 0;
}

}  // namespace sonvex::test
