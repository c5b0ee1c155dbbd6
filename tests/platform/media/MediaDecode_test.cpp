// Inputs no reader of ours claims go through the media decoder: files that ffmpeg writes (WMA,
// RealAudio, the audio of a video, Opus, CAF) open through the source opener with ffmpeg's
// own decoding; a text file renamed ".wma" fails with the WMA message; Cancel stops the job.
#include <gtest/gtest.h>

#include <cstring>

#include "common/ScriptedHost.h"
#include "engine/PlatformDecoders.h"
#include "engine/SourceOpener.h"
#include "formats/FormatTestUtil.h"
#include "support/ProgressDialog.h"

namespace sonvex {
namespace {

using namespace test;

std::vector<uint8_t> ToBytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

struct MediaDecode : ::testing::Test {
    ScopedHome home;
    ScriptedHost host;
    std::string File(const std::string& name) const { return home.home() + "/" + name; }
    // A file of the given seconds made by ffmpeg from two tones (and a test picture where the
    // options ask for video).
    std::string Make(const std::string& name, const std::string& options, int seconds = 3) {
        const std::string path = File(name);
        const std::string s = std::to_string(seconds);
        EXPECT_EQ(RunShell("ffmpeg -v error -y -f lavfi -i sine=f=440:r=22050:d=" + s +
                           " -f lavfi -i sine=f=1250:r=22050:d=" + s +
                           " -f lavfi -i testsrc=size=96x64:rate=5:d=" + s +
                           " -filter_complex '[0][1]amerge=inputs=2[a]' -map '[a]' " + options +
                           " " + Q(path)),
                  0);
        return path;
    }
};

TEST_F(MediaDecode, FilesConvertAsFfmpegDecodesThem) {
    struct Case {
        const char* name;
        const char* options;
        int channels;
    };
    const Case cases[] = {
        {"v1.wma", "-c:a wmav1", 2},
        {"v2.wma", "-c:a wmav2", 2},
        {"real.rm", "-ar 8000 -ac 1 -c:a real_144", 1},
        {"video.mp4", "-map 2:v -c:v mpeg4 -c:a aac", 2},
        {"video.mkv", "-map 2:v -c:v mpeg4 -c:a libvorbis", 2},
        {"song.opus", "-c:a libopus", 2},
        {"song.caf", "-c:a pcm_s24be", 2},
        {"opus.ogg", "-c:a libopus", 2},
        {"flac.ogg", "-c:a flac", 2},
        {"noext", "-f wav -c:a adpcm_ima_wav", 2},
        // Our AIFF and AU readers refuse these sample formats; the media decoder reads them.
        {"deep.aiff", "-c:a pcm_s24be", 2},
        {"float.au", "-c:a pcm_f32be", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Make(c.name, c.options);
        LSoundSourceRef source;
        ASSERT_EQ(OpenAny(path, source), LPROCESS_OK);
        EXPECT_EQ(source->nChans, c.channels);
        EXPECT_TRUE(DecodesAsFfmpeg(source, path));
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(MediaDecode, FilesWithoutAudioFailWithTheirMessage) {
    struct Case {
        const char* name;
        const char* bytes;  // the file's text, or null for a video without sound
        const char* message;
    };
    const Case cases[] = {
        {"text.wma", "not a media file\n", "Cannot open file \"%s\". It is possible"},
        {"text.xyz", "not a media file\n", "Cannot open the file \"%s\" as audio."},
        {"silent.mkv", nullptr, "Cannot open the file \"%s\" as audio."},
        {"junk.aiff", "FORM junk\n", "Cannot open the file \"%s\" because it is corrupt."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = File(c.name);
        if (c.bytes)
            WriteBytes(path, std::vector<uint8_t>(c.bytes, c.bytes + std::strlen(c.bytes)));
        else
            ASSERT_EQ(
                RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=96x64:rate=5:d=1 " + Q(path)),
                0);
        LSoundSourceRef source;
        host.messages.clear();
        EXPECT_EQ(OpenAny(path, source), LPROCESS_FAILED);
        ASSERT_EQ(host.messages.size(), 1u);
        std::string expected = c.message;
        expected.replace(expected.find("%s"), 2, path);
        EXPECT_EQ(host.messages[0].szText.rfind(expected, 0), 0u) << host.messages[0].szText;
    }
}

TEST_F(MediaDecode, CancelStopsTheJob) {
    const std::string path = Make("long.wma", "-c:a wmav2", 30);
    host.iCancelAtPump = 2;
    LSoundSourceRef source;
    EXPECT_EQ(OpenAny(path, source), LPROCESS_STOPPED);
    EXPECT_TRUE(host.messages.empty());
}

// The VoiceIt job over a stand-in of the library built here: its function's result decides,
// a missing library gets the message, a Cancel before the call stops the job.
TEST_F(MediaDecode, VoiceItJobCallsTheLibrary) {
    const std::string lib = File("libSrPumpStandIn.so");
    WriteBytes(File("standin.c"),
               ToBytes("#include <stdio.h>\n"
                       "int Sr_CvtSri2WaveFile(const char* in, const char* out) {\n"
                       "  FILE* f = fopen(out, \"w\"); if (!f) return 1;\n"
                       "  fputs(in, f); fclose(f); return in[0] == 'x';\n}\n"));
    ASSERT_EQ(RunShell("cc -shared -fPIC -o " + Q(lib) + " " + Q(File("standin.c"))), 0);
    struct Case {
        std::string library, input;
        int cancelAtPump, result;
        bool message;
    };
    const Case cases[] = {
        {lib, "/a.sri", 0, LPROCESS_OK, false},
        {lib, "x.sri", 0, LPROCESS_FAILED, false},
        {lib, "/a.sri", 1, LPROCESS_STOPPED, false},
        {File("missing.so"), "/a.sri", 0, LPROCESS_FAILED, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library + " " + c.input);
        host.messages.clear();
        host.iCancelAtPump = c.cancelAtPump;
        LVoiceItDecode job(c.input, File("out.wav"));
        job.szLibrary = c.library;
        EXPECT_EQ(job.Run(), c.result);
        EXPECT_EQ(host.messages.size(), c.message ? 1u : 0u);
        if (c.result == LPROCESS_OK) {
            EXPECT_EQ(ReadBytes(File("out.wav")), ToBytes(c.input));
        }
        if (c.message) {
            EXPECT_EQ(host.messages[0].szText.rfind("Unable to load the VoiceIt library ", 0), 0u);
        }
    }
}

}  // namespace
}  // namespace sonvex
