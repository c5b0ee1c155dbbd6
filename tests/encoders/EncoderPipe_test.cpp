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

LPipe16Sink* Pipe(LSoundSinkRef& sink) {
    return static_cast<LPipe16Sink*>(sink.get());
}
}  // namespace

// A whole stereo block, then values that round to 16 bits (wrapping above the top: the limiter
// keeps values in range); more than eight values run both the unrolled loop and the tail.
TEST(PipeSink, WritesSixteenBitSamples) {
    TempDir dir;
    LSoundSinkRef sink(
        new LPipe16Sink(Cmd({"/bin/sh", "-c", "cat > \"$0\"", dir.file("pcm")}), 44100, 2));
    ASSERT_FALSE(sink->IsUnusable());
    std::vector<int16_t> want = Sine16(8192, 2, 1000, 44100, 20000);
    std::vector<int32_t> in = ToInternal(want);
    sink->Write(in.data(), 8192);
    EXPECT_TRUE(Pipe(sink)->LastWriteOk());
    const std::vector<int32_t> edge = {0x7FFF0, -0x80000, 7,   8,       -8,
                                       -9,      16,       -16, 0x80000, 12345 << 4};
    sink->Write(edge.data(), 5);
    EXPECT_EQ(sink->sPosition, 8197);
    sink.Reset();
    for (int16_t v : {32767, -32768, 0, 1, 0, -1, 1, -1, -32768, 12345}) want.push_back(v);
    std::vector<uint8_t> bytes = ReadBytes(dir.file("pcm"));
    std::vector<int16_t> got(bytes.size() / 2);
    std::memcpy(got.data(), bytes.data(), got.size() * 2);
    EXPECT_EQ(got, want);
}

TEST(PipeSink, MissingEncoderGivesAnUnusableSink) {
    LSoundSinkRef sink(new LPipe16Sink(Cmd({"/nonexistent/enc", "-x"}), 44100, 2));
    EXPECT_TRUE(sink->IsUnusable());
    EXPECT_EQ(Pipe(sink)->EncoderPid(), -1);
    std::vector<int32_t> buf(200, 0);
    sink->Write(buf.data(), 100);
    EXPECT_FALSE(Pipe(sink)->LastWriteOk());
    sink.Reset();  // returns at once: nothing to wait for

    LSoundSinkRef zero(new LPipe16Sink(Cmd({"/bin/true"}), 44100, 0));
    EXPECT_EQ(zero->nChans, 1);
    EXPECT_TRUE(zero->IsUnusable());
}

TEST(PipeSink, EncoderThatQuitsMakesWritesFailWithoutSigpipe) {
    LSoundSinkRef sink(new LPipe16Sink(Cmd({"/bin/sh", "-c", "exit 3"}), 44100, 2));
    ASSERT_FALSE(sink->IsUnusable());
    std::vector<int32_t> buf(2 * 8192, 0x1230);
    // Keep writing until the pipe reports the reader gone; the test process must survive.
    bool failed = false;
    for (int i = 0; i < 2000 && !failed; ++i) {
        sink->Write(buf.data(), 8192);
        failed = !Pipe(sink)->LastWriteOk();
    }
    EXPECT_TRUE(failed);
}

TEST(PipeSink, HangingEncoderIsLeftRunningAndReapedLater) {
    TempDir dir;
    WriteScript(dir.file("hang"), "exec sleep 60 <&-");  // ignores end of input
    LSoundSinkRef sink(new LPipe16Sink(Cmd({dir.file("hang")}), 44100, 1));
    ASSERT_FALSE(sink->IsUnusable());
    pid_t pid = Pipe(sink)->EncoderPid();
    ASSERT_GT(pid, 0);
    Pipe(sink)->SetCloseWaitMs(200);
    sink.Reset();  // waits the (shortened) budget, then gives up
    EXPECT_EQ(kill(pid, 0), 0);
    kill(pid, SIGKILL);
    EXPECT_TRUE(WaitUntil([&] { return !ProcessExists(pid); }, 10000)) << "left a zombie";
}

// Each opener starts its registered component with the sink's own argument vector; the output
// name arrives as one argument whatever it holds.
TEST(PipeSink, OutputNamesReachTheEncoderIntact) {
    ScopedHome home;
    TempDir dir;
    const std::string enc = dir.file("fake enc"), argsFile = dir.file("args");
    WriteScript(enc, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + argsFile +
                         "\"\ncat > \"" + dir.file("pcm") + "\"");
    for (const char* name : {"mp3el", "oggenc", "flacenc", "aacenc"}) RegisterComponent(name, enc);
    const std::string nasty = dir.file("-a \"quoted\" $HOME `id` b.out");
    LMp3Settings mp3;
    mp3.bConstantBitRate = 1;
    mp3.uCBRBitRate = 16;
    LAACSettings aac;
    aac.iSampleRate = 8000;
    const struct {
        std::function<LSoundSinkRef()> open;
        int rate, chans;
    } cases[] = {
        {[&] { return LMP3EncodePipe::OpenMp3Sink(nasty, mp3, 44100, 2); }, 22050, 1},
        {[&] { return LOggEncodePipe::OpenOggSink(nasty, LOggSettings{}); }, 44100, 2},
        {[&] {
             return LFlacEncodePipe::OpenFlacSink(nasty, LFlacSettings{4, 1, 48000});
         },
         48000, 1},
        {[&] { return LAACEncodePipe::OpenAACSink(nasty, aac); }, 8000, 2},
    };
    for (const auto& c : cases) {
        LSoundSinkRef sink = c.open();
        ASSERT_TRUE(sink);
        ASSERT_FALSE(sink->IsUnusable());
        EXPECT_EQ(sink->SampleRate, c.rate);
        EXPECT_EQ(sink->nChans, c.chans);
        const std::vector<std::string> args = Pipe(sink)->CommandLine().Args();
        std::vector<int32_t> buf(static_cast<size_t>(1000) * c.chans, 0x100);
        sink->Write(buf.data(), 1000);
        sink.Reset();
        EXPECT_EQ(ReadLines(argsFile), std::vector<std::string>(args.begin() + 1, args.end()));
        EXPECT_EQ(args.back(), nasty);
        EXPECT_EQ(ReadBytes(dir.file("pcm")).size(), static_cast<size_t>(1000 * c.chans * 2));
    }
}
