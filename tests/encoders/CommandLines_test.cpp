// Rates, channel counts and command lines chosen from stored options, argument by argument;
// settings defaults and fix-ups; the options dialogs' logic.
#include <gtest/gtest.h>

#include "common/ScriptedHost.h"
#include "encoders/AacEncoder.h"
#include "encoders/EncTestUtil.h"
#include "encoders/FlacEncoder.h"
#include "encoders/Mp3Encoder.h"
#include "encoders/OggEncoder.h"
#include "support/Settings.h"

using namespace sonvex;
using namespace sonvex::test;
using V = std::vector<std::string>;

namespace {
const std::string kComp = "/opt/c/mp3el";
const std::string kOut = "/out/a b.mp3";

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
}  // namespace

TEST(Mp3Plan, ExampleCommandLine) {
    LEncoderPlan p = LMP3EncodePipe::Plan(kComp, kOut, Cbr(128), 44100, 2);
    EXPECT_EQ(p.commandLine.Text(),
              "\"/opt/c/mp3el\" -m j -b 128 -h -r -x -s 44.100 -S - \"/out/a b.mp3\"");
    EXPECT_EQ(p.commandLine.Args(), (V{kComp, "-m", "j", "-b", "128", "-h", "-r", "-x", "-s",
                                       "44.100", "-S", "-", kOut}));
    EXPECT_EQ(p.rate, 44100);
    EXPECT_EQ(p.nChans, 2);
}

TEST(Mp3Plan, VbrMonoAndOptionsOrder) {
    LEncoderPlan p = LMP3EncodePipe::Plan(kComp, kOut, Vbr(32, 128), 22050, 1);
    EXPECT_EQ(p.commandLine.Args(), (V{kComp, "-m", "m", "-v", "-b", "32", "-B", "128", "-V", "4",
                                       "-r", "-x", "-s", "22.050", "-S", "-", kOut}));
    EXPECT_EQ(p.rate, 22050);
    EXPECT_EQ(p.nChans, 1);

    LMp3Settings s = Cbr(128, false);
    s.bErrorProtection = 1;
    s.uChannelMode = 2;
    p = LMP3EncodePipe::Plan(kComp, kOut, s, 8000, 2);
    EXPECT_EQ(p.commandLine.Text(),
              "\"/opt/c/mp3el\" -m f -p -b 128 -r -x -s 8.000 -S - \"/out/a b.mp3\"");
}

TEST(Mp3Plan, RateRules) {
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
        LEncoderPlan p = LMP3EncodePipe::Plan(kComp, kOut, c.s, c.source, 2);
        EXPECT_EQ(p.rate, c.rate) << "source " << c.source << " cbr " << int(c.s.uCBRBitRate)
                                  << " vbr " << c.s.uVBRMinBitRate << "-" << c.s.uVBRMaxBitRate;
    }
}

TEST(Mp3Plan, ChannelsAndModeLetter) {
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
    };
    for (const Case& c : cases) {
        LEncoderPlan p = LMP3EncodePipe::Plan(kComp, kOut, mode(c.s, c.mode), 44100, c.chans);
        EXPECT_EQ(p.nChans, c.wantChans) << "mode " << c.mode;
        ASSERT_GE(p.commandLine.Args().size(), 3u);
        EXPECT_EQ(p.commandLine.Args()[1], "-m");
        EXPECT_EQ(p.commandLine.Args()[2], c.letter) << "mode " << c.mode;
    }
}

TEST(OggPlan, RulesAndCommandLines) {
    const std::string comp = "/c/oggenc", out = "/o/x.ogg";
    LOggSettings s;  // VBR 96-128, q 4, 44100
    s.uChannels = 1;
    LEncoderPlan p = LOggEncodePipe::Plan(comp, out, s);
    EXPECT_EQ(p.commandLine.Args(), (V{comp, "-C", "1", "-m", "96", "-M", "128", "-q", "4", "-R",
                                       "44100", "-Q", "-", "-o", out}));
    EXPECT_EQ(p.commandLine.Text(),
              "\"/c/oggenc\" -C 1 -m 96 -M 128 -q 4 -R 44100 -Q - -o \"/o/x.ogg\"");
    EXPECT_EQ(p.rate, 44100);
    EXPECT_EQ(p.nChans, 1);

    s.iSampleRate = 8000;  // VBR maximum 128 > 96
    EXPECT_EQ(LOggEncodePipe::Plan(comp, out, s).rate, 22050);
    s.uVBRMaxBitRate = 96;  // not above 96
    EXPECT_EQ(LOggEncodePipe::Plan(comp, out, s).rate, 8000);

    LOggSettings a;
    a.bAverageBitRate = 1;
    a.uABRBitRate = 32;
    a.uChannels = 2;
    p = LOggEncodePipe::Plan(comp, out, a);
    EXPECT_EQ(p.rate, 32000);
    EXPECT_EQ(p.nChans, 1);
    EXPECT_EQ(p.commandLine.Args(),
              (V{comp, "-C", "1", "-b", "32", "-R", "32000", "-Q", "-", "-o", out}));
    a.uABRBitRate = 40;  // not below 40: stereo kept; below 48: rate still capped
    p = LOggEncodePipe::Plan(comp, out, a);
    EXPECT_EQ(p.nChans, 2);
    EXPECT_EQ(p.rate, 32000);
    a.uABRBitRate = 48;
    EXPECT_EQ(LOggEncodePipe::Plan(comp, out, a).rate, 44100);
    a.uABRBitRate = 64;
    a.iSampleRate = 16000;
    EXPECT_EQ(LOggEncodePipe::Plan(comp, out, a).rate, 16000);
    a.uABRBitRate = 97;
    EXPECT_EQ(LOggEncodePipe::Plan(comp, out, a).rate, 22050);
    a.uChannels = 5;
    EXPECT_EQ(LOggEncodePipe::Plan(comp, out, a).nChans, 2);
    a.uChannels = 0;
    EXPECT_EQ(LOggEncodePipe::Plan(comp, out, a).nChans, 1);
}

TEST(FlacPlan, CommandLineAndChannelClamp) {
    const std::string comp = "/c/flacenc", out = "/o/-x.flac";
    LFlacSettings s;
    s.uCompression = 8;
    s.uChannels = 5;
    s.iSampleRate = 196000;
    LEncoderPlan p = LFlacEncodePipe::Plan(comp, out, s);
    EXPECT_EQ(p.commandLine.Args(),
              (V{comp, "--channels=2", "--compression-level-8", "--sample-rate=196000", "--lax",
                 "--endian=little", "--bps=16", "--sign=signed", "-f", "-", "-o", out}));
    EXPECT_EQ(p.rate, 196000);
    EXPECT_EQ(p.nChans, 2);
    s.uChannels = 0;
    p = LFlacEncodePipe::Plan(comp, out, s);
    EXPECT_EQ(p.commandLine.Args()[1], "--channels=1");
    EXPECT_EQ(p.nChans, 1);
}

TEST(AacPlan, RulesAndOptionOrder) {
    const std::string comp = "/c/aacenc", out = "/o/x.m4a";
    LAACSettings s;
    s.bAverageBitRate = 1;
    s.uABRBitRate = 64;
    s.iSampleRate = 8000;
    s.uChannels = 1;
    EXPECT_EQ(LAACEncodePipe::Plan(comp, out, s).rate, 11025);
    s.uABRBitRate = 56;
    EXPECT_EQ(LAACEncodePipe::Plan(comp, out, s).rate, 11025);
    s.uABRBitRate = 96;
    EXPECT_EQ(LAACEncodePipe::Plan(comp, out, s).rate, 11025);
    s.uABRBitRate = 55;
    EXPECT_EQ(LAACEncodePipe::Plan(comp, out, s).rate, 8000);
    s.uABRBitRate = 112;  // not in 56..96, above 64, below 22050, mono
    EXPECT_EQ(LAACEncodePipe::Plan(comp, out, s).rate, 22050);
    s.uABRBitRate = 128;
    s.iSampleRate = 16000;
    EXPECT_EQ(LAACEncodePipe::Plan(comp, out, s).rate, 22050);
    s.uChannels = 2;
    EXPECT_EQ(LAACEncodePipe::Plan(comp, out, s).rate, 16000);
    s.uChannels = 3;  // the rule looks at the stored count before clamping
    LEncoderPlan p = LAACEncodePipe::Plan(comp, out, s);
    EXPECT_EQ(p.rate, 16000);
    EXPECT_EQ(p.nChans, 2);
    EXPECT_EQ(p.commandLine.Args(),
              (V{comp, "-C", "2", "-b", "128", "-R", "16000", "-X", "-", "-o", out}));
    s.uABRBitRate = 32;
    EXPECT_EQ(LAACEncodePipe::Plan(comp, out, s).nChans, 1);

    LAACSettings v;  // VBR: rate and channels as stored, no bit-rate rules
    v.uVBRQuality = 250;
    v.bForceMPEG2 = 1;
    v.bDisableTNS = 1;
    v.uChannels = 1;
    v.iSampleRate = 8000;
    p = LAACEncodePipe::Plan(comp, out, v);
    EXPECT_EQ(p.commandLine.Text(),
              "\"/c/aacenc\" -C 1 -q 250 -R 8000 --mpeg-vers 2 --no-tns -X - -o \"/o/x.m4a\"");
    EXPECT_EQ(p.rate, 8000);
    EXPECT_EQ(p.nChans, 1);
}

TEST(EncoderSettings, AbsentValuesAreTheDialogDefaults) {
    ScopedHome home;
    // Read before the dialogs store anything: stereo, as "Restore Defaults" gives.
    LOggSettings fresh = ReadOggSettings(), restored;
    LFlacSettings freshFlac = ReadFlacSettings(), restoredFlac;
    LOggEncodeDlg d(restored);
    d.InitDialog();
    d.CmRestoreDefaults();
    ASSERT_TRUE(d.CmOk());
    LFlacEncodeDlg f(restoredFlac);
    f.InitDialog();
    f.CmRestoreDefaults();
    ASSERT_TRUE(f.CmOk());
    EXPECT_EQ(fresh.uChannels, 2);
    EXPECT_EQ(fresh.uChannels, restored.uChannels);
    EXPECT_EQ(fresh.iSampleRate, restored.iSampleRate);
    EXPECT_EQ(fresh.uVBRQuality, restored.uVBRQuality);
    EXPECT_EQ(freshFlac.uChannels, 2);
    EXPECT_EQ(freshFlac.uChannels, restoredFlac.uChannels);
    EXPECT_EQ(freshFlac.uCompression, restoredFlac.uCompression);
}

TEST(EncoderSettings, DefaultsFixUpsAndRoundTrip) {
    ScopedHome home;
    LMp3Settings m = ReadMp3Settings();
    EXPECT_EQ(m.bConstantBitRate, 0);
    EXPECT_EQ(m.uCBRBitRate, 128);
    EXPECT_EQ(m.bHighQuality, 1);
    EXPECT_EQ(m.uVBRMinBitRate, 32);
    EXPECT_EQ(m.uVBRMaxBitRate, 128);
    EXPECT_EQ(m.uVBRQuality, 4);
    EXPECT_EQ(m.uChannelMode, 1);
    EXPECT_EQ(ReadOggSettings().uVBRMinBitRate, 96);
    EXPECT_EQ(ReadAACSettings().uChannels, 2);
    EXPECT_EQ(ReadAACSettings().uVBRQuality, 100);

    SettingsWriteInt("MP3Encoder", "VBRMaxBitRate", 192);
    SettingsWriteInt("MP3Encoder", "VBRMinBitRate", 8);
    EXPECT_EQ(ReadMp3Settings().uVBRMinBitRate, 32);
    SettingsWriteInt("MP3Encoder", "VBRMaxBitRate", 160);
    EXPECT_EQ(ReadMp3Settings().uVBRMinBitRate, 8);
    SettingsWriteInt("OggEncoder", "VBRMaxBitRate", 161);
    SettingsWriteInt("OggEncoder", "VBRMinBitRate", 31);
    EXPECT_EQ(ReadOggSettings().uVBRMinBitRate, 32);
    SettingsWriteInt("OggEncoder", "VBRMinBitRate", 32);
    SettingsWriteInt("OggEncoder", "VBRMaxBitRate", 320);
    EXPECT_EQ(ReadOggSettings().uVBRMinBitRate, 32);

    LAACSettings a;
    a.bAverageBitRate = 1;
    a.uABRBitRate = 96;
    a.uVBRQuality = 350;
    a.bForceMPEG2 = 1;
    a.uChannels = 1;
    a.iSampleRate = 22050;
    WriteAACSettings(a);
    LAACSettings b = ReadAACSettings();
    EXPECT_EQ(b.bAverageBitRate, 1);
    EXPECT_EQ(b.uABRBitRate, 96);
    EXPECT_EQ(b.uVBRQuality, 350);
    EXPECT_EQ(b.bForceMPEG2, 1);
    EXPECT_EQ(b.bDisableTNS, 0);
    EXPECT_EQ(b.uChannels, 1);
    EXPECT_EQ(b.iSampleRate, 22050);
}

TEST(EncoderSinks, EmptyWhenTheComponentIsNotRegistered) {
    ScopedHome home;
    EXPECT_TRUE(LMP3EncodePipe::OpenMp3Sink("/tmp/x.mp3", LMp3Settings{}, 44100, 2).empty());
    EXPECT_TRUE(LOggEncodePipe::OpenOggSink("/tmp/x.ogg", LOggSettings{}).empty());
    EXPECT_TRUE(LFlacEncodePipe::OpenFlacSink("/tmp/x.flac", LFlacSettings{}).empty());
    EXPECT_TRUE(LAACEncodePipe::OpenAACSink("/tmp/x.aac", LAACSettings{}).empty());
}

// ---- dialogs ----

TEST(Mp3Dialog, InitEnableRestoreAndOk) {
    ScopedHome home;
    ScriptedHost host;
    LMp3Settings s = Cbr(192, false);
    s.uVBRMinBitRate = 16;
    s.uVBRMaxBitRate = 12;  // selects the first row that begins with "12": "128"
    s.uVBRQuality = 7;
    s.uChannelMode = 0;
    host.onDialog = [](LDialog& d) {
        using D = LMp3EncodeDlg;
        EXPECT_TRUE(d.IsChecked(D::IDC_CBR));
        EXPECT_FALSE(d.IsChecked(D::IDC_VBR));
        EXPECT_EQ(ComboText(d, D::IDC_CBRRATE), "192");
        EXPECT_EQ(ComboText(d, D::IDC_VBRMIN), "16");
        EXPECT_EQ(ComboText(d, D::IDC_VBRMAX), "128");
        EXPECT_EQ(d.ComboGetSel(D::IDC_QUALITY), 7);
        EXPECT_EQ(d.ComboGetSel(D::IDC_CHANNELMODE), 0);
        EXPECT_TRUE(d.IsEnabled(D::IDC_CBRRATE));
        EXPECT_TRUE(d.IsEnabled(D::IDC_HIGHQUALITY));
        EXPECT_FALSE(d.IsEnabled(D::IDC_VBRMIN));
        EXPECT_FALSE(d.IsEnabled(D::IDC_QUALITY));
        d.Command(D::IDC_DEFAULTS);
        EXPECT_TRUE(d.IsChecked(D::IDC_VBR));
        EXPECT_FALSE(d.IsChecked(D::IDC_CBR));
        EXPECT_FALSE(d.IsEnabled(D::IDC_CBRRATE));
        EXPECT_TRUE(d.IsEnabled(D::IDC_VBRMAX));
        EXPECT_EQ(ComboText(d, D::IDC_CBRRATE), "128");
        EXPECT_TRUE(d.IsChecked(D::IDC_HIGHQUALITY));
        EXPECT_EQ(ComboText(d, D::IDC_VBRMIN), "32");
        EXPECT_EQ(d.ComboGetSel(D::IDC_QUALITY), 4);
        EXPECT_EQ(d.ComboGetSel(D::IDC_CHANNELMODE), 1);
        // A typed bit rate is accepted as it stands.
        d.Control(D::IDC_VBRMAX)->iSel = -1;
        d.SetText(D::IDC_VBRMAX, "150 kbps");
        return IDOK;
    };
    // Restore Defaults alone stores nothing: only OK does.
    EXPECT_EQ(ShowMp3Settings(s), IDOK);
    LMp3Settings r = ReadMp3Settings();
    EXPECT_EQ(r.bConstantBitRate, 0);
    EXPECT_EQ(r.uCBRBitRate, 128);
    EXPECT_EQ(r.bHighQuality, 1);
    EXPECT_EQ(r.uVBRMinBitRate, 32);
    EXPECT_EQ(r.uVBRMaxBitRate, 150);
    EXPECT_EQ(r.uVBRQuality, 4);
    EXPECT_EQ(r.uChannelMode, 1);
    EXPECT_EQ(SettingsReadString("MP3Encoder", "ErrorProtection", "?"), "0");

    host.onDialog = [](LDialog& d) {
        d.Command(LMp3EncodeDlg::IDC_DEFAULTS);
        return IDCANCEL;
    };
    LMp3Settings t = Cbr(320);
    EXPECT_EQ(ShowMp3Settings(t), IDCANCEL);
    EXPECT_EQ(ReadMp3Settings().uVBRMaxBitRate, 150);  // nothing stored on Cancel
}

TEST(OggFlacAacDialogs, RestoreDefaultsSelectStereoAndOkStores) {
    ScopedHome home;
    ScriptedHost host;
    host.onDialog = [](LDialog& d) {
        using D = LOggEncodeDlg;
        EXPECT_FALSE(d.IsEnabled(D::IDC_ABRRATE));
        EXPECT_TRUE(d.IsEnabled(D::IDC_VBRMIN));
        EXPECT_EQ(d.ComboGetSel(D::IDC_CHANNELS), 0);     // mono, as given
        EXPECT_EQ(d.ComboGetSel(D::IDC_SAMPLERATE), -1);  // 12345 is not in the list
        d.SetCheck(D::IDC_ABR, true);
        d.Command(D::IDC_ABR);
        EXPECT_TRUE(d.IsEnabled(D::IDC_ABRRATE));
        EXPECT_FALSE(d.IsEnabled(D::IDC_QUALITY));
        d.Command(D::IDC_DEFAULTS);
        EXPECT_TRUE(d.IsChecked(D::IDC_VBR));
        EXPECT_EQ(d.ComboGetSel(D::IDC_CHANNELS), 1);
        EXPECT_EQ(ComboText(d, D::IDC_SAMPLERATE), "44100");
        d.ComboSetSel(D::IDC_QUALITY, 10);
        d.Control(D::IDC_SAMPLERATE)->iSel = -1;
        d.SetText(D::IDC_SAMPLERATE, "abc");  // reads as 0: 44100
        return IDOK;
    };
    LOggSettings o = ReadOggSettings();
    o.iSampleRate = 12345;
    o.uChannels = 1;
    EXPECT_EQ(ShowOggSettings(o), IDOK);
    LOggSettings ro = ReadOggSettings();
    EXPECT_EQ(ro.uChannels, 2);
    EXPECT_EQ(ro.uVBRQuality, 10);
    EXPECT_EQ(ro.iSampleRate, 44100);
    EXPECT_EQ(ro.uVBRMinBitRate, 96);
    EXPECT_EQ(ro.bAverageBitRate, 0);

    host.onDialog = [](LDialog& d) {
        using D = LFlacEncodeDlg;
        EXPECT_EQ(d.ComboGetSel(D::IDC_COMPRESSION), 4);
        EXPECT_EQ(d.ComboGetSel(D::IDC_CHANNELS), 0);
        d.Command(D::IDC_DEFAULTS);
        EXPECT_EQ(d.ComboGetSel(D::IDC_CHANNELS), 1);
        d.ComboSetSel(D::IDC_COMPRESSION, 8);
        d.ComboSetSel(D::IDC_SAMPLERATE, 11);
        return IDOK;
    };
    LFlacSettings f = ReadFlacSettings();
    f.uChannels = 1;
    EXPECT_EQ(ShowFlacSettings(f), IDOK);
    LFlacSettings rf = ReadFlacSettings();
    EXPECT_EQ(rf.uCompression, 8);
    EXPECT_EQ(rf.uChannels, 2);
    EXPECT_EQ(rf.iSampleRate, 196000);

    host.onDialog = [](LDialog& d) {
        using D = LAACEncodeDlg;
        EXPECT_EQ(ComboText(d, D::IDC_QUALITY), "123");  // any number may stand there
        EXPECT_EQ(d.ComboGetSel(D::IDC_CHANNELS), 1);
        EXPECT_TRUE(d.IsEnabled(D::IDC_QUALITY));
        EXPECT_FALSE(d.IsEnabled(D::IDC_ABRRATE));
        EXPECT_TRUE(d.IsChecked(D::IDC_NOTNS));
        d.Command(D::IDC_DEFAULTS);
        EXPECT_EQ(ComboText(d, D::IDC_QUALITY), "100");
        EXPECT_EQ(d.ComboGetSel(D::IDC_QUALITY), 2);
        EXPECT_FALSE(d.IsChecked(D::IDC_NOTNS));
        d.SetCheck(D::IDC_MPEG2, true);
        ComboSetText(d, D::IDC_QUALITY, "0");  // reads as 0: 100
        ComboSelectString(d, D::IDC_SAMPLERATE, "8000");
        return IDOK;
    };
    LAACSettings a = ReadAACSettings();
    a.uVBRQuality = 123;
    a.bDisableTNS = 1;
    EXPECT_EQ(ShowAACSettings(a), IDOK);
    LAACSettings ra = ReadAACSettings();
    EXPECT_EQ(ra.uVBRQuality, 100);
    EXPECT_EQ(ra.bForceMPEG2, 1);
    EXPECT_EQ(ra.bDisableTNS, 0);
    EXPECT_EQ(ra.iSampleRate, 8000);
    EXPECT_EQ(ra.uChannels, 2);
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
