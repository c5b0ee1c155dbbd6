// Converts a 16-bit PCM WAV through the conversion stages (channels, rate, limiter) and writes
// a 16-bit PCM WAV: the timing driver for resample.sh.
//   resample_bench in.wav out.wav rate channels
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/ConvertChannels.h"
#include "audio/ConvertRate.h"
#include "audio/PeakLimit.h"

using namespace sonvex;

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A streaming reader of the data chunk of a 16-bit PCM WAV.
class WavSource : public LSoundSourceBase {
public:
    WavSource(FILE* f, int rate, int channels, long dataStart, int32_t frames)
        : LSoundSourceBase(rate, channels, kFullScale16),
          f_(f),
          dataStart_(dataStart),
          nFrames_(frames),
          raw_(static_cast<size_t>(kBlockFrames) * channels) {}
    void Read(int32_t* p, int frames) override {
        const int n = nChans;
        int real = 0;
        if (sPos_ >= 0 && sPos_ < nFrames_) real = std::min(frames, nFrames_ - sPos_);
        if (sPos_ < 0) real = 0;
        if (real > 0 && std::fread(raw_.data(), 2 * n, real, f_) != static_cast<size_t>(real))
            real = 0;
        for (int i = 0; i < real * n; ++i) p[i] = SampleFrom16(raw_[i]);
        std::memset(p + real * n, 0, sizeof(int32_t) * static_cast<size_t>(frames - real) * n);
        sPos_ += frames;
    }
    int32_t GetPosition() override { return sPos_; }
    int32_t GetLength() override { return nFrames_; }
    void Seek(int32_t frame) override {
        sPos_ = frame;
        std::fseek(f_, dataStart_ + 2L * nChans * std::max(frame, 0), SEEK_SET);
    }

private:
    FILE* f_;
    long dataStart_;
    int32_t nFrames_;
    int32_t sPos_ = 0;
    std::vector<int16_t> raw_;
};

void PutHeader(FILE* f, int rate, int channels, uint32_t dataBytes) {
    uint8_t h[44];
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::memcpy(h, "RIFF", 4);
    put32(4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put32(20, 1 | (channels << 16));
    put32(24, rate);
    put32(28, rate * channels * 2);
    put32(32, (channels * 2) | (16 << 16));
    std::memcpy(h + 36, "data", 4);
    put32(40, dataBytes);
    std::fwrite(h, 1, sizeof h, f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s in.wav out.wav rate channels\n", argv[0]);
        return 2;
    }
    FILE* in = std::fopen(argv[1], "rb");
    if (!in) return 1;
    uint8_t hdr[12];
    if (std::fread(hdr, 1, 12, in) != 12 || std::memcmp(hdr, "RIFF", 4) ||
        std::memcmp(hdr + 8, "WAVE", 4))
        return 1;
    int rate = 0, channels = 0;
    for (;;) {
        uint8_t ch[8];
        if (std::fread(ch, 1, 8, in) != 8) return 1;
        const uint32_t size = Le32(ch + 4);
        if (!std::memcmp(ch, "fmt ", 4)) {
            std::vector<uint8_t> fmt(size);
            if (std::fread(fmt.data(), 1, size, in) != size || size < 16) return 1;
            if (Le16(&fmt[0]) != 1 || Le16(&fmt[14]) != 16) return 1;
            channels = Le16(&fmt[2]);
            rate = static_cast<int>(Le32(&fmt[4]));
            if (size & 1) std::fseek(in, 1, SEEK_CUR);
        } else if (!std::memcmp(ch, "data", 4)) {
            if (!channels) return 1;
            const long start = std::ftell(in);
            LSoundSourceRef src(new WavSource(in, rate, channels, start, size / (2 * channels)));
            LSPConvChannels(static_cast<int16_t>(std::atoi(argv[4]))).OpenSource(src, src);
            LSPConvertRate(std::atoi(argv[3])).OpenSource(src, src);
            LSPPeakLimit(kFullScale16).OpenSource(src, src);

            FILE* out = std::fopen(argv[2], "wb");
            if (!out) return 1;
            const int n = src->nChans;
            PutHeader(out, src->SampleRate, n, 0);
            std::vector<int32_t> block(static_cast<size_t>(kBlockFrames) * n);
            std::vector<int16_t> pcm(block.size());
            uint32_t written = 0;
            for (;;) {
                src->Read(block.data(), kBlockFrames);
                const int32_t over = src->GetPosition() - src->GetLength();
                const int real = over < 0 ? kBlockFrames : kBlockFrames - over;
                if (real > 0) {
                    for (int i = 0; i < real * n; ++i) pcm[i] = SampleTo16(block[i]);
                    std::fwrite(pcm.data(), 2 * n, real, out);
                    written += real;
                }
                if (over >= 0) break;
            }
            std::fseek(out, 0, SEEK_SET);
            PutHeader(out, src->SampleRate, n, written * 2 * n);
            std::fclose(out);
            std::fclose(in);
            return 0;
        } else {
            std::fseek(in, size + (size & 1), SEEK_CUR);
        }
    }
}
