// Helpers shared by the format tests: whole-stream reading and writing, byte builders, sox.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "common/TestUtil.h"

namespace sonvex::test {

// Reads a source to its end by the end-of-stream rule; the real samples, interleaved.
inline std::vector<int32_t> ReadAll(LSoundSourceRef& src, int block = kBlockFrames) {
    std::vector<int32_t> out;
    std::vector<int32_t> buf(static_cast<size_t>(block) * src->nChans);
    for (int guard = 0; guard < 100000; ++guard) {
        src->Read(buf.data(), block);
        int32_t pos = src->GetPosition(), len = src->GetLength();
        int32_t real = pos < len ? block : len - (pos - block);
        if (real > 0) out.insert(out.end(), buf.begin(), buf.begin() + real * src->nChans);
        if (pos >= len) break;
    }
    return out;
}

// Writes interleaved samples in blocks of at most `block` frames.
inline void WriteAll(LSoundSinkRef& sink, const std::vector<int32_t>& samples, int nChans,
                     int block = kBlockFrames) {
    size_t frames = samples.size() / static_cast<size_t>(nChans);
    for (size_t i = 0; i < frames; i += static_cast<size_t>(block)) {
        size_t n = std::min(frames - i, static_cast<size_t>(block));
        sink->Write(samples.data() + i * static_cast<size_t>(nChans), static_cast<int>(n));
    }
}

inline void PutBE16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x >> 8));
    v.push_back(static_cast<uint8_t>(x));
}
inline void PutBE32(std::vector<uint8_t>& v, uint32_t x) {
    PutBE16(v, x >> 16);
    PutBE16(v, x & 0xFFFF);
}
inline uint32_t GetBE32(const std::vector<uint8_t>& v, size_t at) {
    return (uint32_t{v[at]} << 24) | (uint32_t{v[at + 1]} << 16) | (uint32_t{v[at + 2]} << 8) |
           v[at + 3];
}

// 16-bit samples in the internal scale.
inline std::vector<int32_t> ToInternal(const std::vector<int16_t>& v) {
    std::vector<int32_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) out[i] = v[i] * 16;
    return out;
}

// Host-endian 16-bit samples of a file (as sox writes "-t s16").
inline std::vector<int16_t> Load16(const std::string& path) {
    std::vector<uint8_t> b = ReadBytes(path);
    std::vector<int16_t> out(b.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    return out;
}
inline void Save16(const std::string& path, const std::vector<int16_t>& v) {
    std::vector<uint8_t> b;
    for (int16_t s : v) PutLE16(b, static_cast<uint16_t>(s));
    WriteBytes(path, b);
}

// sox's own decoding of a file into 16-bit samples (empty when sox fails).
inline std::vector<int16_t> SoxDecode16(const std::string& soxInputArgs, const std::string& out) {
    if (RunShell("sox -D " + soxInputArgs + " -t raw -e signed-integer -b 16 -L " + out +
                 " 2>/dev/null") != 0)
        return {};
    return Load16(out);
}

inline std::string Q(const std::string& path) {
    return "'" + path + "'";
}

}  // namespace sonvex::test
