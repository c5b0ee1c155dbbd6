// Benchmark driver: encodes a 16-bit PCM WAV file to MP3 through the encoder pipe, the way a
// conversion does (internal samples in 8192-frame blocks into the MP3 sink), and waits for the
// encoder to finish. Usage: bench_mp3_pipe_feed IN.wav OUT.mp3
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "encoders/EncoderPipe.h"
#include "encoders/Mp3Encoder.h"

using namespace sonvex;

namespace {
uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.wav OUT.mp3\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int rate = 0, chans = 0;
    const uint8_t* data = nullptr;
    size_t dataBytes = 0;
    for (size_t pos = 12; pos + 8 <= b.size();) {
        uint32_t len = Le32(&b[pos + 4]);
        if (!std::memcmp(&b[pos], "fmt ", 4)) {
            chans = b[pos + 10] | (b[pos + 11] << 8);
            rate = static_cast<int>(Le32(&b[pos + 12]));
        } else if (!std::memcmp(&b[pos], "data", 4)) {
            data = &b[pos + 8];
            dataBytes = std::min<size_t>(len, b.size() - pos - 8);
            break;
        }
        pos += 8 + len + (len & 1);
    }
    if (!data || chans <= 0) {
        std::fprintf(stderr, "not a PCM WAV file\n");
        return 2;
    }

    LMp3Settings s;
    s.bConstantBitRate = 1;
    s.uCBRBitRate = 128;
    s.bHighQuality = 1;
    LSoundSinkRef sink = LMP3EncodePipe::OpenMp3Sink(argv[2], s, rate, chans);
    if (!sink || sink->IsUnusable()) {
        std::fprintf(stderr, "cannot start the mp3el component\n");
        return 1;
    }
    const size_t frames = dataBytes / (2 * static_cast<size_t>(chans));
    std::vector<int32_t> block(static_cast<size_t>(8192) * chans);
    for (size_t pos = 0; pos < frames; pos += 8192) {
        size_t n = std::min<size_t>(8192, frames - pos);
        const uint8_t* p = data + pos * 2 * chans;
        for (size_t i = 0; i < n * chans; ++i)
            block[i] = static_cast<int16_t>(p[2 * i] | (p[2 * i + 1] << 8)) * 16;
        sink->Write(block.data(), static_cast<int>(n));
    }
    sink->Finish();  // the whole encode is timed
    sink.Reset();
    return 0;
}
