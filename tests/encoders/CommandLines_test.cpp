// What the encoder openers decide from stored options (argument vectors, rates, channels), the
// stored defaults and fix-ups, and the options dialogs.
#include <gtest/gtest.h>

#include <tuple>

#include "common/ScriptedHost.h"
#include "encoders/AacEncoder.h"
#include "encoders/EncTestUtil.h"
#include "encoders/FlacEncoder.h"
#include "encoders/Mp3Encoder.h"
#include "encoders/OggEncoder.h"
#include "engine/HelperDecoders.h"
#include "support/Settings.h"

using namespace sonvex;
using namespace sonvex::test;
using V = std::vector<std::string>;

namespace {
const std::string C = "/opt/c d/enc";
const std::string O = "/o/-a b.out";

LMp3Settings Cbr(int rate, bool hq = true) {
    LMp3Settings s;
    s.bConstantBitRate = 1;
    s.uCBRBitRate = static_cast<uint16_t>(rate);
    s.bHighQuality = hq;
    return s;
}

LMp3Settings Vbr(int lo, int hi, int q = 4) {
    LMp3Settings s;
    s.uVBRMinBitRate = static_cast<uint16_t>(lo);
    s.uVBRMaxBitRate = static_cast<uint16_t>(hi);
    s.uVBRQuality = static_cast<uint8_t>(q);
    return s;
}

// Average bit rate (0: VBR with the given maximum, 0 keeping the default), rate, channels.
LOggSettings Ogg(int abr, int vbrMax, int rate, int chans) {
    LOggSettings s;
    s.bAverageBitRate = abr > 0;
    if (abr > 0) s.uABRBitRate = static_cast<uint16_t>(abr);
    if (vbrMax > 0) s.uVBRMaxBitRate = static_cast<uint16_t>(vbrMax);
    s.iSampleRate = rate;
    s.uChannels = static_cast<uint8_t>(chans);
    return s;
}

LAACSettings Aac(int abr, int rate, int chans) {
    LAACSettings s;
    s.bAverageBitRate = abr > 0;
    if (abr > 0) s.uABRBitRate = static_cast<uint16_t>(abr);
    s.iSampleRate = rate;
    s.uChannels = static_cast<uint8_t>(chans);
    return s;
}

// The plan has this rate, channel count and (when given) argument vector.
::testing::AssertionResult Is(const LEncoderPlan& p, int rate, int chans, const V& args = {}) {
    if (p.rate == rate && p.nChans == chans && (args.empty() || p.commandLine.Args() == args))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rate " << p.rate << ", " << p.nChans << " channels, "
                                         << ::testing::PrintToString(p.commandLine.Args());
}

auto Fields(const LMp3Settings& s) {
    return std::tuple<int, int, int, int, int, int, int, int>(
        s.bConstantBitRate, s.uCBRBitRate, s.bHighQuality, s.uVBRMinBitRate, s.uVBRMaxBitRate,
        s.uVBRQuality, s.bErrorProtection, s.uChannelMode);
}
auto Fields(const LOggSettings& s) {
    return std::tuple<int, int, int, int, int, int, int>(s.bAverageBitRate, s.uABRBitRate,
                                                         s.uVBRMinBitRate, s.uVBRMaxBitRate,
                                                         s.uVBRQuality, s.uChannels, s.iSampleRate);
}
auto Fields(const LFlacSettings& s) {
    return std::tuple<int, int, int>(s.uCompression, s.uChannels, s.iSampleRate);
}
auto Fields(const LAACSettings& s) {
    return std::tuple<int, int, int, int, int, int, int>(s.bAverageBitRate, s.uABRBitRate,
                                                         s.uVBRQuality, s.bForceMPEG2,
                                                         s.bDisableTNS, s.uChannels, s.iSampleRate);
}
}  // namespace

// The argument vectors the component adapters receive; they rely on this order and spelling.
TEST(EncoderPlans, ArgumentVectors) {
    LMp3Settings crc = Cbr(128, false);
    crc.bErrorProtection = 1;
    crc.uChannelMode = 2;
    LAACSettings aacVbr = Aac(0, 8000, 1);
    aacVbr.uVBRQuality = 250;
    aacVbr.bForceMPEG2 = aacVbr.bDisableTNS = 1;
    EXPECT_TRUE(Is(LMP3EncodePipe::Plan(C, O, Cbr(128), 44100, 2), 44100, 2,
                   {C, "-m", "j", "-b", "128", "-h", "-r", "-x", "-s", "44.100", "-S", "-", O}));
    EXPECT_TRUE(Is(LMP3EncodePipe::Plan(C, O, Vbr(32, 128), 22050, 1), 22050, 1,
                   {C, "-m", "m", "-v", "-b", "32", "-B", "128", "-V", "4", "-r", "-x", "-s",
                    "22.050", "-S", "-", O}));
    EXPECT_TRUE(Is(LMP3EncodePipe::Plan(C, O, crc, 8000, 2), 8000, 2,
                   {C, "-m", "f", "-p", "-b", "128", "-r", "-x", "-s", "8.000", "-S", "-", O}));
    EXPECT_TRUE(
        Is(LOggEncodePipe::Plan(C, O, Ogg(0, 0, 44100, 1)), 44100, 1,
           {C, "-C", "1", "-m", "96", "-M", "128", "-q", "4", "-R", "44100", "-Q", "-", "-o", O}));
    EXPECT_TRUE(Is(LOggEncodePipe::Plan(C, O, Ogg(32, 0, 44100, 2)), 32000, 1,
                   {C, "-C", "1", "-b", "32", "-R", "32000", "-Q", "-", "-o", O}));
    EXPECT_TRUE(Is(LFlacEncodePipe::Plan(C, O, LFlacSettings{8, 5, 196000}), 196000, 2,
                   {C, "--channels=2", "--compression-level-8", "--sample-rate=196000", "--lax",
                    "--endian=little", "--bps=16", "--sign=signed", "-f", "-", "-o", O}));
    EXPECT_TRUE(Is(LFlacEncodePipe::Plan(C, O, LFlacSettings{0, 0, 8000}), 8000, 1,
                   {C, "--channels=1", "--compression-level-0", "--sample-rate=8000", "--lax",
                    "--endian=little", "--bps=16", "--sign=signed", "-f", "-", "-o", O}));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(128, 16000, 3)), 16000, 2,
                   {C, "-C", "2", "-b", "128", "-R", "16000", "-X", "-", "-o", O}));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, aacVbr), 8000, 1,
                   {C, "-C", "1", "-q", "250", "-R", "8000", "--mpeg-vers", "2", "--no-tns", "-X",
                    "-", "-o", O}));
    EXPECT_EQ(LAACDecode::CommandLine(C, "/t/T.wav", O).Args(), (V{C, "-d", "-o", "/t/T.wav", O}));
    EXPECT_EQ(LOggDecode::CommandLine(C, "/t/T.wav", O).Args(), (V{C, "-o", "/t/T.wav", O}));
    EXPECT_EQ(LFLACDecode::CommandLine(C, "/t/T.wav", O).Args(), (V{C, "-d", "-o", "/t/T.wav", O}));
}

TEST(EncoderPlans, Mp3Rates) {
    struct Case {
        LMp3Settings s;
        int source, rate;
    };
    const Case cases[] = {
        {Cbr(192), 22050, 44100},    {Cbr(192), 31999, 44100},     {Cbr(192), 32000, 32000},
        {Cbr(160), 22050, 22050},    {Cbr(128), 96000, 48000},     {Cbr(128), 48000, 48000},
        {Cbr(128), 47999, 44100},    {Cbr(128), 44101, 44100},     {Cbr(128), 44100, 44100},
        {Cbr(128), 44099, 44100},    {Cbr(128), 32001, 44100},     {Cbr(128), 32000, 32000},
        {Cbr(128), 31999, 32000},    {Cbr(128), 24001, 32000},     {Cbr(128), 24000, 24000},
        {Cbr(128), 23999, 22050},    {Cbr(128), 22051, 22050},     {Cbr(128), 22049, 22050},
        {Cbr(128), 16001, 22050},    {Cbr(128), 16000, 16000},     {Cbr(128), 15999, 11025},
        {Cbr(128), 12000, 11025},    {Cbr(128), 11025, 11025},     {Cbr(128), 11024, 11025},
        {Cbr(128), 8001, 11025},     {Cbr(128), 8000, 8000},       {Cbr(128), 7999, 8000},
        {Cbr(128), 6000, 8000},      {Cbr(16), 44100, 22050},      {Cbr(24), 44100, 22050},
        {Cbr(32), 44100, 44100},     {Vbr(8, 192), 22050, 44100},  {Vbr(8, 160), 44100, 22050},
        {Vbr(8, 160), 16000, 16000}, {Vbr(32, 320), 96000, 48000},
    };
    for (const Case& c : cases) {
        LEncoderPlan p = LMP3EncodePipe::Plan(C, O, c.s, c.source, 2);
        EXPECT_EQ(p.rate, c.rate) << "source " << c.source << " cbr " << int(c.s.uCBRBitRate)
                                  << " vbr " << c.s.uVBRMinBitRate << "-" << c.s.uVBRMaxBitRate;
    }
}

TEST(EncoderPlans, Mp3ChannelsAndModeLetter) {
    struct Case {
        LMp3Settings s;
        int mode, chans, wantChans;
        const char* letter;
    };
    auto mode = [](LMp3Settings s, int m) {
        s.uChannelMode = static_cast<uint8_t>(m);
        return s;
    };
    const Case cases[] = {
        {Cbr(16), 1, 2, 1, "m"},  // low bit rate forces mono
        {Cbr(23), 1, 2, 1, "m"},     {Cbr(24), 1, 2, 2, "j"},
        {Cbr(128), 3, 2, 2, "s"},  // stored mono with stereo output
        {Cbr(128), 7, 2, 2, "j"},  // out-of-range mode
        {Cbr(128), 0, 2, 2, "s"},    {Cbr(128), 2, 2, 2, "f"},
        {Cbr(128), 0, 1, 1, "m"},    {Vbr(16, 128), 1, 2, 1, "m"},
        {Vbr(32, 16), 1, 2, 2, "s"},  // maximum below 24 asks mono, the stereo output says s
        {Cbr(128), 1, 6, 2, "j"},     // more channels are mixed down to two
    };
    for (const Case& c : cases) {
        LEncoderPlan p = LMP3EncodePipe::Plan(C, O, mode(c.s, c.mode), 44100, c.chans);
        EXPECT_EQ(p.nChans, c.wantChans) << "mode " << c.mode;
        ASSERT_GE(p.commandLine.Args().size(), 3u);
        EXPECT_EQ(p.commandLine.Args()[2], c.letter) << "mode " << c.mode;
    }
}

// Ogg and AAC: the bit-rate rules on rate and channels.
TEST(EncoderPlans, OggAndAacRates) {
    EXPECT_TRUE(Is(LOggEncodePipe::Plan(C, O, Ogg(0, 0, 8000, 2)), 22050, 2));  // VBR max > 96
    EXPECT_TRUE(Is(LOggEncodePipe::Plan(C, O, Ogg(0, 96, 8000, 2)), 8000, 2));
    EXPECT_TRUE(Is(LOggEncodePipe::Plan(C, O, Ogg(40, 0, 44100, 2)), 32000, 2));
    EXPECT_TRUE(Is(LOggEncodePipe::Plan(C, O, Ogg(48, 0, 44100, 2)), 44100, 2));
    EXPECT_TRUE(Is(LOggEncodePipe::Plan(C, O, Ogg(64, 0, 16000, 2)), 16000, 2));
    EXPECT_TRUE(Is(LOggEncodePipe::Plan(C, O, Ogg(97, 0, 16000, 5)), 22050, 2));
    EXPECT_TRUE(Is(LOggEncodePipe::Plan(C, O, Ogg(97, 0, 16000, 0)), 22050, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(64, 8000, 1)), 11025, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(64, 16000, 1)), 16000, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(56, 8000, 1)), 11025, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(96, 8000, 1)), 11025, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(55, 8000, 1)), 8000, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(112, 8000, 1)), 22050, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(128, 16000, 1)), 22050, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(128, 16000, 2)), 16000, 2));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(32, 16000, 3)), 16000, 1));
    EXPECT_TRUE(Is(LAACEncodePipe::Plan(C, O, Aac(0, 8000, 1)), 8000, 1));
}

TEST(EncoderSettings, DefaultsAndFixUps) {
    ScopedHome home;
    EXPECT_EQ(Fields(ReadMp3Settings()), std::make_tuple(0, 128, 1, 32, 128, 4, 0, 1));
    EXPECT_EQ(Fields(ReadOggSettings()), std::make_tuple(0, 128, 96, 128, 4, 2, 44100));
    EXPECT_EQ(Fields(ReadFlacSettings()), std::make_tuple(4, 2, 44100));
    EXPECT_EQ(Fields(ReadAACSettings()), std::make_tuple(0, 128, 100, 0, 0, 2, 44100));
    // A maximum above 160 lifts a minimum below 32 to 32.
    SettingsWriteInt("MP3Encoder", "VBRMaxBitRate", 192);
    SettingsWriteInt("MP3Encoder", "VBRMinBitRate", 8);
    EXPECT_EQ(ReadMp3Settings().uVBRMinBitRate, 32);
    SettingsWriteInt("MP3Encoder", "VBRMaxBitRate", 160);
    EXPECT_EQ(ReadMp3Settings().uVBRMinBitRate, 8);
    SettingsWriteInt("OggEncoder", "VBRMaxBitRate", 161);
    SettingsWriteInt("OggEncoder", "VBRMinBitRate", 31);
    EXPECT_EQ(ReadOggSettings().uVBRMinBitRate, 32);
    SettingsWriteInt("OggEncoder", "VBRMaxBitRate", 160);
    EXPECT_EQ(ReadOggSettings().uVBRMinBitRate, 31);
}

TEST(EncoderSinks, EmptyWhenTheComponentIsNotRegistered) {
    ScopedHome home;
    EXPECT_TRUE(LMP3EncodePipe::OpenMp3Sink("/tmp/x.mp3", LMp3Settings{}, 44100, 2).empty());
    EXPECT_TRUE(LOggEncodePipe::OpenOggSink("/tmp/x.ogg", LOggSettings{}).empty());
    EXPECT_TRUE(LFlacEncodePipe::OpenFlacSink("/tmp/x.flac", LFlacSettings{}).empty());
    EXPECT_TRUE(LAACEncodePipe::OpenAACSink("/tmp/x.aac", LAACSettings{}).empty());
}

// ---- dialogs ----

namespace {
// OK stores what the dialog shows; Restore Defaults then Cancel stores nothing; Restore Defaults
// then OK stores the values read from an empty store. `abr` and `vbr` are controls enabled only
// in the one mode or the other (0: none).
template <typename S>
void ExpectDialogRoundTrips(ScriptedHost& host, S custom, S (*read)(), int (*show)(S&), int abr,
                            int vbr, int defaultsId) {
    const auto defaults = Fields(read());
    host.onDialog = [&](LDialog& d) {
        EXPECT_TRUE(!abr || d.IsEnabled(abr));
        EXPECT_TRUE(!vbr || !d.IsEnabled(vbr));
        return IDOK;
    };
    S shown = custom;
    EXPECT_EQ(show(shown), IDOK);
    EXPECT_EQ(Fields(read()), Fields(custom));
    host.onDialog = [&](LDialog& d) {
        d.Command(defaultsId);
        EXPECT_TRUE(!abr || !d.IsEnabled(abr));
        EXPECT_TRUE(!vbr || d.IsEnabled(vbr));
        return IDCANCEL;
    };
    EXPECT_EQ(show(shown), IDCANCEL);
    EXPECT_EQ(Fields(read()), Fields(custom));
    host.onDialog = [&](LDialog& d) {
        d.Command(defaultsId);
        return IDOK;
    };
    EXPECT_EQ(show(shown), IDOK);
    EXPECT_EQ(Fields(read()), defaults);
}
}  // namespace

TEST(EncoderDialogs, OkStoresWhatIsShownAndRestoreDefaultsTheStoreDefaults) {
    ScopedHome home;
    ScriptedHost host;
    {
        SCOPED_TRACE("mp3");
        using D = LMp3EncodeDlg;
        ExpectDialogRoundTrips<LMp3Settings>(host, {1, 192, 0, 40, 224, 7, 1, 0}, ReadMp3Settings,
                                             ShowMp3Settings, D::IDC_CBRRATE, D::IDC_VBRMAX,
                                             D::IDC_DEFAULTS);
    }
    {
        SCOPED_TRACE("ogg");
        using D = LOggEncodeDlg;
        ExpectDialogRoundTrips<LOggSettings>(host, {1, 64, 40, 256, 9, 1, 22050}, ReadOggSettings,
                                             ShowOggSettings, D::IDC_ABRRATE, D::IDC_QUALITY,
                                             D::IDC_DEFAULTS);
    }
    {
        SCOPED_TRACE("flac");
        ExpectDialogRoundTrips<LFlacSettings>(host, {8, 1, 196000}, ReadFlacSettings,
                                              ShowFlacSettings, 0, 0, LFlacEncodeDlg::IDC_DEFAULTS);
    }
    {
        SCOPED_TRACE("aac");  // any quality number may stand in the combo
        using D = LAACEncodeDlg;
        ExpectDialogRoundTrips<LAACSettings>(host, {1, 96, 123, 1, 1, 1, 8000}, ReadAACSettings,
                                             ShowAACSettings, D::IDC_ABRRATE, D::IDC_QUALITY,
                                             D::IDC_DEFAULTS);
    }
}

// Typed combo texts: a number is taken as it stands, no number gives the default.
TEST(EncoderDialogs, TypedValues) {
    ScopedHome home;
    ScriptedHost host;
    auto type = [](LDialog& d, int id, const char* text) {
        d.Control(id)->iSel = -1;
        d.SetText(id, text);
    };
    host.onDialog = [&](LDialog& d) {
        type(d, LMp3EncodeDlg::IDC_VBRMAX, "150 kbps");
        return IDOK;
    };
    LMp3Settings m = ReadMp3Settings();
    ShowMp3Settings(m);
    EXPECT_EQ(ReadMp3Settings().uVBRMaxBitRate, 150);
    host.onDialog = [&](LDialog& d) {
        type(d, LOggEncodeDlg::IDC_SAMPLERATE, "abc");
        return IDOK;
    };
    LOggSettings o = Ogg(0, 0, 8000, 2);
    ShowOggSettings(o);
    EXPECT_EQ(ReadOggSettings().iSampleRate, 44100);
    host.onDialog = [&](LDialog& d) {
        ComboSetText(d, LAACEncodeDlg::IDC_QUALITY, "0");
        type(d, LAACEncodeDlg::IDC_SAMPLERATE, "0");
        return IDOK;
    };
    LAACSettings a = Aac(0, 8000, 1);
    a.uVBRQuality = 300;
    ShowAACSettings(a);
    EXPECT_EQ(ReadAACSettings().uVBRQuality, 100);
    EXPECT_EQ(ReadAACSettings().iSampleRate, 44100);
    host.onDialog = [&](LDialog& d) {
        type(d, LFlacEncodeDlg::IDC_SAMPLERATE, "");
        return IDOK;
    };
    LFlacSettings f{4, 2, 8000};
    ShowFlacSettings(f);
    EXPECT_EQ(ReadFlacSettings().iSampleRate, 44100);
}

TEST(EncoderDialogs, ComboSelectStringTakesTheFirstPrefixMatch) {
    LDialog d("t");
    d.AddControl(1, LControl::Kind::Combo, "");
    d.ComboFill(1, EncoderBitRateList());
    ComboSelectString(d, 1, "16");
    EXPECT_EQ(ComboText(d, 1), "16");
    ComboSelectString(d, 1, "3");
    EXPECT_EQ(ComboText(d, 1), "32");
    ComboSelectString(d, 1, "999");  // no row: unchanged
    EXPECT_EQ(ComboText(d, 1), "32");
    d.AddControl(2, LControl::Kind::Combo, "");
    d.ComboFill(2, EncoderBitRateList());
    ComboSelectString(d, 2, "100");
    EXPECT_EQ(d.ComboGetSel(2), -1);
    EXPECT_EQ(ComboText(d, 2), "");
}
