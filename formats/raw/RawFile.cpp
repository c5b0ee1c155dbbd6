#include "formats/raw/RawFile.h"

#include "formats/pcm/RawFileData.h"
#include "formats/pcm/SampleCodecs.h"
#include "formats/vox/VoxFile.h"
#include "platform/Debug.h"
#include "support/Settings.h"

namespace sonvex {

namespace {

constexpr const char* kCodecNames[kCodecCount] = {
    "Dialogic ADPCM", "G711 uLaw",    "G711 aLaw",      "16 bit PCM (LE)",
    "8 bit unsigned", "8 bit signed", "16 bit PCM (BE)"};

constexpr int kRateChoices[] = {6000,  8000,  11025, 16000, 22050, 32000,
                                44100, 48000, 64000, 88200, 96000, 196000};

constexpr int kMinRate = 6000;
constexpr int kMaxRate = 196000;

}  // namespace

const char* RawCodecName(int iCodec) {
    return iCodec >= 0 && iCodec < kCodecCount ? kCodecNames[iCodec] : "";
}

LRawSettings DefaultRawSettings(std::string_view section) {
    LRawSettings s;
    if (CaseInsensitiveEqual(section, kVoxAudioSection)) {
        s.SampleRate = 8000;
        s.nChans = 1;
        s.iCodec = kCodecVox;
    } else {
        s.SampleRate = 44100;
        s.nChans = 1;
        s.iCodec = kCodecPcm16LE;
    }
    return s;
}

LRawSettings ReadRawSettings(std::string_view section) {
    LRawSettings def = DefaultRawSettings(section);
    LRawSettings s;
    s.SampleRate = SettingsReadInt(section, "SampleRate", def.SampleRate);
    s.nChans = static_cast<uint8_t>(SettingsReadInt(section, "Channels", def.nChans));
    if (s.nChans == 0) s.nChans = 1;
    s.iCodec = SettingsReadInt(section, "Codec", def.iCodec);
    return s;
}

void WriteRawSettings(std::string_view section, const LRawSettings& settings) {
    SettingsWriteInt(section, "SampleRate", settings.SampleRate);
    SettingsWriteInt(section, "Channels", settings.nChans == 0 ? 1 : settings.nChans);
    SettingsWriteInt(section, "Codec", settings.iCodec);
}

LSoundSourceRef LRawFile::OpenSource(const std::string& path, const LRawSettings& settings) {
    if (settings.iCodec == kCodecVox)
        return LSoundSourceRef(new LSRCVOX(path.c_str(), settings.SampleRate));
    if (CodecBytesPerSample(settings.iCodec) == 0) {
        DebugLog("LRawFile::OpenSource unknown codec %d", settings.iCodec);
        return MakeErrorSource(LSRC_NULL);
    }
    LByteSource file = LByteSource::OpenFile(path);
    if (!file.IsOpen()) {
        DebugLog("LRawFile::OpenSource Unable to open file: %s", path.c_str());
        return MakeErrorSource(LSRC_CANNOT_OPEN);
    }
    return LSoundSourceRef(NewRawFileDataSource(settings.iCodec, std::move(file),
                                                settings.SampleRate, kUnknownDataLength,
                                                settings.nChans));
}

LSoundSinkRef LRawFile::OpenSink(const std::string& path, const LRawSettings& settings) {
    if (settings.iCodec == kCodecVox)
        return LSoundSinkRef(new LSNKVOX(path.c_str(), settings.SampleRate));
    if (CodecBytesPerSample(settings.iCodec) == 0) {
        DebugLog("LRawFile::OpenSink unknown codec %d", settings.iCodec);
        return LSoundSinkRef();
    }
    return LSoundSinkRef(NewRawFileDataSink(settings.iCodec, path.c_str(), settings.SampleRate,
                                            WriteHeaderNone, settings.nChans));
}

LRawSettingsDialog::LRawSettingsDialog(LRawSettings& settings, std::string_view section)
    : LDialog("Codec Settings"), settings_(settings), szSection_(section) {
    AddControl(IDC_FORMAT, LControl::Kind::Combo, "Format");
    // An editable list: any rate may be typed, the usual ones are offered.
    AddControl(IDC_SAMPLE, LControl::Kind::Edit, "Sample");
    AddControl(IDC_CHANNELS, LControl::Kind::Combo, "Channels");
}

void LRawSettingsDialog::InitDialog() {
    ComboFill(IDC_FORMAT, std::vector<std::string>(kCodecNames, kCodecNames + kCodecCount));
    ComboSetSel(IDC_FORMAT, settings_.iCodec);
    std::vector<std::string> rates;
    for (int r : kRateChoices) rates.push_back(std::to_string(r));
    if (LControl* c = Control(IDC_SAMPLE)) c->items = rates;
    SetInt(IDC_SAMPLE, settings_.SampleRate);
    ComboFill(IDC_CHANNELS, {"1 - Mono", "2 - Stereo"});
    ComboSetSel(IDC_CHANNELS, settings_.nChans - 1);
}

bool LRawSettingsDialog::CmOk() {
    settings_.iCodec = ComboGetSel(IDC_FORMAT);
    int rate = ParseDecimal(GetText(IDC_SAMPLE));
    if (rate < kMinRate || rate > kMaxRate) {
        Message("Please enter a sample rate between 6000 and 196000.", "Error", MsgButtons::Ok,
                MsgIcon::Error);
        return false;
    }
    settings_.SampleRate = rate;
    settings_.nChans = static_cast<uint8_t>(ComboGetSel(IDC_CHANNELS) + 1);
    WriteRawSettings(szSection_, settings_);
    return true;
}

void LRawSettingsDialog::CmHelp() {
    OpenWebPage("help/" + std::to_string(kHelpContext));
}

}  // namespace sonvex
