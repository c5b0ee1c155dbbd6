#include "encoders/Mp3Encoder.h"

#include <algorithm>

#include "encoders/Components.h"
#include "platform/Debug.h"
#include "support/Settings.h"

namespace sonvex {

namespace {
constexpr const char* kSection = "MP3Encoder";
const char* const kModeLetters[] = {"s", "j", "f", "m"};

const std::vector<std::string>& QualityList() {
    static const std::vector<std::string> v = {"0 (Highest)", "1", "2", "3", "4",
                                               "5",           "6", "7", "8", "9 (Lowest)"};
    return v;
}

const std::vector<std::string>& ModeList() {
    static const std::vector<std::string> v = {"Stereo", "Joint", "Force", "Mono"};
    return v;
}
}  // namespace

LMp3Settings ReadMp3Settings() {
    LMp3Settings s;
    s.bConstantBitRate = SettingsReadFlag(kSection, "ConstantBitRate", false);
    s.uCBRBitRate = static_cast<uint16_t>(SettingsReadInt(kSection, "CBRBitRate", 128));
    s.bHighQuality = SettingsReadFlag(kSection, "HighQuality", true);
    s.uVBRMinBitRate = static_cast<uint16_t>(SettingsReadInt(kSection, "VBRMinBitRate", 32));
    s.uVBRMaxBitRate = static_cast<uint16_t>(SettingsReadInt(kSection, "VBRMaxBitRate", 128));
    s.uVBRQuality = static_cast<uint8_t>(SettingsReadInt(kSection, "VBRQuality", 4));
    s.bErrorProtection = SettingsReadFlag(kSection, "ErrorProtection", false);
    s.uChannelMode = static_cast<uint8_t>(SettingsReadInt(kSection, "ChannelMode", 1));
    if (s.uVBRMaxBitRate > 160 && s.uVBRMinBitRate < 32) s.uVBRMinBitRate = 32;
    return s;
}

void WriteMp3Settings(const LMp3Settings& s) {
    SettingsWriteFlag(kSection, "ConstantBitRate", s.bConstantBitRate);
    SettingsWriteInt(kSection, "CBRBitRate", s.uCBRBitRate);
    SettingsWriteFlag(kSection, "HighQuality", s.bHighQuality);
    SettingsWriteInt(kSection, "VBRMinBitRate", s.uVBRMinBitRate);
    SettingsWriteInt(kSection, "VBRMaxBitRate", s.uVBRMaxBitRate);
    SettingsWriteInt(kSection, "VBRQuality", s.uVBRQuality);
    SettingsWriteFlag(kSection, "ErrorProtection", s.bErrorProtection);
    SettingsWriteInt(kSection, "ChannelMode", s.uChannelMode);
}

LEncoderPlan LMP3EncodePipe::Plan(const std::string& componentPath, const std::string& path,
                                  const LMp3Settings& s, int32_t sourceRate, int sourceChans) {
    const int rateSetting = s.bConstantBitRate ? s.uCBRBitRate : s.uVBRMaxBitRate;
    const int low = s.bConstantBitRate ? s.uCBRBitRate : s.uVBRMinBitRate;

    int32_t r = std::min<int32_t>(sourceRate, 48000);
    if (rateSetting > 160 && sourceRate < 32000) {
        r = 44100;
    } else {
        if (low < 32 && r > 22050) r = 22050;
        if (r > 44100 && r < 48000) r = 44100;
        if (r > 32000 && r < 44100) r = 44100;
        if (r > 24000 && r < 32000) r = 32000;
        if (r > 22050 && r < 24000) r = 22050;
        if (r > 16000 && r < 22050) r = 22050;
        if (r > 11025 && r < 16000) r = 11025;
        if (r > 8000 && r < 11025) r = 11025;
        if (r < 8000) r = 8000;
    }

    // MP3 holds one or two channels; more are mixed down to two before the pipe.
    int k = std::clamp(sourceChans, 1, 2);
    if (low < 24) k = 1;

    int m = s.uChannelMode > 3 ? 1 : s.uChannelMode;
    if (rateSetting < 24) m = 3;
    if (k == 2) {
        if (m == 3) m = 0;
    } else {
        m = 3;
    }

    LEncoderPlan plan;
    plan.rate = r;
    plan.nChans = k;
    LCommandLine& c = plan.commandLine;
    c.Quoted(componentPath);
    c.Optionf(" -m %s", kModeLetters[m]);
    if (s.bErrorProtection) c.Options(" -p");
    if (s.bConstantBitRate) {
        c.Optionf(" -b %d", s.uCBRBitRate);
        if (s.bHighQuality) c.Options(" -h");
    } else {
        c.Optionf(" -v -b %d -B %d -V %d", s.uVBRMinBitRate, s.uVBRMaxBitRate, s.uVBRQuality);
    }
    c.Optionf(" -r -x -s %d.%.3d -S - ", r / 1000, r % 1000);
    c.Quoted(path);
    return plan;
}

LSoundSinkRef LMP3EncodePipe::OpenMp3Sink(const std::string& path, const LMp3Settings& s,
                                          int32_t sourceRate, int sourceChans) {
    return OpenComponentSink("mp3el", "OpenMp3Sink mp3el component not found",
                             [&](const std::string& component) {
                                 return Plan(component, path, s, sourceRate, sourceChans);
                             });
}

LMp3EncodeDlg::LMp3EncodeDlg(LMp3Settings& settings)
    : LDialog("MP3 Encoder Settings"), settings_(settings) {
    using K = LControl::Kind;
    AddControl(IDC_CBR, K::Radio, "Constant Bitrate (CBR)").iGroup = 1;
    AddControl(IDC_CBRRATE, K::Combo, "Bitrate (kbps):");
    AddControl(IDC_HIGHQUALITY, K::Check, "High quality encoding (slower)");
    AddControl(IDC_VBR, K::Radio, "Variable Bitrate (VBR)").iGroup = 1;
    AddControl(IDC_VBRMIN, K::Combo, "Minimum Bitrate (kbps)");
    AddControl(IDC_VBRMAX, K::Combo, "Maximum Bitrate (kbps)");
    AddControl(IDC_QUALITY, K::Combo, "Quality (Higher quality = Larger file)");
    AddControl(IDC_CHANNELMODE, K::Combo, "Stereo Encoding");
    AddControl(IDC_CRC, K::Check, "Include CRC to detect errors");
    AddControl(IDC_DEFAULTS, K::Button, "Restore Defaults");
}

void LMp3EncodeDlg::InitDialog() {
    SetCheck(IDC_CBR, settings_.bConstantBitRate);
    SetCheck(IDC_VBR, !settings_.bConstantBitRate);
    for (int id : {IDC_CBRRATE, IDC_VBRMIN, IDC_VBRMAX}) ComboFill(id, EncoderBitRateList());
    ComboSelectString(*this, IDC_CBRRATE, std::to_string(settings_.uCBRBitRate));
    ComboSelectString(*this, IDC_VBRMIN, std::to_string(settings_.uVBRMinBitRate));
    ComboSelectString(*this, IDC_VBRMAX, std::to_string(settings_.uVBRMaxBitRate));
    SetCheck(IDC_HIGHQUALITY, settings_.bHighQuality);
    SetCheck(IDC_CRC, settings_.bErrorProtection);
    ComboFill(IDC_QUALITY, QualityList());
    ComboSetSel(IDC_QUALITY, settings_.uVBRQuality);
    ComboFill(IDC_CHANNELMODE, ModeList());
    ComboSetSel(IDC_CHANNELMODE, settings_.uChannelMode);
}

void LMp3EncodeDlg::EnableControls() {
    const bool cbr = IsChecked(IDC_CBR);
    const bool vbr = IsChecked(IDC_VBR);
    for (int id : {IDC_CBRRATE, IDC_HIGHQUALITY}) Enable(id, cbr);
    for (int id : {IDC_VBRMIN, IDC_VBRMAX, IDC_QUALITY}) Enable(id, vbr);
}

void LMp3EncodeDlg::CmCommand(int id, int code) {
    (void)code;
    if (id == IDC_DEFAULTS) CmRestoreDefaults();
}

void LMp3EncodeDlg::CmRestoreDefaults() {
    SetCheck(IDC_VBR, true);
    SetCheck(IDC_CBR, false);
    ComboSelectString(*this, IDC_CBRRATE, "128");
    SetCheck(IDC_HIGHQUALITY, true);
    ComboSelectString(*this, IDC_VBRMIN, "32");
    ComboSelectString(*this, IDC_VBRMAX, "128");
    ComboSetSel(IDC_QUALITY, 4);
    SetCheck(IDC_CRC, false);
    ComboSetSel(IDC_CHANNELMODE, 1);
}

bool LMp3EncodeDlg::CmOk() {
    LMp3Settings& s = settings_;
    s.bConstantBitRate = IsChecked(IDC_CBR);
    s.uCBRBitRate = static_cast<uint16_t>(ParseDecimal(ComboText(*this, IDC_CBRRATE)));
    s.uVBRMinBitRate = static_cast<uint16_t>(ParseDecimal(ComboText(*this, IDC_VBRMIN)));
    s.uVBRMaxBitRate = static_cast<uint16_t>(ParseDecimal(ComboText(*this, IDC_VBRMAX)));
    // Nothing selected (a stored value outside the list) keeps the value.
    if (ComboGetSel(IDC_QUALITY) >= 0)
        s.uVBRQuality = static_cast<uint8_t>(ComboGetSel(IDC_QUALITY));
    if (ComboGetSel(IDC_CHANNELMODE) >= 0)
        s.uChannelMode = static_cast<uint8_t>(ComboGetSel(IDC_CHANNELMODE));
    s.bHighQuality = IsChecked(IDC_HIGHQUALITY);
    s.bErrorProtection = IsChecked(IDC_CRC);
    WriteMp3Settings(s);
    return true;
}

int ShowMp3Settings(LMp3Settings& settings) {
    LMp3EncodeDlg dlg(settings);
    return dlg.DoModal();
}

}  // namespace sonvex
