// Interoperation with libgsm's toast and untoast on a speech-like signal: every pairing of
// encoder and decoder must come within 1 dB (SNR against the original) of libgsm's own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "formats/FormatTestUtil.h"
#include "formats/gsm/GsmFile.h"

namespace sonvex {
namespace {

using namespace test;

// Voiced syllables with a gliding pitch, two moving formants, pauses and a little noise.
std::vector<int16_t> SpeechLike(double seconds) {
    const double rate = 8000;
    size_t n = static_cast<size_t>(seconds * rate);
    std::vector<int16_t> out(n);
    double phase = 0;
    uint32_t seed = 99;
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
        if (std::fmod(t, 3.0) > 2.6) env = 0;
        seed = seed * 1664525 + 1013904223;
        double noise = ((seed >> 8) / 16777216.0 - 0.5) * 0.02;
        double v = (s * env * 0.25 + noise) * 16383;
        out[i] = static_cast<int16_t>(std::lrint(std::max(-32768.0, std::min(32767.0, v))));
    }
    return out;
}

double Snr(const std::vector<int16_t>& ref, const std::vector<int16_t>& test) {
    double sig = 0, err = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        double r = ref[i], t = i < test.size() ? test[i] : 0;
        sig += r * r;
        err += (r - t) * (r - t);
    }
    return 10 * std::log10(sig / (err + 1e-9));
}

std::vector<int16_t> OurDecode(const std::string& gsm) {
    LSoundSourceRef src(new LGSMFileSource(gsm));
    std::vector<int32_t> all = ReadAll(src);
    std::vector<int16_t> out(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        int32_t v = (all[i] + 8) >> 4;
        out[i] = static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
    }
    return out;
}

TEST(GsmToast, QualityOfEveryPairingMatchesLibgsm) {
    if (!HaveProgram("toast") || !HaveProgram("untoast")) GTEST_SKIP() << "libgsm tools missing";
    TempDir dir;
    std::vector<int16_t> speech = SpeechLike(12);
    Save16(dir.file("in.l"), speech);
    {
        LSoundSinkRef sink(new LGSMFileSink(dir.file("ours.gsm")));
        WriteAll(sink, ToInternal(speech), 1, 4000);
    }
    ASSERT_EQ(RunShell("toast -l -c < " + Q(dir.file("in.l")) + " > " + Q(dir.file("lib.gsm"))), 0);
    ASSERT_EQ(ReadBytes(dir.file("lib.gsm")).size(), ReadBytes(dir.file("ours.gsm")).size());
    ASSERT_EQ(
        RunShell("untoast -l -c < " + Q(dir.file("lib.gsm")) + " > " + Q(dir.file("lib_lib.l"))),
        0);
    ASSERT_EQ(
        RunShell("untoast -l -c < " + Q(dir.file("ours.gsm")) + " > " + Q(dir.file("ours_lib.l"))),
        0);

    double libLib = Snr(speech, Load16(dir.file("lib_lib.l")));
    double oursLib = Snr(speech, Load16(dir.file("ours_lib.l")));
    double libOurs = Snr(speech, OurDecode(dir.file("lib.gsm")));
    double oursOurs = Snr(speech, OurDecode(dir.file("ours.gsm")));
    std::printf("SNR dB: toast/untoast %.2f, ours/untoast %.2f, toast/ours %.2f, ours/ours %.2f\n",
                libLib, oursLib, libOurs, oursOurs);
    EXPECT_GT(libLib, 10.0);  // the signal is codable at all
    EXPECT_GE(oursLib, libLib - 1.0);
    EXPECT_GE(libOurs, libLib - 1.0);
    EXPECT_GE(oursOurs, libLib - 1.0);
    // Both decoders read the same file alike.
    double decoders = Snr(Load16(dir.file("lib_lib.l")), OurDecode(dir.file("lib.gsm")));
    std::printf("our decoder against untoast on toast's file: %.2f dB\n", decoders);
    EXPECT_GT(decoders, 25.0);

    // A third decoder, ffmpeg's, reads our file as untoast does.
    if (HaveProgram("ffmpeg")) {
        ASSERT_EQ(RunShell("ffmpeg -nostdin -hide_banner -loglevel error -f gsm -i " +
                           Q(dir.file("ours.gsm")) + " -f s16le -y " + Q(dir.file("ff.l"))),
                  0);
        EXPECT_GT(Snr(Load16(dir.file("ours_lib.l")), Load16(dir.file("ff.l"))), 60.0);
    }
}

}  // namespace
}  // namespace sonvex
