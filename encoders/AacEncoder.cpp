#include "encoders/AacEncoder.h"

#include <algorithm>

#include "encoders/Components.h"
#include "platform/Debug.h"
#include "support/Settings.h"

namespace sonvex {

namespace {
constexpr const char* kAAC = "AACEncoder";

const std::vector<std::string>& AACQualityList() {
    static const std::vector<std::string> v = {"10",  "50",  "100", "150", "200", "250",
                                               "300", "350", "400", "450", "500"};
    return v;
}
}  // namespace

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

LEncoderPlan LAACEncodePipe::Plan(const std::string& componentPath, const std::string& path,
                                  const LAACSettings& s) {
    int32_t r = s.iSampleRate;
    if (s.bAverageBitRate) {
        if (s.uABRBitRate >= 56 && s.uABRBitRate <= 96 && r == 8000 && s.uChannels == 1)
            r = 11025;
        else if (s.uABRBitRate > 64 && r < 22050 && s.uChannels == 1)
            r = 22050;
    }
    int k = ClampEncoderChannels(s.uChannels);
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
    s.uVBRQuality = static_cast<uint16_t>(ComboValueOr(*this, IDC_QUALITY, 100));
    s.bForceMPEG2 = IsChecked(IDC_MPEG2);
    s.bDisableTNS = IsChecked(IDC_NOTNS);
    s.iSampleRate = ComboValueOr(*this, IDC_SAMPLERATE, 44100);
    s.uChannels = static_cast<uint8_t>(ComboGetSel(IDC_CHANNELS) + 1);
    WriteAACSettings(s);
    return true;
}

int ShowAACSettings(LAACSettings& settings) {
    LAACEncodeDlg dlg(settings);
    return dlg.DoModal();
}

}  // namespace sonvex
