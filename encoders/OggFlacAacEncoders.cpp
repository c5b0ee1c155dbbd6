#include "encoders/OggFlacAacEncoders.h"

#include <algorithm>

#include "encoders/Components.h"
#include "platform/Debug.h"
#include "support/Settings.h"

namespace sonvex {

namespace {
constexpr const char* kOgg = "OggEncoder";
constexpr const char* kFlac = "FlacEncoder";
constexpr const char* kAAC = "AACEncoder";

const std::vector<std::string>& OggQualityList() {
    static const std::vector<std::string> v = {"0 (Lowest)", "1", "2", "3", "4",           "5",
                                               "6",          "7", "8", "9", "10 (Highest)"};
    return v;
}

const std::vector<std::string>& FlacCompressionList() {
    static const std::vector<std::string> v = {"0 (fastest)", "1", "2", "3",       "4",
                                               "5",           "6", "7", "8 (best)"};
    return v;
}

const std::vector<std::string>& AACQualityList() {
    static const std::vector<std::string> v = {"10",  "50",  "100", "150", "200", "250",
                                               "300", "350", "400", "450", "500"};
    return v;
}

int ClampChannels(int n) {
    return std::clamp(n, 1, 2);
}

// Value of a combo's text; 0 becomes the fallback.
int TextValueOr(LDialog& d, int id, int fallback) {
    int v = ParseDecimal(ComboText(d, id));
    return v == 0 ? fallback : v;
}
}  // namespace

// ---- settings ----

LOggSettings ReadOggSettings() {
    LOggSettings s;
    s.bAverageBitRate = SettingsReadFlag(kOgg, "AverageBitRate", false);
    s.uABRBitRate = static_cast<uint16_t>(SettingsReadInt(kOgg, "ABRBitRate", 128));
    s.uVBRMinBitRate = static_cast<uint16_t>(SettingsReadInt(kOgg, "VBRMinBitRate", 96));
    s.uVBRMaxBitRate = static_cast<uint16_t>(SettingsReadInt(kOgg, "VBRMaxBitRate", 128));
    s.uVBRQuality = static_cast<uint8_t>(SettingsReadInt(kOgg, "VBRQuality", 4));
    s.uChannels = static_cast<uint8_t>(SettingsReadInt(kOgg, "Channels", 2));
    s.iSampleRate = SettingsReadInt(kOgg, "SampleRate", 44100);
    if (s.uVBRMaxBitRate > 160 && s.uVBRMinBitRate < 32) s.uVBRMinBitRate = 32;
    return s;
}

void WriteOggSettings(const LOggSettings& s) {
    SettingsWriteFlag(kOgg, "AverageBitRate", s.bAverageBitRate);
    SettingsWriteInt(kOgg, "ABRBitRate", s.uABRBitRate);
    SettingsWriteInt(kOgg, "VBRMinBitRate", s.uVBRMinBitRate);
    SettingsWriteInt(kOgg, "VBRMaxBitRate", s.uVBRMaxBitRate);
    SettingsWriteInt(kOgg, "VBRQuality", s.uVBRQuality);
    SettingsWriteInt(kOgg, "Channels", s.uChannels);
    SettingsWriteInt(kOgg, "SampleRate", s.iSampleRate);
}

LFlacSettings ReadFlacSettings() {
    LFlacSettings s;
    s.uCompression = static_cast<uint8_t>(SettingsReadInt(kFlac, "Compression", 4));
    s.uChannels = static_cast<uint8_t>(SettingsReadInt(kFlac, "Channels", 2));
    s.iSampleRate = SettingsReadInt(kFlac, "SampleRate", 44100);
    return s;
}

void WriteFlacSettings(const LFlacSettings& s) {
    SettingsWriteInt(kFlac, "Compression", s.uCompression);
    SettingsWriteInt(kFlac, "Channels", s.uChannels);
    SettingsWriteInt(kFlac, "SampleRate", s.iSampleRate);
}

LAACSettings ReadAACSettings() {
    LAACSettings s;
    s.bAverageBitRate = SettingsReadFlag(kAAC, "AverageBitRate", false);
    s.uABRBitRate = static_cast<uint16_t>(SettingsReadInt(kAAC, "ABRBitRate", 128));
    s.uVBRQuality = static_cast<uint16_t>(SettingsReadInt(kAAC, "VBRQuality", 100));
    s.uChannels = static_cast<uint8_t>(SettingsReadInt(kAAC, "Channels", 2));
    s.iSampleRate = SettingsReadInt(kAAC, "SampleRate", 44100);
    s.bForceMPEG2 = SettingsReadFlag(kAAC, "ForceMPEG2", false);
    s.bDisableTNS = SettingsReadFlag(kAAC, "DisableTNS", false);
    return s;
}

void WriteAACSettings(const LAACSettings& s) {
    SettingsWriteFlag(kAAC, "AverageBitRate", s.bAverageBitRate);
    SettingsWriteInt(kAAC, "ABRBitRate", s.uABRBitRate);
    SettingsWriteInt(kAAC, "VBRQuality", s.uVBRQuality);
    SettingsWriteInt(kAAC, "Channels", s.uChannels);
    SettingsWriteInt(kAAC, "SampleRate", s.iSampleRate);
    SettingsWriteFlag(kAAC, "ForceMPEG2", s.bForceMPEG2);
    SettingsWriteFlag(kAAC, "DisableTNS", s.bDisableTNS);
}

// ---- openers ----

LEncoderPlan LOggEncodePipe::Plan(const std::string& componentPath, const std::string& path,
                                  const LOggSettings& s) {
    const int rateSetting = s.bAverageBitRate ? s.uABRBitRate : s.uVBRMaxBitRate;
    const int low = s.bAverageBitRate ? s.uABRBitRate : s.uVBRMinBitRate;
    int32_t r = s.iSampleRate;
    if (rateSetting > 96 && r < 22050)
        r = 22050;
    else if (low < 48 && r > 32000)
        r = 32000;
    int k = ClampChannels(s.uChannels);
    if (low < 40) k = 1;

    LEncoderPlan plan;
    plan.rate = r;
    plan.nChans = k;
    LCommandLine& c = plan.commandLine;
    c.Quoted(componentPath);
    c.Optionf(" -C %d", k);
    if (s.bAverageBitRate)
        c.Optionf(" -b %d", s.uABRBitRate);
    else
        c.Optionf(" -m %d -M %d -q %d", s.uVBRMinBitRate, s.uVBRMaxBitRate, s.uVBRQuality);
    c.Optionf(" -R %d -Q - -o ", r);
    c.Quoted(path);
    return plan;
}

LSoundSinkRef LOggEncodePipe::OpenOggSink(const std::string& path, const LOggSettings& s) {
    return OpenComponentSink(
        "oggenc", "OpenOggSink GetComponentPath FAILED",
        [&](const std::string& component) { return Plan(component, path, s); });
}

LEncoderPlan LFlacEncodePipe::Plan(const std::string& componentPath, const std::string& path,
                                   const LFlacSettings& s) {
    LEncoderPlan plan;
    plan.rate = s.iSampleRate;
    plan.nChans = ClampChannels(s.uChannels);
    LCommandLine& c = plan.commandLine;
    c.Quoted(componentPath);
    c.Optionf(
        " --channels=%d --compression-level-%d --sample-rate=%d --lax --endian=little "
        "--bps=16 --sign=signed -f - -o ",
        plan.nChans, s.uCompression, s.iSampleRate);
    c.Quoted(path);
    return plan;
}

LSoundSinkRef LFlacEncodePipe::OpenFlacSink(const std::string& path, const LFlacSettings& s) {
    return OpenComponentSink(
        "flacenc", "OpenFlacSink flacenc does not exist",
        [&](const std::string& component) { return Plan(component, path, s); });
}

LEncoderPlan LAACEncodePipe::Plan(const std::string& componentPath, const std::string& path,
                                  const LAACSettings& s) {
    int32_t r = s.iSampleRate;
    if (s.bAverageBitRate) {
        if (s.uABRBitRate >= 56 && s.uABRBitRate <= 96 && r == 8000 && s.uChannels == 1)
            r = 11025;
        else if (s.uABRBitRate > 64 && r < 22050 && s.uChannels == 1)
            r = 22050;
    }
    int k = ClampChannels(s.uChannels);
    if (s.bAverageBitRate && s.uABRBitRate < 40) k = 1;

    LEncoderPlan plan;
    plan.rate = r;
    plan.nChans = k;
    LCommandLine& c = plan.commandLine;
    c.Quoted(componentPath);
    c.Optionf(" -C %d", k);
    if (s.bAverageBitRate)
        c.Optionf(" -b %d", s.uABRBitRate);
    else
        c.Optionf(" -q %d", s.uVBRQuality);
    c.Optionf(" -R %d", r);
    if (s.bForceMPEG2) c.Options(" --mpeg-vers 2");
    if (s.bDisableTNS) c.Options(" --no-tns");
    c.Options(" -X - -o ");
    c.Quoted(path);
    return plan;
}

LSoundSinkRef LAACEncodePipe::OpenAACSink(const std::string& path, const LAACSettings& s) {
    return OpenComponentSink(
        "aacenc", "OpenAACSink aacenc component not found",
        [&](const std::string& component) { return Plan(component, path, s); });
}

// ---- Ogg dialog ----

LOggEncodeDlg::LOggEncodeDlg(LOggSettings& settings)
    : LDialog("Ogg Encoder Settings"), settings_(settings) {
    using K = LControl::Kind;
    AddControl(IDC_ABR, K::Radio, "Average Bitrate (ABR)").iGroup = 1;
    AddControl(IDC_ABRRATE, K::Combo, "Bitrate (kbps):");
    AddControl(IDC_VBR, K::Radio, "Variable Bitrate (VBR)").iGroup = 1;
    AddControl(IDC_VBRMIN, K::Combo, "Minimum Bitrate (kbps)");
    AddControl(IDC_VBRMAX, K::Combo, "Maximum Bitrate (kbps)");
    AddControl(IDC_QUALITY, K::Combo, "Quality (Higher quality = Larger file)");
    AddControl(IDC_SAMPLERATE, K::Combo, "Sample Rate");
    AddControl(IDC_CHANNELS, K::Combo, "Channels");
    AddControl(IDC_DEFAULTS, K::Button, "Restore Defaults");
}

void LOggEncodeDlg::InitDialog() {
    SetCheck(IDC_ABR, settings_.bAverageBitRate);
    SetCheck(IDC_VBR, !settings_.bAverageBitRate);
    for (int id : {IDC_ABRRATE, IDC_VBRMIN, IDC_VBRMAX}) ComboFill(id, EncoderBitRateList());
    ComboSelectString(*this, IDC_ABRRATE, std::to_string(settings_.uABRBitRate));
    ComboSelectString(*this, IDC_VBRMIN, std::to_string(settings_.uVBRMinBitRate));
    ComboSelectString(*this, IDC_VBRMAX, std::to_string(settings_.uVBRMaxBitRate));
    ComboFill(IDC_QUALITY, OggQualityList());
    ComboSetSel(IDC_QUALITY, settings_.uVBRQuality);
    ComboFill(IDC_SAMPLERATE, EncoderSampleRateList());
    ComboSelectString(*this, IDC_SAMPLERATE, std::to_string(settings_.iSampleRate));
    ComboFill(IDC_CHANNELS, EncoderChannelList());
    ComboSetSel(IDC_CHANNELS, settings_.uChannels - 1);
}

void LOggEncodeDlg::EnableControls() {
    Enable(IDC_ABRRATE, IsChecked(IDC_ABR));
    for (int id : {IDC_VBRMIN, IDC_VBRMAX, IDC_QUALITY}) Enable(id, IsChecked(IDC_VBR));
}

void LOggEncodeDlg::CmCommand(int id, int code) {
    (void)code;
    if (id == IDC_DEFAULTS) CmRestoreDefaults();
}

void LOggEncodeDlg::CmRestoreDefaults() {
    SetCheck(IDC_VBR, true);
    SetCheck(IDC_ABR, false);
    ComboSelectString(*this, IDC_ABRRATE, "128");
    ComboSelectString(*this, IDC_VBRMIN, "96");
    ComboSelectString(*this, IDC_VBRMAX, "128");
    ComboSetSel(IDC_QUALITY, 4);
    ComboSelectString(*this, IDC_SAMPLERATE, "44100");
    ComboSetSel(IDC_CHANNELS, 1);
}

bool LOggEncodeDlg::CmOk() {
    LOggSettings& s = settings_;
    s.bAverageBitRate = IsChecked(IDC_ABR);
    s.uABRBitRate = static_cast<uint16_t>(ParseDecimal(ComboText(*this, IDC_ABRRATE)));
    s.uVBRMinBitRate = static_cast<uint16_t>(ParseDecimal(ComboText(*this, IDC_VBRMIN)));
    s.uVBRMaxBitRate = static_cast<uint16_t>(ParseDecimal(ComboText(*this, IDC_VBRMAX)));
    if (ComboGetSel(IDC_QUALITY) >= 0)
        s.uVBRQuality = static_cast<uint8_t>(ComboGetSel(IDC_QUALITY));
    s.iSampleRate = TextValueOr(*this, IDC_SAMPLERATE, 44100);
    s.uChannels = static_cast<uint8_t>(ComboGetSel(IDC_CHANNELS) + 1);
    WriteOggSettings(s);
    return true;
}

// ---- FLAC dialog ----

LFlacEncodeDlg::LFlacEncodeDlg(LFlacSettings& settings)
    : LDialog("Flac Encoder Settings"), settings_(settings) {
    using K = LControl::Kind;
    AddControl(IDC_COMPRESSION, K::Combo,
               "Compression Level (Higher level = longer encoding time)");
    AddControl(IDC_SAMPLERATE, K::Combo, "Sample Rate");
    AddControl(IDC_CHANNELS, K::Combo, "Channels");
    AddControl(IDC_DEFAULTS, K::Button, "Restore Defaults");
}

void LFlacEncodeDlg::InitDialog() {
    ComboFill(IDC_COMPRESSION, FlacCompressionList());
    ComboSetSel(IDC_COMPRESSION, settings_.uCompression);
    ComboFill(IDC_SAMPLERATE, EncoderSampleRateList());
    ComboSelectString(*this, IDC_SAMPLERATE, std::to_string(settings_.iSampleRate));
    ComboFill(IDC_CHANNELS, EncoderChannelList());
    ComboSetSel(IDC_CHANNELS, settings_.uChannels - 1);
}

void LFlacEncodeDlg::CmCommand(int id, int code) {
    (void)code;
    if (id == IDC_DEFAULTS) CmRestoreDefaults();
}

void LFlacEncodeDlg::CmRestoreDefaults() {
    ComboSetSel(IDC_COMPRESSION, 4);
    ComboSelectString(*this, IDC_SAMPLERATE, "44100");
    ComboSetSel(IDC_CHANNELS, 1);
}

bool LFlacEncodeDlg::CmOk() {
    LFlacSettings& s = settings_;
    if (ComboGetSel(IDC_COMPRESSION) >= 0)
        s.uCompression = static_cast<uint8_t>(ComboGetSel(IDC_COMPRESSION));
    s.iSampleRate = TextValueOr(*this, IDC_SAMPLERATE, 44100);
    s.uChannels = static_cast<uint8_t>(ComboGetSel(IDC_CHANNELS) + 1);
    WriteFlacSettings(s);
    return true;
}

// ---- AAC dialog ----

LAACEncodeDlg::LAACEncodeDlg(LAACSettings& settings)
    : LDialog("AAC / M4A Encoder Settings"), settings_(settings) {
    using K = LControl::Kind;
    AddControl(IDC_ABR, K::Radio, "Average Bitrate (ABR)").iGroup = 1;
    AddControl(IDC_ABRRATE, K::Combo, "Bitrate (kbps):");
    AddControl(IDC_VBR, K::Radio, "Variable Bitrate (VBR)").iGroup = 1;
    AddControl(IDC_QUALITY, K::Combo,
               "Quality (%) (Higher quality = Larger file) Note: 100% = approx. 120kbps VBR");
    AddControl(IDC_SAMPLERATE, K::Combo, "Sample Rate");
    AddControl(IDC_CHANNELS, K::Combo, "Channels");
    AddControl(IDC_MPEG2, K::Check, "Force MPEG2 Output");
    AddControl(IDC_NOTNS, K::Check, "Disable Temporal Noise Shaping");
    AddControl(IDC_DEFAULTS, K::Button, "Restore Defaults");
}

void LAACEncodeDlg::InitDialog() {
    SetCheck(IDC_ABR, settings_.bAverageBitRate);
    SetCheck(IDC_VBR, !settings_.bAverageBitRate);
    ComboFill(IDC_ABRRATE, EncoderBitRateList());
    ComboSelectString(*this, IDC_ABRRATE, std::to_string(settings_.uABRBitRate));
    ComboFill(IDC_QUALITY, AACQualityList());
    ComboSetText(*this, IDC_QUALITY, std::to_string(settings_.uVBRQuality));
    SetCheck(IDC_MPEG2, settings_.bForceMPEG2);
    SetCheck(IDC_NOTNS, settings_.bDisableTNS);
    ComboFill(IDC_SAMPLERATE, EncoderSampleRateList());
    ComboSelectString(*this, IDC_SAMPLERATE, std::to_string(settings_.iSampleRate));
    ComboFill(IDC_CHANNELS, EncoderChannelList());
    ComboSetSel(IDC_CHANNELS, settings_.uChannels - 1);
}

void LAACEncodeDlg::EnableControls() {
    Enable(IDC_ABRRATE, IsChecked(IDC_ABR));
    Enable(IDC_QUALITY, IsChecked(IDC_VBR));
}

void LAACEncodeDlg::CmCommand(int id, int code) {
    (void)code;
    if (id == IDC_DEFAULTS) CmRestoreDefaults();
}

void LAACEncodeDlg::CmRestoreDefaults() {
    SetCheck(IDC_VBR, true);
    SetCheck(IDC_ABR, false);
    ComboSelectString(*this, IDC_ABRRATE, "128");
    ComboSetSel(IDC_QUALITY, 2);
    ComboSetText(*this, IDC_QUALITY, "100");
    SetCheck(IDC_MPEG2, false);
    SetCheck(IDC_NOTNS, false);
    ComboSelectString(*this, IDC_SAMPLERATE, "44100");
    ComboSetSel(IDC_CHANNELS, 1);
}

bool LAACEncodeDlg::CmOk() {
    LAACSettings& s = settings_;
    s.bAverageBitRate = IsChecked(IDC_ABR);
    s.uABRBitRate = static_cast<uint16_t>(ParseDecimal(ComboText(*this, IDC_ABRRATE)));
    s.uVBRQuality = static_cast<uint16_t>(TextValueOr(*this, IDC_QUALITY, 100));
    s.bForceMPEG2 = IsChecked(IDC_MPEG2);
    s.bDisableTNS = IsChecked(IDC_NOTNS);
    s.iSampleRate = TextValueOr(*this, IDC_SAMPLERATE, 44100);
    s.uChannels = static_cast<uint8_t>(ComboGetSel(IDC_CHANNELS) + 1);
    WriteAACSettings(s);
    return true;
}

int ShowOggSettings(LOggSettings& settings) {
    LOggEncodeDlg dlg(settings);
    return dlg.DoModal();
}

int ShowFlacSettings(LFlacSettings& settings) {
    LFlacEncodeDlg dlg(settings);
    return dlg.DoModal();
}

int ShowAACSettings(LAACSettings& settings) {
    LAACEncodeDlg dlg(settings);
    return dlg.DoModal();
}

}  // namespace sonvex
