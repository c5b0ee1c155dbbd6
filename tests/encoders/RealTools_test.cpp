// The shipped components with the real Debian tools: install-on-demand registers the
// adapters offline, the encoder sinks write files that the tools' decoders read back, and the
// decoder jobs turn the tools' files into the same WAV the tools themselves produce.
#include <gtest/gtest.h>
#include <signal.h>

#include "common/ScriptedHost.h"
#include "encoders/AacEncoder.h"
#include "encoders/EncTestUtil.h"
#include "encoders/EncoderPipe.h"
#include "encoders/FlacEncoder.h"
#include "encoders/Mp3Encoder.h"
#include "encoders/OggEncoder.h"
#include "engine/HelperDecoders.h"

using namespace sonvex;
using namespace sonvex::test;

namespace {

bool HaveTools() {
    for (const char* t : {"lame", "mpg123", "oggenc", "oggdec", "flac", "ffmpeg", "faad"})
        if (!HaveProgram(t)) return false;
    return true;
}

class RealTools : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTools())
            GTEST_SKIP() << "lame, mpg123, vorbis-tools, flac, ffmpeg or faad missing";
        // Nothing is registered; no component server answers.
        SettingsWriteString("Components", "PrimaryServer", "127.0.0.1:1");
        SettingsWriteString("Components", "FallbackServer", "127.0.0.1:1");
    }

    // Installs on demand, as the format check does before opening a sink.
    void Install(const char* name) {
        LProcessGetComponentPath job(name);
        ASSERT_EQ(job.Run(), LPROCESS_OK) << name;
        EXPECT_EQ(job.Path(), ComponentsFolder() + "/" + name);
    }

    // Feeds a signal into a sink in blocks of 8192 frames and closes it.
    static void Feed(LSoundSinkRef& sink, const std::vector<int16_t>& s) {
        std::vector<int32_t> in = ToInternal(s);
        const int ch = sink->nChans;
        const int frames = static_cast<int>(s.size()) / ch;
        for (int pos = 0; pos < frames; pos += 8192) {
            int n = std::min(8192, frames - pos);
            sink->Write(in.data() + static_cast<size_t>(pos) * ch, n);
        }
        EXPECT_TRUE(sink->Finish());  // the encoder has ended: the file is complete
        sink.Reset();
    }

    static void ExpectSameContent(const std::vector<int16_t>& ref, const WavData& got, int channels,
                                  int maxLag = 4000) {
        ASSERT_TRUE(got.ok);
        EXPECT_GE(got.samples.size() + 2048u * channels, ref.size());
        for (int c = 0; c < channels; ++c)
            EXPECT_GT(BestCorrelation(ref, got.samples, channels, c, maxLag), 0.95)
                << "channel " << c;
    }

    ScopedHome home_;
    ScriptedHost host_;
    TempDir dir_;
};

}  // namespace

TEST_F(RealTools, Mp3OutputDecodesWithMpg123) {
    Install("mp3el");
    std::string out = dir_.file("out -x $y.mp3");
    LSoundSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out, ReadMp3Settings(), 44100, 2);
    ASSERT_TRUE(sink);
    ASSERT_FALSE(sink->IsUnusable());
    ASSERT_EQ(sink->SampleRate, 44100);
    ASSERT_EQ(sink->nChans, 2);
    std::vector<int16_t> s = Sine16(44100, 2, 440, 44100, 12000);
    Feed(sink, s);
    ASSERT_EQ(RunShell("mpg123 -q -w '" + dir_.file("dec.wav") + "' '" + out + "'"), 0);
    WavData w = ReadWav(dir_.file("dec.wav"));
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.channels, 2);
    ExpectSameContent(s, w, 2);

    // Low CBR: 22050 Hz mono, as announced to the encoder.
    LMp3Settings low = ReadMp3Settings();
    low.bConstantBitRate = 1;
    low.uCBRBitRate = 16;
    sink = LMP3EncodePipe::OpenMp3Sink(dir_.file("low.mp3"), low, 44100, 2);
    ASSERT_EQ(sink->SampleRate, 22050);
    ASSERT_EQ(sink->nChans, 1);
    std::vector<int16_t> m = Sine16(22050, 1, 300, 22050, 12000);
    Feed(sink, m);
    // lame itself may store 16 kbit/s at a lower rate; decode back to the rate it was fed.
    ASSERT_EQ(RunShell("mpg123 -q -r 22050 -w '" + dir_.file("low.wav") + "' '" +
                       dir_.file("low.mp3") + "'"),
              0);
    WavData wl = ReadWav(dir_.file("low.wav"));
    EXPECT_EQ(wl.rate, 22050);
    EXPECT_EQ(wl.channels, 1);
    ExpectSameContent(m, wl, 1);
}

TEST_F(RealTools, OggOutputDecodesWithOggdecEvenWithRefusedLimits) {
    Install("oggenc");
    // Mono 44100 with quality 4 within 96-128 is a combination libvorbis refuses; the file
    // must still be written.
    std::string out = dir_.file("mono.ogg");
    LOggSettings mono = ReadOggSettings();
    mono.uChannels = 1;
    LSoundSinkRef sink = LOggEncodePipe::OpenOggSink(out, mono);
    ASSERT_TRUE(sink);
    ASSERT_EQ(sink->SampleRate, 44100);
    ASSERT_EQ(sink->nChans, 1);
    std::vector<int16_t> m = Sine16(44100, 1, 500, 44100, 12000);
    Feed(sink, m);
    ASSERT_EQ(RunShell("oggdec -Q -o '" + dir_.file("mono.wav") + "' '" + out + "' 2>/dev/null"),
              0);
    WavData w = ReadWav(dir_.file("mono.wav"));
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.channels, 1);
    ExpectSameContent(m, w, 1);

    LOggSettings st;
    st.uChannels = 2;
    st.iSampleRate = 22050;
    st.bAverageBitRate = 1;
    st.uABRBitRate = 96;
    sink = LOggEncodePipe::OpenOggSink(dir_.file("st.ogg"), st);
    ASSERT_EQ(sink->SampleRate, 22050);
    ASSERT_EQ(sink->nChans, 2);
    std::vector<int16_t> s = Sine16(22050, 2, 300, 22050, 12000);
    Feed(sink, s);
    ASSERT_EQ(RunShell("oggdec -Q -o '" + dir_.file("st.wav") + "' '" + dir_.file("st.ogg") + "'"),
              0);
    WavData ws = ReadWav(dir_.file("st.wav"));
    EXPECT_EQ(ws.rate, 22050);
    EXPECT_EQ(ws.channels, 2);
    ExpectSameContent(s, ws, 2);
}

TEST_F(RealTools, FlacOutputIsBitExact) {
    Install("flacenc");
    LFlacSettings f;
    f.uChannels = 2;
    f.iSampleRate = 48000;
    f.uCompression = 8;
    std::string out = dir_.file("a b.flac");
    LSoundSinkRef sink = LFlacEncodePipe::OpenFlacSink(out, f);
    ASSERT_TRUE(sink);
    std::vector<int16_t> s = Sine16(30000, 2, 1000, 48000, 32000);
    s[0] = 32767;
    s[1] = -32768;
    Feed(sink, s);
    ASSERT_EQ(RunShell("flac -s -d -f -o '" + dir_.file("dec.wav") + "' '" + out + "'"), 0);
    WavData w = ReadWav(dir_.file("dec.wav"));
    EXPECT_EQ(w.rate, 48000);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.samples, s);

    f.uChannels = 1;
    f.iSampleRate = 8000;
    sink = LFlacEncodePipe::OpenFlacSink(dir_.file("m.flac"), f);
    std::vector<int16_t> m = Sine16(8000, 1, 200, 8000, 20000);
    Feed(sink, m);
    ASSERT_EQ(
        RunShell("flac -s -d -f -o '" + dir_.file("m.wav") + "' '" + dir_.file("m.flac") + "'"), 0);
    WavData wm = ReadWav(dir_.file("m.wav"));
    EXPECT_EQ(wm.rate, 8000);
    EXPECT_EQ(wm.channels, 1);
    EXPECT_EQ(wm.samples, m);
}

TEST_F(RealTools, AacAndM4aOutputDecodeWithFaadAndFfmpeg) {
    Install("aacenc");
    std::string aac = dir_.file("out.aac");
    LSoundSinkRef sink = LAACEncodePipe::OpenAACSink(aac, ReadAACSettings());
    ASSERT_TRUE(sink);
    ASSERT_EQ(sink->SampleRate, 44100);
    ASSERT_EQ(sink->nChans, 2);
    std::vector<int16_t> s = Sine16(44100, 2, 440, 44100, 12000);
    Feed(sink, s);
    ASSERT_EQ(RunShell("faad -q -o '" + dir_.file("aac.wav") + "' '" + aac + "' 2>/dev/null"), 0);
    WavData w = ReadWav(dir_.file("aac.wav"));
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.channels, 2);
    ExpectSameContent(s, w, 2);

    LAACSettings m;
    m.bAverageBitRate = 1;
    m.uABRBitRate = 64;
    m.uChannels = 1;
    m.iSampleRate = 22050;
    m.bDisableTNS = 1;
    std::string m4a = dir_.file("out.M4A");
    sink = LAACEncodePipe::OpenAACSink(m4a, m);
    ASSERT_EQ(sink->SampleRate, 22050);
    ASSERT_EQ(sink->nChans, 1);
    std::vector<int16_t> mono = Sine16(22050, 1, 300, 22050, 12000);
    Feed(sink, mono);
    std::string probe;
    RunShell("ffprobe -v error -show_entries format=format_name -of csv=p=0 '" + m4a + "'", &probe);
    EXPECT_NE(probe.find("mp4"), std::string::npos) << probe;
    ASSERT_EQ(RunShell("ffmpeg -v error -y -i '" + m4a + "' -c:a pcm_s16le '" +
                       dir_.file("m4a.wav") + "'"),
              0);
    WavData wm = ReadWav(dir_.file("m4a.wav"));
    EXPECT_EQ(wm.rate, 22050);
    EXPECT_EQ(wm.channels, 1);
    ExpectSameContent(mono, wm, 1);
}

// ---- decoders ----

namespace {
template <typename Job>
int RunDecoder(const std::string& in, const std::string& wav) {
    Job job(in, wav);
    return job.Run();
}
}  // namespace

TEST_F(RealTools, DecodersMatchTheToolsOwnDecoding) {
    std::vector<int16_t> s = Sine16(44100, 2, 440, 44100, 12000);
    std::string src = dir_.file("src.wav");
    WriteWav(src, s, 44100, 2);
    const std::string q = "' '";

    // Ogg, from oggenc, against oggdec's own output.
    std::string ogg = dir_.file("-in put $x.ogg");
    ASSERT_EQ(RunShell("oggenc -Q -o '" + ogg + q + src + "'"), 0);
    ASSERT_EQ(RunDecoder<LOggDecode>(ogg, dir_.file("Temp1.wav")), LPROCESS_OK);
    ASSERT_EQ(RunShell("oggdec -Q -o '" + dir_.file("ref1.wav") + q + ogg + "'"), 0);
    WavData a = ReadWav(dir_.file("Temp1.wav")), b = ReadWav(dir_.file("ref1.wav"));
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.rate, 44100);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.samples, b.samples);

    // FLAC: bit-exact with the source.
    std::string flac = dir_.file("in.flac");
    ASSERT_EQ(RunShell("flac -s -o '" + flac + q + src + "'"), 0);
    ASSERT_EQ(RunDecoder<LFLACDecode>(flac, dir_.file("Temp2.wav")), LPROCESS_OK);
    WavData f = ReadWav(dir_.file("Temp2.wav"));
    EXPECT_EQ(f.rate, 44100);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samples, s);

    // AAC (ADTS) and M4A from ffmpeg, against ffmpeg's decoding; a mono low-rate file keeps its
    // own rate and channel count.
    std::vector<int16_t> m = Sine16(16000, 1, 300, 16000, 12000);
    std::string msrc = dir_.file("mono.wav");
    WriteWav(msrc, m, 16000, 1);
    struct Case {
        std::string file, src;
        int rate, channels;
    };
    for (const Case& c :
         {Case{dir_.file("in.aac"), src, 44100, 2}, Case{dir_.file("in.m4a"), msrc, 16000, 1}}) {
        ASSERT_EQ(
            RunShell("ffmpeg -v error -y -i '" + c.src + "' -c:a aac -b:a 96k '" + c.file + "'"),
            0);
        std::string temp = dir_.file("Temp3.wav");
        ASSERT_EQ(RunDecoder<LAACDecode>(c.file, temp), LPROCESS_OK);
        ASSERT_EQ(RunShell("ffmpeg -v error -y -i '" + c.file + "' -c:a pcm_s16le -f wav '" +
                           dir_.file("ref3.wav") + "'"),
                  0);
        WavData x = ReadWav(temp), y = ReadWav(dir_.file("ref3.wav"));
        ASSERT_TRUE(x.ok) << c.file;
        EXPECT_EQ(x.rate, c.rate);
        EXPECT_EQ(x.channels, c.channels);
        EXPECT_EQ(x.samples, y.samples);
        ExpectSameContent(c.channels == 2 ? s : m, x, c.channels);
    }
    // The status lines of the last job.
    auto has = [&](const std::string& t) {
        return std::find(host_.calls.begin(), host_.calls.end(), t) != host_.calls.end();
    };
    EXPECT_TRUE(has("open:Loading AAC file"));
    EXPECT_TRUE(has("text0:Decoding AAC file"));
    EXPECT_TRUE(has("text1:in.m4a"));
    EXPECT_TRUE(has("text0:Decoding FLAC file"));
    EXPECT_TRUE(has("text1:-in put $x.ogg"));
}

// ---- decoder jobs with stand-in decoders ----

class DecoderJob : public ::testing::Test {
protected:
    ScopedHome home_;
    ScriptedHost host_;
    TempDir dir_;
};

TEST_F(DecoderJob, DecoderExitStatusDecides) {
    WriteScript(dir_.file("dec"), "exit 5");
    RegisterComponent("oggdec", dir_.file("dec"));
    EXPECT_EQ(RunDecoder<LOggDecode>(dir_.file("in.ogg"), dir_.file("Temp1.wav")), LPROCESS_FAILED);
    WriteScript(dir_.file("dec"), "exit 0");
    EXPECT_EQ(RunDecoder<LOggDecode>(dir_.file("in.ogg"), dir_.file("Temp1.wav")), LPROCESS_OK);
}

TEST_F(DecoderJob, CancelStopsAHangingDecoderWait) {
    std::string pidFile = dir_.file("pid");
    WriteScript(dir_.file("dec"), "echo $$ > '" + pidFile + "'\nexec sleep 60");
    RegisterComponent("flacdec", dir_.file("dec"));
    host_.iCancelAtPump = 40;
    EXPECT_EQ(RunDecoder<LFLACDecode>(dir_.file("in.flac"), dir_.file("Temp1.wav")),
              LPROCESS_STOPPED);
    // Cancel ends the decoder (and reaps it).
    ASSERT_TRUE(WaitUntil([&] { return FileExists(pidFile); }, 5000));
    pid_t pid = std::stoi(ReadLines(pidFile).at(0));
    EXPECT_TRUE(WaitUntil([&] { return !ProcessExists(pid); }, 5000));
}

TEST_F(DecoderJob, BudgetEndsTheWaitWithCreepingProgress) {
    std::string pidFile = dir_.file("pid");
    WriteScript(dir_.file("dec"), "echo $$ > '" + pidFile + "'\nexec sleep 60");
    RegisterComponent("aacdec", dir_.file("dec"));
    LAACDecode job(dir_.file("in.aac"), dir_.file("Temp1.wav"));
    job.iTimeBudgetMs = 1200;  // slices of 500, 500 and 200 ms
    EXPECT_EQ(job.Run(), LPROCESS_FAILED);
    std::vector<int> progress;
    for (const auto& c : host_.calls)
        if (c.rfind("progress:", 0) == 0) progress.push_back(std::stoi(c.substr(9)));
    EXPECT_EQ(progress, (std::vector<int>{3, 3, 4}));  // 1-0.97, 1-0.97*0.99, 1-0.97*0.99^2
    if (FileExists(pidFile)) kill(std::stoi(ReadLines(pidFile).at(0)), SIGKILL);
}

TEST_F(DecoderJob, DeclinedInstallationStartsNoDecoder) {
    TempDir folder;
    // It runs on after Cancel: it lets go of our output streams and is ended below.
    WriteScript(folder.file("install-oggdec"),
                "echo $$ > '" + folder.file("pid") + "'\nexec sleep 30 >/dev/null 2>&1");
    host_.iCancelAtPump = 2;
    std::string wav = dir_.file("Temp1.wav");
    LOggDecode job(dir_.file("in.ogg"), wav);
    job.installOptions.szInstallerFolder = folder.path();
    EXPECT_EQ(job.Run(), LPROCESS_STOPPED);
    if (FileExists(folder.file("pid")))
        kill(std::stoi(ReadLines(folder.file("pid")).at(0)), SIGKILL);
    EXPECT_FALSE(FileExists(wav));
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(DecoderJob, CommandLinesAreTheDesignedOnes) {
    EXPECT_EQ(LAACDecode::CommandLine("/c/aacdec", "/t/Temp1.wav", "/m/a b.m4a").Text(),
              "\"/c/aacdec\" -d  -o \"/t/Temp1.wav\" \"/m/a b.m4a\"");
    EXPECT_EQ(LAACDecode::CommandLine("/c/aacdec", "/t/Temp1.wav", "/m/a b.m4a").Args(),
              (std::vector<std::string>{"/c/aacdec", "-d", "-o", "/t/Temp1.wav", "/m/a b.m4a"}));
    EXPECT_EQ(LOggDecode::CommandLine("/c/oggdec", "/t/T.wav", "/m/x.ogg").Text(),
              "\"/c/oggdec\" -o \"/t/T.wav\" \"/m/x.ogg\"");
    EXPECT_EQ(LFLACDecode::CommandLine("/c/flacdec", "/t/T.wav", "/m/x.flac").Args(),
              (std::vector<std::string>{"/c/flacdec", "-d", "-o", "/t/T.wav", "/m/x.flac"}));
}
