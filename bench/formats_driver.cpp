// Command-line driver for the format benchmarks and quality measurements.
//
//   formats_driver speech OUT.s16 SECONDS      speech-like 8 kHz mono 16-bit test signal
//   formats_driver gsm-enc IN.s16 OUT.gsm      encode 8 kHz mono 16-bit host-endian samples
//   formats_driver gsm-dec IN.gsm OUT.s16      decode to 16-bit (clipped to full scale)
//   formats_driver raw-conv IN CODEC OUT CODEC RATE CHANS   raw file from one codec to another
//   formats_driver snr REF.s16 TEST.s16        SNR and segmental SNR in dB
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/gsm/GsmFile.h"
#include "formats/raw/RawFile.h"

using namespace sonvex;

namespace {

std::vector<int16_t> Load16(const char* path) {
    std::vector<int16_t> v;
    FILE* f = std::fopen(path, "rb");
    if (!f) return v;
    int16_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 2, 4096, f)) > 0) v.insert(v.end(), buf, buf + n);
    std::fclose(f);
    return v;
}

void Save16(const char* path, const std::vector<int16_t>& v) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return;
    std::fwrite(v.data(), 2, v.size(), f);
    std::fclose(f);
}

int16_t Clip16(int32_t x) {
    int32_t v = (x + 8) >> 4;
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

// Voiced syllables: a gliding pitch with harmonics shaped by two moving formants, an
// amplitude envelope at about 4 syllables per second, pauses, and a little noise.
std::vector<int16_t> Speech(double seconds) {
    const double rate = 8000;
    size_t n = static_cast<size_t>(seconds * rate);
    std::vector<int16_t> out(n);
    double phase = 0;
    uint32_t seed = 12345;
    for (size_t i = 0; i < n; ++i) {
        double t = i / rate;
        double f0 = 120 + 40 * std::sin(2 * M_PI * 0.7 * t) + 15 * std::sin(2 * M_PI * 3.1 * t);
        phase += 2 * M_PI * f0 / rate;
        double f1 = 500 + 250 * std::sin(2 * M_PI * 1.3 * t);
        double f2 = 1500 + 600 * std::sin(2 * M_PI * 0.9 * t + 1);
        double s = 0;
        for (int h = 1; h * f0 < 3600; ++h) {
            double fh = h * f0;
            double g = 1.0 / (1 + std::pow((fh - f1) / 150, 2)) +
                       0.5 / (1 + std::pow((fh - f2) / 200, 2)) + 0.02;
            s += g * std::sin(h * phase) / std::sqrt(h);
        }
        double env = std::pow(std::max(0.0, std::sin(2 * M_PI * 2.1 * t)), 0.6);
        if (std::fmod(t, 3.0) > 2.6) env = 0;  // a pause every three seconds
        seed = seed * 1664525 + 1013904223;
        double noise = ((seed >> 8) / 16777216.0 - 0.5) * 0.02;
        double v = (s * env * 0.25 + noise) * 32767 * 0.5;
        out[i] = static_cast<int16_t>(std::lrint(std::max(-32768.0, std::min(32767.0, v))));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string cmd = argv[1];
    if (cmd == "speech" && argc == 4) {
        Save16(argv[2], Speech(std::atof(argv[3])));
        return 0;
    }
    if (cmd == "gsm-enc" && argc == 4) {
        std::vector<int16_t> in = Load16(argv[2]);
        LSoundSinkRef sink(new LGSMFileSink(argv[3]));
        std::vector<int32_t> block(kBlockFrames);
        for (size_t i = 0; i < in.size(); i += kBlockFrames) {
            size_t n = std::min<size_t>(kBlockFrames, in.size() - i);
            for (size_t k = 0; k < n; ++k) block[k] = SampleFrom16(in[i + k]);
            sink->Write(block.data(), static_cast<int>(n));
        }
        return 0;
    }
    if (cmd == "gsm-dec" && argc == 4) {
        LSoundSourceRef src(new LGSMFileSource(argv[2]));
        std::vector<int16_t> out;
        std::vector<int32_t> block(kBlockFrames);
        while (src->GetPosition() < src->GetLength()) {
            src->Read(block.data(), kBlockFrames);
            int32_t real = std::min<int32_t>(
                kBlockFrames, src->GetLength() - (src->GetPosition() - kBlockFrames));
            for (int32_t k = 0; k < real; ++k) out.push_back(Clip16(block[k]));
        }
        Save16(argv[3], out);
        return 0;
    }
    if (cmd == "raw-conv" && argc == 8) {
        LRawSettings in{std::atoi(argv[6]), static_cast<uint8_t>(std::atoi(argv[7])),
                        std::atoi(argv[3])};
        LRawSettings outS{in.SampleRate, in.nChans, std::atoi(argv[5])};
        LSoundSourceRef src = LRawFile::OpenSource(argv[2], in);
        LSoundSinkRef sink = LRawFile::OpenSink(argv[4], outS);
        if (src->ErrorState || !sink) return 1;
        std::vector<int32_t> block(static_cast<size_t>(kBlockFrames) * src->nChans);
        while (src->GetPosition() < src->GetLength()) {
            src->Read(block.data(), kBlockFrames);
            int32_t real = std::min<int32_t>(
                kBlockFrames, src->GetLength() - (src->GetPosition() - kBlockFrames));
            if (real > 0) sink->Write(block.data(), real);
        }
        return 0;
    }
    if (cmd == "snr" && argc == 4) {
        std::vector<int16_t> a = Load16(argv[2]), b = Load16(argv[3]);
        size_t n = std::min(a.size(), b.size());
        double sig = 0, err = 0, seg = 0;
        int nseg = 0;
        for (size_t i = 0; i + 160 <= n; i += 160) {
            double s = 0, e = 0;
            for (size_t k = i; k < i + 160; ++k) {
                double d = double(a[k]) - b[k];
                s += double(a[k]) * a[k];
                e += d * d;
            }
            sig += s;
            err += e;
            if (s > 160.0 * 100 * 100) {  // frames above about -50 dBFS
                seg += 10 * std::log10((s + 1) / (e + 1));
                ++nseg;
            }
        }
        std::printf("%.2f %.2f\n", 10 * std::log10(sig / (err + 1e-9)), nseg ? seg / nseg : 0.0);
        return 0;
    }
    std::fprintf(stderr, "usage: see the comment at the top of formats_driver.cpp\n");
    return 2;
}
