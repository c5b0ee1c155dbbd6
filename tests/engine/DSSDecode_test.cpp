// DSS files through the decoder job and the "dss32" component: files built from bytes decode
// as ffmpeg decodes them, bad files get the job's message, a missing component is installed
// on demand or its installation cancelled; the job's own rules (frame sizes by kind and type,
// the stop past four times the announced length, the configuration bit, the head) run over a
// stand-in library.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "common/ScriptedHost.h"
#include "encoders/EncTestUtil.h"
#include "engine/PlatformDecoders.h"
#include "engine/SourceOpener.h"

namespace sonvex {
namespace {

using namespace test;

const char kNotDss[] =
    "Unable to open DSS file.\r\nThis means the file might not be a true DSS file or the file is "
    "corrupt.";

// Patterned bytes; the first byte of every SP frame stays below 0xFF (the end mark).
std::vector<uint8_t> SpFrames(int n) {
    std::vector<uint8_t> v;
    for (int i = 0; i < n * 41; ++i) v.push_back(static_cast<uint8_t>((i * 37 + i / 7) % 251));
    return v;
}

// LP frames of every size: 24, 20, 4 and 1 bytes, chosen by the low bits of their first byte.
std::vector<uint8_t> LpFrames(int n) {
    static const int kSize[4] = {24, 20, 4, 1};
    std::vector<uint8_t> v;
    for (int i = 0; i < n; ++i) {
        const int type = (i % 7 == 3) ? 2 : (i % 11 == 5) ? 3 : (i % 3 == 1) ? 1 : 0;
        v.push_back(static_cast<uint8_t>(((i * 29) & 0x7C) | type));
        for (int k = 1; k < kSize[type]; ++k) v.push_back(static_cast<uint8_t>(i * 13 + k * 71));
    }
    return v;
}

struct DSSDecode : ::testing::Test {
    void SetUp() override {
        SettingsWriteString("Components", "PrimaryServer", "127.0.0.1:1");
        SettingsWriteString("Components", "FallbackServer", "127.0.0.1:1");
    }
    std::string File(const std::string& name) const { return home.home() + "/" + name; }
    ScopedHome home;
    ScriptedHost host;
};

// The first file installs the component from beside the program; every file then converts to
// ffmpeg's own decoding, sample for sample, at the file's rate.
TEST_F(DSSDecode, FilesConvertAsFfmpegDecodesThem) {
    std::string registered;
    ASSERT_FALSE(GetComponentPath("dss32", registered));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int rate;
        size_t samples;
    };
    const Case cases[] = {
        {"sp.dss", DssFile(0, SpFrames(150)), 11025, 150 * 264},
        {"sp3.dss", DssFile(0, SpFrames(40), 3), 11025, 40 * 264},
        {"lp.DSS", DssFile(2, LpFrames(300)), 8000, 300 * 240},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = File(c.name);
        WriteBytes(path, c.bytes);
        LSoundSourceRef source;
        ASSERT_EQ(OpenAny(path, source), LPROCESS_OK);
        EXPECT_EQ(source->nChans, 1);
        EXPECT_EQ(source->SampleRate, c.rate);
        EXPECT_TRUE(DecodesAsFfmpeg(source, path));
        EXPECT_EQ(Load16(path + ".raw").size(), c.samples);  // the fixture holds what it should
    }
    EXPECT_TRUE(host.messages.empty());
    ASSERT_TRUE(GetComponentPath("dss32", registered));
    EXPECT_EQ(registered, ComponentsFolder() + "/dss32");
}

TEST_F(DSSDecode, FilesItCannotDecodeFailWithTheMessage) {
    const std::string text = "not a DSS file\n";
    std::vector<uint8_t> unknownCodec = DssFile(5, SpFrames(10));
    const std::vector<uint8_t> cases[] = {
        std::vector<uint8_t>(text.begin(), text.end()),
        DssFile(0, {}),     // a header without frames
        unknownCodec,       // a codec the reader does not know
        {2, 'd', 's', 's'}  // a header cut short
    };
    for (const auto& bytes : cases) {
        SCOPED_TRACE(&bytes - cases);
        const std::string path = File("bad.dss");
        WriteBytes(path, bytes);
        host.messages.clear();
        LSoundSourceRef source;
        EXPECT_EQ(OpenAny(path, source), LPROCESS_FAILED);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].szText, kNotDss);
    }
}

// Cancel while the local installer runs: no decoding, no file, no message; an installer that
// registers nothing ends in the component message.
TEST_F(DSSDecode, MissingComponentIsInstalledOrStopped) {
    TempDir folder;
    WriteScript(folder.file("install-dss32"),
                "echo $$ > '" + folder.file("pid") + "'\nexec sleep 30 >/dev/null 2>&1");
    const std::string wav = File("T.wav");
    WriteBytes(File("a.dss"), DssFile(0, SpFrames(10)));
    host.iCancelAtPump = 2;
    LDSSDecode job(File("a.dss"), wav);
    job.installOptions.szInstallerFolder = folder.path();
    EXPECT_EQ(job.Run(), LPROCESS_STOPPED);
    if (FileExists(folder.file("pid")))
        kill(std::stoi(ReadLines(folder.file("pid")).at(0)), SIGKILL);
    EXPECT_FALSE(FileExists(wav));
    EXPECT_TRUE(host.messages.empty());

    WriteScript(folder.file("install-dss32"), "exit 0");
    host.iCancelAtPump = 0;
    LDSSDecode again(File("a.dss"), wav);
    again.installOptions.szInstallerFolder = folder.path();
    EXPECT_EQ(again.Run(), LPROCESS_FAILED);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].szText.rfind(
                  "Sonvex cannot install the required install-on-demand component \"dss32\".", 0),
              0u);
}

// A stand-in library reads its behaviour from the input file ("type length frames kind
// start"), hands out frame i filled with the byte i, and refuses to start unless the
// configuration bit 0x40 is set for type 3 and clear otherwise.
const char kStandIn[] = R"(#include <stdio.h>
#include <stdint.h>
#include <string.h>
static uint32_t* config; static int type, frames, kind, start, next;
static unsigned char buf[660];
int DSSInitDecoder(int r, uint32_t* c) { config = c; *c = 0x40; return r; }
int DSSActiveFolder(const char* f, int r) { return f == 0 || r; }
int DSSActiveFile(const char* path, uint32_t* length, uint8_t* t) {
  FILE* f = fopen(path, "r"); unsigned len = 0;
  int ok = f && fscanf(f, "%d %u %d %d %d", &type, &len, &frames, &kind, &start) == 5;
  if (f) fclose(f);
  *length = len; *t = (uint8_t)type; next = 0; return !ok;
}
int DSSStartDecoding(int r) {
  return r || start || (type == 2 && (*config & 0x40)) || (type == 3 && !(*config & 0x40));
}
int DSSDecodeToPCM(const void** b, int* k) {
  *b = 0; *k = kind; if (next >= frames) return 0;
  memset(buf, next++, sizeof buf); *b = buf; return next < frames;
}
)";

TEST_F(DSSDecode, JobRulesOverAStandInLibrary) {
    const std::string lib = File("standin.so");
    WriteBytes(File("standin.c"), std::vector<uint8_t>(kStandIn, kStandIn + sizeof kStandIn - 1));
    ASSERT_EQ(RunShell("cc -shared -fPIC -o " + Q(lib) + " " + Q(File("standin.c"))), 0);
    RegisterComponent("dss32", lib);
    struct Case {
        const char* behaviour;
        int cancelAtPump, result;
        const char* message;
        uint32_t rate;
        int frames, frameBytes;
    };
    const Case cases[] = {
        // 24 ms frames against 30 ms: 5 frames make 4.0, the 6th passes it and ends decoding.
        {"1 30 100 0 0", 0, LPROCESS_OK, nullptr, 11025, 6, 528},
        // The last frame comes with "no more".
        {"2 900 10 1 0", 0, LPROCESS_OK, nullptr, 8000, 10, 480},
        {"3 900 10 1 0", 0, LPROCESS_OK, nullptr, 11025, 10, 660},
        {"1 900 10 0 1", 0, LPROCESS_FAILED, "Unable to start decoding DSS file.", 0, 0, 0},
        {"1 900 0 0 0", 0, LPROCESS_FAILED, kNotDss, 0, 0, 0},
        {"1 900 10 0 0", 3, LPROCESS_STOPPED, nullptr, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        const std::string in = File("in.dss"), wav = File("T.wav");
        const std::string text = c.behaviour;
        WriteBytes(in, std::vector<uint8_t>(text.begin(), text.end()));
        host.messages.clear();
        host.iCancelAtPump = c.cancelAtPump;
        LDSSDecode job(in, wav);
        EXPECT_EQ(job.Run(), c.result);
        ASSERT_EQ(host.messages.size(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_EQ(host.messages[0].szText, c.message);
        }
        if (c.result != LPROCESS_OK) continue;
        // The 46-byte head: mono 16-bit PCM at the type's rate, "fmt " of 18 bytes.
        std::vector<uint8_t> data;
        for (int i = 0; i < c.frames; ++i) data.insert(data.end(), c.frameBytes, uint8_t(i));
        EXPECT_EQ(ReadBytes(wav),
                  WavFile({WavFmt(1, 1, c.rate, 16, 18), Chunk("data", data, false)}));
    }
}

}  // namespace
}  // namespace sonvex
