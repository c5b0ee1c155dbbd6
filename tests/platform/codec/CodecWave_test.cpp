// Compressed and wide WAV files through the codec manager, against the peers: files that
// ffmpeg and sox write decode to what ffmpeg decodes; files that Sonvex writes are read by sox
// and ffmpeg; seeking and the length on real codecs; hostile format records.
#include <gtest/gtest.h>

#include <cmath>

#include "formats/FormatTestUtil.h"
#include "formats/wav/WaveFile.h"
#include "platform/codec/CodecStream.h"

namespace sonvex {
namespace {

using namespace test;

struct CodecWave : ::testing::Test {
    TempDir dir;
    // Two seconds of two tones: stereo at 22050 Hz, or mono at 8000 Hz.
    std::string Source(int rate, int channels) {
        const std::string path =
            dir.file("src" + std::to_string(rate) + "_" + std::to_string(channels) + ".wav");
        if (!FileExists(path)) {
            EXPECT_EQ(
                RunShell("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
                         " -b 16 " + Q(path) + " synth 2 sine 440 sine 1250 vol 0.6 2>/dev/null"),
                0);
        }
        return path;
    }
    // A peer's decoding to 16-bit samples.
    std::vector<int16_t> Peer(const std::string& tool, const std::string& path) {
        const std::string raw = path + "." + tool + ".raw";
        const std::string cmd =
            tool == "sox" ? "sox " + Q(path) + " -t raw -e signed-integer -b 16 -L " + Q(raw)
                          : "ffmpeg -v error -y -i " + Q(path) + " -f s16le " + Q(raw);
        if (RunShell(cmd + " 2>/dev/null") != 0) return {};
        return Load16(raw);
    }
    static std::vector<int16_t> Ours(const std::string& path, int* pChannels = nullptr) {
        LSoundSourceRef src = LWaveFile::OpenSource(path);
        EXPECT_EQ(src->ErrorState, 0) << path;
        if (pChannels) *pChannels = src->nChans;
        std::vector<int32_t> all = ReadAll(src);
        std::vector<int16_t> out(all.size());
        for (size_t i = 0; i < all.size(); ++i) out[i] = static_cast<int16_t>(all[i] >> 4);
        return out;
    }
};

int MaxDiff(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    int d = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        d = std::max(d, std::abs(a[i] - b[i]));
    return d;
}

// The best normalised correlation of b against a over lags 0..maxLag of b behind a.
double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int channels,
                   int maxLag) {
    double best = -1;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        const size_t off = static_cast<size_t>(lag) * channels;
        for (size_t i = 0; i + off < b.size() && i < a.size(); ++i) {
            ab += double(a[i]) * b[i + off];
            aa += double(a[i]) * a[i];
            bb += double(b[i + off]) * b[i + off];
        }
        if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

// Files written by the peers convert to ffmpeg's own 16-bit decoding, sample for sample (one
// step for ADPCM), with its length.
TEST_F(CodecWave, PeerFilesDecodeAsFfmpegDecodesThem) {
    struct Case {
        const char* name;
        const char* make;  // ffmpeg output options, or a sox command with IN and OUT
        int rate, channels, tolerance;
    };
    const Case cases[] = {
        {"s24", "-c:a pcm_s24le", 22050, 2, 0},
        {"s32", "-c:a pcm_s32le", 22050, 2, 0},
        {"f32", "-c:a pcm_f32le", 22050, 2, 0},
        {"f64", "-c:a pcm_f64le", 22050, 2, 0},
        {"alaw", "-c:a pcm_alaw", 22050, 2, 0},
        {"mulaw", "-c:a pcm_mulaw", 22050, 2, 0},
        {"ima", "-c:a adpcm_ima_wav", 22050, 2, 1},
        {"ms", "-c:a adpcm_ms", 22050, 2, 1},
        {"gsm", "-c:a libgsm_ms", 8000, 1, 0},
        {"g726", "-c:a adpcm_g726 -b:a 32k", 8000, 1, 1},
        {"mp3", "-c:a libmp3lame -b:a 96k", 22050, 2, 1},
        {"mp2", "-c:a mp2", 22050, 2, 1},
        {"sox_ext24", "sox IN -b 24 OUT", 22050, 2, 0},
        {"sox_six", "sox -n -r 48000 -c 6 -b 24 OUT synth 1 sine 300 sine 500", 48000, 6, 0},
        {"sox_ima", "sox IN -e ima-adpcm OUT", 8000, 1, 1},
        {"sox_ulaw", "sox IN -e u-law OUT", 8000, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = Source(c.rate, c.channels),
                          out = dir.file(std::string(c.name) + ".wav");
        std::string make = c.make;
        if (make.rfind("sox", 0) == 0) {
            make.replace(make.find("OUT"), 3, Q(out));
            if (make.find("IN") != std::string::npos) make.replace(make.find("IN"), 2, Q(in));
        } else {
            make = "ffmpeg -v error -y -i " + Q(in) + " " + make + " " + Q(out);
        }
        ASSERT_EQ(RunShell(make + " 2>/dev/null"), 0);
        int channels = 0;
        const std::vector<int16_t> ours = Ours(out, &channels), ref = Peer("ffmpeg", out);
        EXPECT_EQ(channels, c.channels);
        ASSERT_FALSE(ref.empty());
        EXPECT_EQ(ours.size(), ref.size());
        EXPECT_LE(MaxDiff(ours, ref), c.tolerance);
    }
}

// Every format the chooser offers, written by Sonvex, is read by sox (where sox reads the
// format) and by ffmpeg with the right length and the source's signal.
TEST_F(CodecWave, SonvexFilesAreReadBySoxAndFfmpeg) {
    struct Case {
        uint16_t tag;
        int rate, channels, bits;
        bool sox;   // sox reads this format in WAV
        int extra;  // frames a reader may add at the end (a padded last block)
        int lag;    // codec delay a reader may show
    };
    const Case cases[] = {
        {1, 22050, 2, 24, true, 0, 0},      {1, 22050, 2, 32, true, 0, 0},
        {3, 22050, 2, 32, true, 0, 0},      {3, 22050, 1, 64, true, 0, 0},
        {6, 22050, 2, 8, true, 0, 0},       {7, 22050, 2, 8, true, 0, 0},
        {0x11, 22050, 2, 4, true, 1017, 0}, {2, 22050, 2, 4, true, 1012, 0},
        {0x31, 8000, 1, 0, true, 320, 0},   {0x55, 22050, 2, 64, false, 3000, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tag " << c.tag << " bits " << c.bits);
        const std::vector<uint8_t> record =
            CodecSuggestRecord(c.tag, static_cast<uint32_t>(c.rate),
                               static_cast<uint16_t>(c.channels), static_cast<uint32_t>(c.bits));
        ASSERT_FALSE(record.empty());
        const std::vector<int16_t> src = Sine16(c.rate * 2, c.channels, 440, c.rate, 12000);
        const std::string out = dir.file("out.wav");
        {
            LSoundSinkRef sink =
                LWaveFile::OpenSink(out, WAVEFORMATEX::Parse(record.data(), record.size()));
            ASSERT_TRUE(sink && !sink->IsUnusable());
            WriteAll(sink, ToInternal(src), c.channels, 5000);
            EXPECT_TRUE(sink->Finish());
        }
        // The header holds the record as given and the final sizes.
        const std::vector<uint8_t> b = ReadBytes(out);
        ASSERT_GT(b.size(), 46 + record.size());
        EXPECT_EQ(GetLE32(&b[16]), record.size());
        EXPECT_TRUE(std::equal(record.begin(), record.end(), b.begin() + 20));
        EXPECT_EQ(GetLE32(&b[4]), b.size() - 8);
        EXPECT_EQ(GetLE32(&b[24 + record.size()]), b.size() - 28 - record.size());
        for (const std::string tool : {"ffmpeg", "sox", "sonvex"}) {
            if (tool == "sox" && !c.sox) continue;
            SCOPED_TRACE(tool);
            const std::vector<int16_t> got = tool == "sonvex" ? Ours(out) : Peer(tool, out);
            EXPECT_GE(got.size(), src.size());
            EXPECT_LE(got.size(), src.size() + static_cast<size_t>(c.extra) * c.channels);
            EXPECT_GT(Correlation(src, got, c.channels, c.lag), 0.99);
        }
    }
}

// Seeking and the length on real codecs: the first frame after a seek into the middle is the
// requested one; the length becomes exact at the end; a seek past the data reads silence
// with the length the data size gives.
TEST_F(CodecWave, SeekAndLengthOnRealCodecs) {
    for (const char* codec : {"adpcm_ima_wav", "adpcm_ms", "pcm_s24le", "pcm_alaw"}) {
        SCOPED_TRACE(codec);
        const std::string out = dir.file(std::string(codec) + ".wav");
        ASSERT_EQ(RunShell("ffmpeg -v error -y -i " + Q(Source(22050, 2)) + " -c:a " + codec + " " +
                           Q(out)),
                  0);
        const std::vector<int16_t> whole = Ours(out);
        const int32_t frames = static_cast<int32_t>(whole.size() / 2);
        LSoundSourceRef src = LWaveFile::OpenSource(out);
        for (int32_t at : {30001, 7, frames - 100}) {
            src->Seek(at);
            std::vector<int32_t> buf(2 * 64);
            src->Read(buf.data(), 64);
            EXPECT_EQ(src->GetPosition(), at + 64);
            for (int i = 0; i < 128 && 2 * at + i < static_cast<int32_t>(whole.size()); ++i)
                ASSERT_EQ(buf[i] >> 4, whole[2 * static_cast<size_t>(at) + i]) << at << " " << i;
        }
        src->Seek(0);
        EXPECT_EQ(ReadAll(src).size(), whole.size());
        EXPECT_EQ(src->GetLength(), frames);
        src->Seek(frames * 3);
        const int32_t estimate = src->GetLength();
        EXPECT_GE(estimate, frames - 2048);
        EXPECT_LE(estimate, frames + 2048);
        std::vector<int32_t> buf(2 * 100, 1);
        src->Read(buf.data(), 100);
        EXPECT_EQ(std::count(buf.begin(), buf.end(), 0), 200);
        EXPECT_EQ(src->GetLength(), estimate);
    }
}

// Records that are not safe to use open as corrupt or unsupported, never read past a buffer.
TEST_F(CodecWave, HostileRecordsFailCleanly) {
    auto wav = [&](std::vector<uint8_t> fmt) {
        std::vector<uint8_t> f;
        PutTag(f, "RIFF");
        PutLE32(f, 0);
        PutTag(f, "WAVE");
        PutTag(f, "fmt ");
        PutLE32(f, static_cast<uint32_t>(fmt.size()));
        f.insert(f.end(), fmt.begin(), fmt.end());
        PutTag(f, "data");
        PutLE32(f, 4096);
        for (int i = 0; i < 4096; ++i) f.push_back(static_cast<uint8_t>(i * 37));
        WriteBytes(dir.file("h.wav"), f);
        LSoundSourceRef s = LWaveFile::OpenSource(dir.file("h.wav"));
        if (s->ErrorState == 0) ReadAll(s);
        return s->ErrorState;
    };
    auto fmt = [](uint16_t tag, uint16_t ch, uint16_t align, uint16_t bits, uint16_t cb,
                  size_t extraBytes) {
        std::vector<uint8_t> v;
        for (uint32_t x : {uint32_t{tag}, uint32_t{ch}}) PutLE16(v, x);
        PutLE32(v, 22050);
        PutLE32(v, 11000);
        PutLE16(v, align);
        PutLE16(v, bits);
        PutLE16(v, cb);
        v.resize(v.size() + extraBytes, 0);
        return v;
    };
    EXPECT_EQ(wav(fmt(2, 1, 256, 4, 32, 4)), 3);       // cbSize past the chunk
    EXPECT_EQ(wav(fmt(2, 1, 256, 4, 1100, 1100)), 3);  // cbSize past 1024 bytes
    EXPECT_EQ(wav(fmt(2, 1, 0, 4, 32, 32)), 3);        // block align 0
    EXPECT_EQ(wav(fmt(0x11, 100, 4096, 4, 2, 2)), 5);  // more channels than the codecs take
    EXPECT_EQ(wav(fmt(0xFFFE, 2, 4, 16, 22, 22)), 5);  // extensible with no known sub-format
    EXPECT_EQ(wav(fmt(0xFFFE, 2, 4, 16, 10, 10)), 5);  // extensible too short
    // Garbage data in a valid record decodes to something or nothing, within bounds.
    EXPECT_EQ(wav(fmt(0x55, 2, 1, 0, 0, 0)), 0);
    EXPECT_EQ(wav(fmt(2, 2, 512, 4, 0, 0)), 0);
}

}  // namespace
}  // namespace sonvex
