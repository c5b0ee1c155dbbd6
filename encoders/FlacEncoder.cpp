#include "encoders/FlacEncoder.h"

#include <algorithm>

#include "encoders/Components.h"
#include "platform/Debug.h"
#include "support/Settings.h"

namespace sonvex {

namespace {
constexpr const char* kFlac = "FlacEncoder";

const std::vector<std::string>& FlacCompressionList() {
    static const std::vector<std::string> v = {"0 (fastest)", "1", "2", "3",       "4",
                                               "5",           "6", "7", "8 (best)"};
    return v;
}
}  // namespace

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

LEncoderPlan LFlacEncodePipe::Plan(const std::string& componentPath, const std::string& path,
                                   const LFlacSettings& s) {
    LEncoderPlan plan;
    plan.rate = s.iSampleRate;
    plan.nChans = ClampEncoderChannels(s.uChannels);
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
    s.iSampleRate = ComboValueOr(*this, IDC_SAMPLERATE, 44100);
    s.uChannels = static_cast<uint8_t>(ComboGetSel(IDC_CHANNELS) + 1);
    WriteFlacSettings(s);
    return true;
}

int ShowFlacSettings(LFlacSettings& settings) {
    LFlacEncodeDlg dlg(settings);
    return dlg.DoModal();
}

}  // namespace sonvex
