// The encoder pipe against stand-in encoders: what reaches the encoder, and how the sink
// behaves when the encoder is missing, quits or hangs.
#include "encoders/EncoderPipe.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "encoders/AacEncoder.h"
#include "encoders/EncTestUtil.h"
#include "encoders/FlacEncoder.h"
#include "encoders/Mp3Encoder.h"
#include "encoders/OggEncoder.h"

using namespace sonvex;
using namespace sonvex::test;

namespace {
LCommandLine Cmd(const std::vector<std::string>& args) {
    LCommandLine c;
    for (const auto& a : args) c.Quoted(a).Options(" ");
    return c;
}

std::vector<int16_t> AsSamples(const std::vector<uint8_t>& b) {
    std::vector<int16_t> v(b.size() / 2);
    std::memcpy(v.data(), b.data(), v.size() * 2);
    return v;
}
}  // namespace

TEST(PipeSink, ConvertsToSixteenBitsWithoutClipping) {
    EXPECT_EQ(PipeSampleTo16(0x7FFF0), 32767);
    EXPECT_EQ(PipeSampleTo16(-0x80000), -32768);
    EXPECT_EQ(PipeSampleTo16(7), 0);
    EXPECT_EQ(PipeSampleTo16(8), 1);
    EXPECT_EQ(PipeSampleTo16(-8), 0);
    EXPECT_EQ(PipeSampleTo16(-9), -1);
    EXPECT_EQ(PipeSampleTo16(0x80000), -32768);  // wraps: the limiter keeps values in range

    TempDir dir;
    std::string out = dir.file("pcm");
    LSoundSinkRef sink(new LPipe16Sink(Cmd({"/bin/sh", "-c", "cat > \"$0\"", out}), 8000, 1));
    ASSERT_FALSE(sink->IsUnusable());
    // More than eight values so both the unrolled loop and the tail run.
    std::vector<int32_t> in = {0x7FFF0, -0x80000, 7, 8, -8, -9, 16, -16, 1 << 4, 12345 << 4, 3};
    sink->Write(in.data(), static_cast<int>(in.size()));
    EXPECT_EQ(sink->sPosition, static_cast<int>(in.size()));
    sink.Reset();
    std::vector<int16_t> got = AsSamples(ReadBytes(out));
    std::vector<int16_t> want = {32767, -32768, 0, 1, 0, -1, 1, -1, 1, 12345, 0};
    EXPECT_EQ(got, want);
}

TEST(PipeSink, StereoBlockIsOneWholeWrite) {
    TempDir dir;
    std::string out = dir.file("pcm");
    LSoundSinkRef sink(new LPipe16Sink(Cmd({"/bin/sh", "-c", "cat > \"$0\"", out}), 44100, 2));
    std::vector<int16_t> s = Sine16(8192, 2, 1000, 44100, 20000);
    std::vector<int32_t> in = ToInternal(s);
    sink->Write(in.data(), 8192);
    auto* p = static_cast<LPipe16Sink*>(sink.get());
    EXPECT_TRUE(p->LastWriteOk());
    sink.Reset();
    std::vector<uint8_t> bytes = ReadBytes(out);
    EXPECT_EQ(bytes.size(), 32768u);
    EXPECT_EQ(AsSamples(bytes), s);
}

TEST(PipeSink, MissingEncoderGivesAnUnusableSink) {
    LSoundSinkRef sink(new LPipe16Sink(Cmd({"/nonexistent/enc", "-x"}), 44100, 2));
    EXPECT_TRUE(sink->IsUnusable());
    auto* p = static_cast<LPipe16Sink*>(sink.get());
    EXPECT_EQ(p->EncoderPid(), -1);
    std::vector<int32_t> buf(200, 0);
    sink->Write(buf.data(), 100);
    EXPECT_FALSE(p->LastWriteOk());
    sink.Reset();  // returns at once: nothing to wait for

    LSoundSinkRef zero(new LPipe16Sink(Cmd({"/bin/true"}), 44100, 0));
    EXPECT_EQ(zero->nChans, 1);
    EXPECT_TRUE(zero->IsUnusable());
}

TEST(PipeSink, EncoderThatQuitsMakesWritesFailWithoutSigpipe) {
    LSoundSinkRef sink(new LPipe16Sink(Cmd({"/bin/sh", "-c", "exit 3"}), 44100, 2));
    ASSERT_FALSE(sink->IsUnusable());
    auto* p = static_cast<LPipe16Sink*>(sink.get());
    std::vector<int32_t> buf(2 * 8192, 0x1230);
    // Keep writing until the pipe reports the reader gone; the test process must survive.
    bool failed = false;
    for (int i = 0; i < 2000 && !failed; ++i) {
        sink->Write(buf.data(), 8192);
        failed = !p->LastWriteOk();
    }
    EXPECT_TRUE(failed);
    sink.Reset();
}

TEST(PipeSink, HangingEncoderIsLeftRunningAndReapedLater) {
    TempDir dir;
    std::string script = dir.file("hang");
    // Ignores end of input and runs on until killed.
    WriteScript(script, "exec sleep 60 <&-");
    LSoundSinkRef sink(new LPipe16Sink(Cmd({script}), 44100, 1));
    ASSERT_FALSE(sink->IsUnusable());
    pid_t pid = static_cast<LPipe16Sink*>(sink.get())->EncoderPid();
    ASSERT_GT(pid, 0);
    static_cast<LPipe16Sink*>(sink.get())->SetCloseWaitMs(200);
    sink.Reset();  // waits the (shortened) budget, then gives up
    EXPECT_TRUE(ProcessExists(pid));
    EXPECT_EQ(kill(pid, 0), 0);
    kill(pid, SIGKILL);
    EXPECT_TRUE(WaitUntil([&] { return !ProcessExists(pid); }, 10000)) << "left a zombie";
}

TEST(PipeSink, OutputNamesReachTheEncoderIntact) {
    ScopedHome home;
    TempDir dir;
    std::string enc = dir.file("fake enc");
    std::string argsFile = dir.file("args");
    std::string pcmFile = dir.file("pcm");
    WriteScript(enc, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + argsFile +
                         "\"\ncat > \"" + pcmFile + "\"");
    RegisterComponent("mp3el", enc);
    RegisterComponent("oggenc", enc);
    RegisterComponent("flacenc", enc);
    RegisterComponent("aacenc", enc);
    const std::string nasty = dir.file("-a \"quoted\" $HOME `id` b.out");

    struct Case {
        std::function<LSoundSinkRef()> open;
        int rate, chans;
        char kind;  // how the command line announces rate and channels
    };
    LMp3Settings mp3;
    mp3.bConstantBitRate = 1;
    mp3.uCBRBitRate = 16;  // 22050 Hz mono
    LOggSettings ogg;
    ogg.bAverageBitRate = 1;
    ogg.uABRBitRate = 32;  // 32000 Hz mono
    LFlacSettings flac;
    flac.uChannels = 2;
    flac.iSampleRate = 48000;
    LAACSettings aac;
    aac.bAverageBitRate = 1;
    aac.uABRBitRate = 64;
    aac.uChannels = 1;
    aac.iSampleRate = 8000;  // 11025 Hz
    const Case cases[] = {
        {[&] { return LMP3EncodePipe::OpenMp3Sink(nasty, mp3, 44100, 2); }, 22050, 1, 'm'},
        {[&] { return LOggEncodePipe::OpenOggSink(nasty, ogg); }, 32000, 1, 'o'},
        {[&] { return LFlacEncodePipe::OpenFlacSink(nasty, flac); }, 48000, 2, 'f'},
        {[&] { return LAACEncodePipe::OpenAACSink(nasty, aac); }, 11025, 1, 'o'},
    };
    for (const Case& c : cases) {
        LSoundSinkRef sink = c.open();
        ASSERT_TRUE(sink);
        ASSERT_FALSE(sink->IsUnusable());
        EXPECT_EQ(sink->SampleRate, c.rate);
        EXPECT_EQ(sink->nChans, c.chans);
        const std::vector<std::string> args =
            static_cast<LPipe16Sink*>(sink.get())->CommandLine().Args();
        std::vector<int32_t> buf(static_cast<size_t>(1000) * c.chans, 0x100);
        sink->Write(buf.data(), 1000);
        sink.Reset();
        std::vector<std::string> got = ReadLines(argsFile);
        EXPECT_EQ(got, std::vector<std::string>(args.begin() + 1, args.end()));
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), nasty);
        EXPECT_EQ(ReadBytes(pcmFile).size(), static_cast<size_t>(1000 * c.chans * 2));
        // The rate and channels announced on the command line are the sink's.
        std::string joined;
        for (const auto& a : got) joined += a + " ";
        if (c.kind == 'm') {
            EXPECT_NE(joined.find("-m m "), std::string::npos);
            EXPECT_NE(joined.find("-s 22.050 "), std::string::npos);
        } else if (c.kind == 'f') {
            EXPECT_NE(joined.find("--channels=2 "), std::string::npos);
            EXPECT_NE(joined.find("--sample-rate=48000 "), std::string::npos);
        } else {
            EXPECT_NE(joined.find("-C " + std::to_string(c.chans) + " "), std::string::npos);
            EXPECT_NE(joined.find("-R " + std::to_string(c.rate) + " "), std::string::npos);
        }
    }
}
