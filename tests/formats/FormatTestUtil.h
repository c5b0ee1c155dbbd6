// Helpers shared by the format tests: whole-stream reading and writing, byte builders, a
// file-size limit that makes writes fail, sox.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "common/TestUtil.h"
#include "engine/SourceOpener.h"

namespace sonvex::test {

// Opens any input as a batch row does, questions allowed.
inline int OpenAny(const std::string& path, LSoundSourceRef& source) {
    bool allow = true;
    return LGenSourceOpen(source, path, LUiContext(&allow));
}

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

// The same for a source object; maxFrames bounds the work for broken streams.
inline std::vector<int32_t> ReadAll(LSoundSourceBase& s, int64_t maxFrames) {
    std::vector<int32_t> out;
    std::vector<int32_t> buf(static_cast<size_t>(kBlockFrames) * s.nChans);
    for (int64_t done = 0; done < maxFrames; done += kBlockFrames) {
        s.Read(buf.data(), kBlockFrames);
        const int32_t pos = s.GetPosition(), len = s.GetLength();
        const int64_t real = pos < len ? kBlockFrames : int64_t{len} - (pos - kBlockFrames);
        if (real > 0) out.insert(out.end(), buf.begin(), buf.begin() + real * s.nChans);
        if (pos >= len) break;
    }
    return out;
}
inline std::vector<int32_t> ReadAll(LSoundSourceBase& s) {
    return ReadAll(s, int64_t{1} << 26);
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

// A 24-byte AU header (".snd", data offset, data size, encoding, rate, channels).
inline std::vector<uint8_t> AuHeader(uint32_t offset, uint32_t size, uint32_t encoding,
                                     uint32_t rate, uint32_t chans) {
    std::vector<uint8_t> h;
    PutTag(h, ".snd");
    for (uint32_t v : {offset, size, encoding, rate, chans}) PutBE32(h, v);
    return h;
}

// Lowers the process's file-size limit with SIGXFSZ ignored, so that a write past the limit
// fails with EFBIG as on a full disk. Restored at destruction.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        if (getrlimit(RLIMIT_FSIZE, &saved_) != 0) return;
        rlimit lower = saved_;
        lower.rlim_cur = std::min(bytes, saved_.rlim_max);
        bOk_ = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~ScopedFileSizeLimit() {
        if (bOk_) setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
    bool ok() const { return bOk_; }

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
    bool bOk_ = false;
};

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

// Seeks to each frame and reads n frames: the frames of `all` (mono) from there, silence before
// the start and past the end; the position moves on by n.
inline void ExpectSeeksRead(LSoundSourceRef& src, const std::vector<int32_t>& all,
                            std::initializer_list<std::pair<int32_t, int>> seeks) {
    for (auto [at, n] : seeks) {
        std::vector<int32_t> buf(static_cast<size_t>(n), -1), want(static_cast<size_t>(n), 0);
        for (int i = 0; i < n; ++i)
            if (at + i >= 0 && at + i < static_cast<int32_t>(all.size())) want[i] = all[at + i];
        src->Seek(at);
        src->Read(buf.data(), n);
        EXPECT_EQ(buf, want) << "seek " << at;
        EXPECT_EQ(src->GetPosition(), at + n) << "seek " << at;
    }
}

// ---- RIFF (little-endian) and IFF (big-endian) files built byte by byte ----

inline void Append(std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
}

inline void Put32(std::vector<uint8_t>& v, uint32_t x, bool bigEndian) {
    bigEndian ? PutBE32(v, x) : PutLE32(v, x);
}

// 16-bit samples as bytes.
inline std::vector<uint8_t> Pcm16Bytes(const std::vector<int16_t>& samples,
                                       bool bigEndian = false) {
    std::vector<uint8_t> v;
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        bigEndian ? PutBE16(v, u) : PutLE16(v, u);
    }
    return v;
}

// A chunk: id, size (the data's own unless `declared` is given), the data and a pad byte after
// an odd length.
inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& data, bool bigEndian,
                                  int64_t declared = -1) {
    std::vector<uint8_t> v;
    PutTag(v, id);
    Put32(v, declared < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(declared),
          bigEndian);
    Append(v, data);
    if (data.size() & 1) v.push_back(0);
    return v;
}

// An outer chunk ("RIFF", "FORM") of the given form type around chunks.
inline std::vector<uint8_t> Container(const char* outer, const char* form,
                                      const std::vector<std::vector<uint8_t>>& chunks,
                                      bool bigEndian) {
    std::vector<uint8_t> body;
    PutTag(body, form);
    for (const auto& c : chunks) Append(body, c);
    return Chunk(outer, body, bigEndian);
}

// A "fmt " chunk of `bytes` bytes (16 at least are written; more are zeros), with the pad byte
// after an odd size.
inline std::vector<uint8_t> WavFmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                   uint32_t bytes = 16) {
    const uint32_t block = channels * ((bits + 7u) / 8u);
    std::vector<uint8_t> v;
    PutTag(v, "fmt ");
    PutLE32(v, bytes);
    PutLE16(v, tag);
    PutLE16(v, channels);
    PutLE32(v, rate);
    PutLE32(v, rate * block);
    PutLE16(v, block);
    PutLE16(v, bits);
    v.resize(std::max<size_t>(v.size(), 8 + bytes + (bytes & 1)), 0);
    return v;
}

inline std::vector<uint8_t> WavFile(const std::vector<std::vector<uint8_t>>& chunks) {
    return Container("RIFF", "WAVE", chunks, false);
}

// A 16-bit PCM WAV file.
inline std::vector<uint8_t> Wav16(uint32_t rate, uint16_t channels,
                                  const std::vector<int16_t>& samples) {
    return WavFile({WavFmt(1, channels, rate, 16), Chunk("data", Pcm16Bytes(samples), false)});
}

// A DSS file: the header of `version` 512-byte blocks (2 or 3) naming the codec (0 SP, 2 LP),
// then the frames' bytes in 512-byte blocks, each a 6-byte block head and 506 bytes.
inline std::vector<uint8_t> DssFile(uint8_t codec, const std::vector<uint8_t>& frames,
                                    uint8_t version = 2) {
    std::vector<uint8_t> v(version * 512u, 0);
    v[0] = version;
    std::memcpy(&v[1], "dss", 3);
    std::memcpy(&v[0x26], "240101120000240101120100", 24);  // recorded from, to
    v[0x2A4] = codec;
    for (size_t at = 0; at < frames.size(); at += 506) {
        v.insert(v.end(), 6, 0);
        v.insert(v.end(), frames.begin() + static_cast<std::ptrdiff_t>(at),
                 frames.begin() + static_cast<std::ptrdiff_t>(std::min(at + 506, frames.size())));
    }
    return v;
}

inline std::string Q(const std::string& path) {
    return "'" + path + "'";
}

// A source read to its end holds ffmpeg's 16-bit decoding of the file, sample for sample.
inline ::testing::AssertionResult DecodesAsFfmpeg(LSoundSourceRef& source,
                                                  const std::string& path) {
    const std::vector<int32_t> ours = ReadAll(source);
    if (RunShell("ffmpeg -v error -y -i " + Q(path) + " -f s16le " + Q(path + ".raw")) != 0)
        return ::testing::AssertionFailure() << "ffmpeg cannot decode " << path;
    const std::vector<int16_t> ref = Load16(path + ".raw");
    if (ours.size() != ref.size())
        return ::testing::AssertionFailure() << ours.size() << " samples, ffmpeg " << ref.size();
    size_t differ = 0;
    for (size_t i = 0; i < ref.size(); ++i) differ += (ours[i] >> 4) != ref[i];
    if (differ) return ::testing::AssertionFailure() << differ << " samples differ";
    return ::testing::AssertionSuccess();
}

}  // namespace sonvex::test
