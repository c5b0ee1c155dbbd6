// Choosing the stored WAV output format: the chooser and the "-wavformat" verb store the same
// "WavCodec.wff"; a choice no codec writes is refused and changes nothing.
#include <gtest/gtest.h>

#include "common/ScriptedHost.h"
#include "common/TestUtil.h"
#include "engine/OutputFormats.h"
#include "engine/WaveFormatVerb.h"
#include "formats/wav/WaveFormatDialog.h"

namespace sonvex {
namespace {

using namespace test;

constexpr char kNotAvailable[] =
    "The requested format is not available because the required CODEC is not installed on this "
    "computer.";

// Picks format, rate, channels and bits by their row in the chooser.
std::function<int(LDialog&)> Pick(int format, int rate, int channels, int bits) {
    return [=](LDialog& d) {
        d.ComboSetSel(LWaveFileFormat::IDC_FORMAT, format);
        d.Command(LWaveFileFormat::IDC_FORMAT);
        d.ComboSetSel(LWaveFileFormat::IDC_RATE, rate);
        d.ComboSetSel(LWaveFileFormat::IDC_CHANNELS, channels);
        d.ComboSetSel(LWaveFileFormat::IDC_BITS, bits);
        d.Command(LWaveFileFormat::IDC_BITS);
        return IDOK;
    };
}

TEST(WaveFormatChoice, VerbStoresWhatTheChooserStores) {
    struct Case {
        const char* verb;
        int format, rate, channels, bits;  // the chooser's rows
        const char* attributes;
    };
    const Case cases[] = {
        {"ima-adpcm,22050,2", 4, 3, 1, 0, "IMA ADPCM, 22,050 Hz, 4 Bit, Stereo, 22 kB/s"},
        {"ms-adpcm,8000,1", 5, 0, 0, 0, "MS ADPCM, 8,000 Hz, 4 Bit, Mono, 4 kB/s"},
        {"gsm,8000,1", 6, 0, 0, 0, "GSM 6.10, 8,000 Hz, Mono, 2 kB/s"},
        {"0x6,8000,2", 2, 0, 1, 0, "A-Law, 8,000 Hz, 8 Bit, Stereo, 16 kB/s"},
        {"pcm,48000,2,24", 0, 6, 1, 2, "PCM, 48,000 Hz, 24 Bit, Stereo, 288 kB/s"},
        {"float,44100,1,32", 1, 5, 0, 0, "IEEE Float, 44,100 Hz, 32 Bit, Mono, 176 kB/s"},
        {"mp3,44100,2,128", 7, 5, 1, 11, "MPEG Layer-3, 44,100 Hz, 128 kBit/s, Stereo, 16 kB/s"},
        {"pcm,8000,1", 0, 0, 0, 1, "PCM, 8,000 Hz, 16 Bit, Mono, 16 kB/s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb);
        ScopedHome home;
        ScriptedHost host;
        ASSERT_TRUE(LWaveFormatVerb(c.verb));
        const std::vector<uint8_t> byVerb = ReadBytes(StoredWaveFormatPath());
        ASSERT_EQ(byVerb.size(), 1024u);
        std::string attributes;
        host.onDialog = [&](LDialog& d) {
            const int button = Pick(c.format, c.rate, c.channels, c.bits)(d);
            attributes = d.GetText(LWaveFileFormat::IDC_ATTRIBUTES);
            return button;
        };
        ASSERT_TRUE(std::remove(StoredWaveFormatPath().c_str()) == 0);
        ASSERT_EQ(LGenSinkCheckSettings(".wav"), 1);
        EXPECT_EQ(ReadBytes(StoredWaveFormatPath()), byVerb);
        EXPECT_EQ(attributes, c.attributes);
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST(WaveFormatChoice, UnavailableChoicesChangeNothing) {
    ScopedHome home;
    ScriptedHost host;
    ASSERT_TRUE(LWaveFormatVerb("alaw,8000,1"));
    const std::vector<uint8_t> stored = ReadBytes(StoredWaveFormatPath());
    // GSM is 8000 Hz mono only; "vorbis" names no format.
    EXPECT_FALSE(LWaveFormatVerb("gsm,44100,2"));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].szText, kNotAvailable);
    EXPECT_EQ(host.messages[0].szCaption, "Format Not Available");
    EXPECT_FALSE(LWaveFormatVerb("vorbis"));
    EXPECT_EQ(host.messages.size(), 2u);
    // The chooser shows the box and opens again; a Cancel then keeps the stored record.
    int shown = 0;
    host.onDialog = [&](LDialog& d) { return ++shown == 1 ? Pick(6, 5, 1, 0)(d) : IDCANCEL; };
    EXPECT_EQ(LGenSinkCheckSettings(".wav"), 0);
    EXPECT_EQ(shown, 2);
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2].szText, kNotAvailable);
    EXPECT_EQ(ReadBytes(StoredWaveFormatPath()), stored);
}

}  // namespace
}  // namespace sonvex
