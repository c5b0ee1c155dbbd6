#include "encoders/OggEncoder.h"

#include <algorithm>

#include "encoders/Components.h"
#include "platform/Debug.h"
#include "support/Settings.h"

namespace sonvex {

namespace {
constexpr const char* kOgg = "OggEncoder";

const std::vector<std::string>& OggQualityList() {
    static const std::vector<std::string> v = {"0 (Lowest)", "1", "2", "3", "4",           "5",
                                               "6",          "7", "8", "9", "10 (Highest)"};
    return v;
}
}  // namespace

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

LEncoderPlan LOggEncodePipe::Plan(const std::string& componentPath, const std::string& path,
                                  const LOggSettings& s) {
    const int rateSetting = s.bAverageBitRate ? s.uABRBitRate : s.uVBRMaxBitRate;
    const int low = s.bAverageBitRate ? s.uABRBitRate : s.uVBRMinBitRate;
    int32_t r = s.iSampleRate;
    if (rateSetting > 96 && r < 22050)
        r = 22050;
    else if (low < 48 && r > 32000)
        r = 32000;
    int k = ClampEncoderChannels(s.uChannels);
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
    s.iSampleRate = ComboValueOr(*this, IDC_SAMPLERATE, 44100);
    s.uChannels = static_cast<uint8_t>(ComboGetSel(IDC_CHANNELS) + 1);
    WriteOggSettings(s);
    return true;
}

int ShowOggSettings(LOggSettings& settings) {
    LOggEncodeDlg dlg(settings);
    return dlg.DoModal();
}

}  // namespace sonvex
