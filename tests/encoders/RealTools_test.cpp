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

template <typename Job>
int RunDecoder(const std::string& in, const std::string& wav) {
    Job job(in, wav);
    return job.Run();
}

// Runs a shell command with IN and OUT replaced by the quoted paths.
int RunWith(std::string command, const std::string& in, const std::string& out) {
    command.replace(command.find("IN"), 2, "'" + in + "'");
    command.replace(command.find("OUT"), 3, "'" + out + "'");
    return RunShell(command + " 2>/dev/null");
}

class RealTools : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* t : {"lame", "mpg123", "oggenc", "oggdec", "flac", "ffmpeg", "faad"})
            if (!HaveProgram(t)) GTEST_SKIP() << t << " is not installed";
        // Nothing is registered; no component server answers.
        SettingsWriteString("Components", "PrimaryServer", "127.0.0.1:1");
        SettingsWriteString("Components", "FallbackServer", "127.0.0.1:1");
    }

    // Feeds a signal into a sink in blocks of 8192 frames and closes it.
    static void Feed(LSoundSinkRef& sink, const std::vector<int16_t>& s) {
        std::vector<int32_t> in = ToInternal(s);
        const int ch = sink->nChans;
        const int frames = static_cast<int>(s.size()) / ch;
        for (int pos = 0; pos < frames; pos += 8192)
            sink->Write(in.data() + static_cast<size_t>(pos) * ch, std::min(8192, frames - pos));
        EXPECT_TRUE(sink->Finish());  // the encoder has ended: the file is complete
        sink.Reset();
    }

    static void ExpectSameContent(const std::vector<int16_t>& ref, const WavData& got,
                                  int channels) {
        ASSERT_TRUE(got.ok);
        EXPECT_GE(got.samples.size() + 2048u * channels, ref.size());
        for (int c = 0; c < channels; ++c)
            EXPECT_GT(BestCorrelation(ref, got.samples, channels, c, 4000), 0.95)
                << "channel " << c;
    }

    ScopedHome home_;
    ScriptedHost host_;
    TempDir dir_;
};

}  // namespace

// Each sink, opened after install-on-demand as the format check does, announces its rate and
// channels to the encoder; the tool's decoder reads them back (FLAC bit for bit).
TEST_F(RealTools, EncoderOutputsDecodeWithThePeers) {
    LMp3Settings low = ReadMp3Settings();
    low.bConstantBitRate = 1;
    low.uCBRBitRate = 16;
    // Mono 44100 with quality 4 within 96-128 is a combination libvorbis refuses; the file must
    // still be written.
    LOggSettings monoOgg = ReadOggSettings();
    monoOgg.uChannels = 1;
    LOggSettings abrOgg = ReadOggSettings();
    abrOgg.iSampleRate = 22050;
    abrOgg.bAverageBitRate = 1;
    abrOgg.uABRBitRate = 96;
    LAACSettings m4a = ReadAACSettings();
    m4a.bAverageBitRate = 1;
    m4a.uABRBitRate = 64;
    m4a.uChannels = 1;
    m4a.iSampleRate = 22050;
    m4a.bDisableTNS = 1;
    const char* kFlacDec = "flac -s -d -f -o OUT IN";
    const struct {
        const char* component;
        std::function<LSoundSinkRef(const std::string&)> open;
        const char* file;
        int rate, chans;
        const char* decode;
        bool exact;
    } cases[] = {
        {"mp3el",
         [](auto& f) { return LMP3EncodePipe::OpenMp3Sink(f, ReadMp3Settings(), 44100, 2); },
         "out -x $y.mp3", 44100, 2, "mpg123 -q -w OUT IN", false},
        // lame may store 16 kbit/s at a lower rate; decode back to the rate it was fed.
        {"mp3el", [&](auto& f) { return LMP3EncodePipe::OpenMp3Sink(f, low, 44100, 2); }, "low.mp3",
         22050, 1, "mpg123 -q -r 22050 -w OUT IN", false},
        {"oggenc", [&](auto& f) { return LOggEncodePipe::OpenOggSink(f, monoOgg); }, "mono.ogg",
         44100, 1, "oggdec -Q -o OUT IN", false},
        {"oggenc", [&](auto& f) { return LOggEncodePipe::OpenOggSink(f, abrOgg); }, "st.ogg", 22050,
         2, "oggdec -Q -o OUT IN", false},
        {"flacenc",
         [](auto& f) {
             return LFlacEncodePipe::OpenFlacSink(f, {8, 2, 48000});
         },
         "a b.flac", 48000, 2, kFlacDec, true},
        {"flacenc",
         [](auto& f) {
             return LFlacEncodePipe::OpenFlacSink(f, {4, 1, 8000});
         },
         "m.flac", 8000, 1, kFlacDec, true},
        {"aacenc", [](auto& f) { return LAACEncodePipe::OpenAACSink(f, ReadAACSettings()); },
         "out.aac", 44100, 2, "faad -q -o OUT IN", false},
        {"aacenc", [&](auto& f) { return LAACEncodePipe::OpenAACSink(f, m4a); }, "out.M4A", 22050,
         1, "ffmpeg -v error -y -i IN -c:a pcm_s16le OUT", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        LProcessGetComponentPath job(c.component);
        ASSERT_EQ(job.Run(), LPROCESS_OK);
        EXPECT_EQ(job.Path(), ComponentsFolder() + "/" + c.component);
        const std::string out = dir_.file(c.file), wav = dir_.file(std::string(c.file) + ".wav");
        LSoundSinkRef sink = c.open(out);
        ASSERT_TRUE(sink);
        ASSERT_EQ(sink->SampleRate, c.rate);
        ASSERT_EQ(sink->nChans, c.chans);
        std::vector<int16_t> s = Sine16(c.rate, c.chans, 440, c.rate, c.exact ? 32000 : 12000);
        if (c.exact) s[0] = 32767, s[1] = -32768;  // the extremes survive
        Feed(sink, s);
        ASSERT_EQ(RunWith(c.decode, out, wav), 0);
        WavData w = ReadWav(wav);
        EXPECT_EQ(w.rate, c.rate);
        EXPECT_EQ(w.channels, c.chans);
        if (c.exact)
            EXPECT_EQ(w.samples, s);
        else
            ExpectSameContent(s, w, c.chans);
    }
    // An M4A output is an MP4 file, whatever the case of its extension.
    std::string probe;
    RunShell("ffprobe -v error -show_entries format=format_name -of csv=p=0 '" +
                 dir_.file("out.M4A") + "'",
             &probe);
    EXPECT_NE(probe.find("mp4"), std::string::npos) << probe;
}

// The decoder jobs (installing on demand) write what the tool itself decodes: FLAC the source
// bit for bit; a mono low-rate file keeps its own rate and channel count.
TEST_F(RealTools, DecodersMatchTheToolsOwnDecoding) {
    std::vector<int16_t> s = Sine16(44100, 2, 440, 44100, 12000);
    std::vector<int16_t> m = Sine16(16000, 1, 300, 16000, 12000);
    WriteBytes(dir_.file("stereo.wav"), Wav16(44100, 2, s));
    WriteBytes(dir_.file("mono.wav"), Wav16(16000, 1, m));
    const char* kAac = "ffmpeg -v error -y -i IN -c:a aac -b:a 96k OUT";
    const char* kAacDec = "ffmpeg -v error -y -i IN -c:a pcm_s16le -f wav OUT";
    const struct {
        int (*decode)(const std::string&, const std::string&);
        const char* file;
        const char* encode;
        const char* reference;  // the tool's decoding; null: the source itself
        bool stereo;
    } cases[] = {
        {RunDecoder<LOggDecode>, "-in put $x.ogg", "oggenc -Q -o OUT IN", "oggdec -Q -o OUT IN", 1},
        {RunDecoder<LFLACDecode>, "in.flac", "flac -s -o OUT IN", nullptr, true},
        {RunDecoder<LAACDecode>, "in.aac", kAac, kAacDec, true},
        {RunDecoder<LAACDecode>, "in.m4a", kAac, kAacDec, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<int16_t>& src = c.stereo ? s : m;
        const int chans = c.stereo ? 2 : 1;
        const std::string in = dir_.file(c.file), temp = dir_.file(std::string(c.file) + ".wav");
        ASSERT_EQ(RunWith(c.encode, dir_.file(c.stereo ? "stereo.wav" : "mono.wav"), in), 0);
        host_.calls.clear();
        ASSERT_EQ(c.decode(in, temp), LPROCESS_OK);
        const auto& calls = host_.calls;
        EXPECT_NE(std::find(calls.begin(), calls.end(), "text1:" + std::string(c.file)),
                  calls.end());
        WavData got = ReadWav(temp);
        ASSERT_TRUE(got.ok);
        EXPECT_EQ(got.rate, c.stereo ? 44100 : 16000);
        EXPECT_EQ(got.channels, chans);
        if (!c.reference) {
            EXPECT_EQ(got.samples, src);
            continue;
        }
        ASSERT_EQ(RunWith(c.reference, in, dir_.file("ref.wav")), 0);
        EXPECT_EQ(got.samples, ReadWav(dir_.file("ref.wav")).samples);
        ExpectSameContent(src, got, chans);
    }
}

// ---- decoder jobs with stand-in decoders ----

class DecoderJob : public ::testing::Test {
protected:
    // Registers a decoder that notes its process id and sleeps; returns the note's path.
    std::string Hanging(const char* component) {
        WriteScript(dir_.file("dec"), "echo $$ > '" + dir_.file("pid") + "'\nexec sleep 60");
        RegisterComponent(component, dir_.file("dec"));
        return dir_.file("pid");
    }
    ScopedHome home_;
    ScriptedHost host_;
    TempDir dir_;
};

TEST_F(DecoderJob, DecoderExitStatusDecides) {
    WriteScript(dir_.file("dec"), "exit 5");
    RegisterComponent("oggdec", dir_.file("dec"));
    EXPECT_EQ(RunDecoder<LOggDecode>(dir_.file("in.ogg"), dir_.file("T.wav")), LPROCESS_FAILED);
    WriteScript(dir_.file("dec"), "exit 0");
    EXPECT_EQ(RunDecoder<LOggDecode>(dir_.file("in.ogg"), dir_.file("T.wav")), LPROCESS_OK);
}

TEST_F(DecoderJob, CancelStopsAHangingDecoderWait) {
    const std::string pidFile = Hanging("flacdec");
    host_.iCancelAtPump = 40;
    EXPECT_EQ(RunDecoder<LFLACDecode>(dir_.file("in.flac"), dir_.file("T.wav")), LPROCESS_STOPPED);
    // Cancel ends the decoder (and reaps it).
    ASSERT_TRUE(WaitUntil([&] { return FileExists(pidFile); }, 5000));
    pid_t pid = std::stoi(ReadLines(pidFile).at(0));
    EXPECT_TRUE(WaitUntil([&] { return !ProcessExists(pid); }, 5000));
}

TEST_F(DecoderJob, BudgetEndsTheWaitWithCreepingProgress) {
    const std::string pidFile = Hanging("aacdec");
    LAACDecode job(dir_.file("in.aac"), dir_.file("T.wav"));
    job.iTimeBudgetMs = 1200;  // slices of 500, 500 and 200 ms
    EXPECT_EQ(job.Run(), LPROCESS_FAILED);
    std::vector<int> progress;
    for (const auto& c : host_.calls)
        if (c.rfind("progress:", 0) == 0) progress.push_back(std::stoi(c.substr(9)));
    EXPECT_EQ(progress, (std::vector<int>{3, 3, 4}));  // 1-0.97, 1-0.97*0.99, 1-0.97*0.99^2
    if (FileExists(pidFile)) kill(std::stoi(ReadLines(pidFile).at(0)), SIGKILL);
}

// Cancel while the local installer runs: no decoder, no file, no message.
TEST_F(DecoderJob, DeclinedInstallationStartsNoDecoder) {
    TempDir folder;
    // It runs on after Cancel: it lets go of our output streams and is ended below.
    WriteScript(folder.file("install-oggdec"),
                "echo $$ > '" + folder.file("pid") + "'\nexec sleep 30 >/dev/null 2>&1");
    host_.iCancelAtPump = 2;
    std::string wav = dir_.file("T.wav");
    LOggDecode job(dir_.file("in.ogg"), wav);
    job.installOptions.szInstallerFolder = folder.path();
    EXPECT_EQ(job.Run(), LPROCESS_STOPPED);
    if (FileExists(folder.file("pid")))
        kill(std::stoi(ReadLines(folder.file("pid")).at(0)), SIGKILL);
    EXPECT_FALSE(FileExists(wav));
    EXPECT_TRUE(host_.messages.empty());
}
