// Benchmark driver: decodes an MP3 file with LMP3Source into a 16-bit WAV file.
//   mp3_to_wav <in.mp3> <out.wav>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audio/SoundSource.h"
#include "formats/mp3/MP3Source.h"

namespace {

void PutLE(std::FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <in.mp3> <out.wav>\n", argv[0]);
        return 2;
    }
    sonvex::LMP3Source src(argv[1]);
    if (src.ErrorState != 0) {
        std::fprintf(stderr, "cannot decode %s (error %d)\n", argv[1], src.ErrorState);
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) return 1;
    const int ch = src.nChans;
    std::fwrite("RIFF\0\0\0\0WAVEfmt ", 1, 16, out);
    PutLE(out, 16, 4);
    PutLE(out, 1, 2);
    PutLE(out, static_cast<uint32_t>(ch), 2);
    PutLE(out, static_cast<uint32_t>(src.SampleRate), 4);
    PutLE(out, static_cast<uint32_t>(src.SampleRate * ch * 2), 4);
    PutLE(out, static_cast<uint32_t>(ch * 2), 2);
    PutLE(out, 16, 2);
    std::fwrite("data\0\0\0\0", 1, 8, out);

    std::vector<int32_t> buf(static_cast<size_t>(sonvex::kBlockFrames) * ch);
    std::vector<int16_t> pcm(buf.size());
    uint32_t dataBytes = 0;
    for (;;) {
        src.Read(buf.data(), sonvex::kBlockFrames);
        const int32_t pos = src.GetPosition(), len = src.GetLength();
        int64_t real =
            pos < len ? sonvex::kBlockFrames : int64_t(len) - (pos - sonvex::kBlockFrames);
        if (real > 0) {
            const size_t n = static_cast<size_t>(real) * ch;
            // Fixed-count inner loops so that the conversion vectorises.
            for (size_t i = 0; i < n; i += 8)
                for (size_t k = 0; k < 8; ++k) {
                    int32_t v = (buf[i + k] + 8) >> 4;  // the pump's limiter keeps this in range
                    pcm[i + k] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
                }
            std::fwrite(pcm.data(), 2, n, out);
            dataBytes += static_cast<uint32_t>(n * 2);
        }
        if (pos >= len) break;
    }
    std::fseek(out, 4, SEEK_SET);
    PutLE(out, 36 + dataBytes, 4);
    std::fseek(out, 40, SEEK_SET);
    PutLE(out, dataBytes, 4);
    std::fclose(out);
    return 0;
}
