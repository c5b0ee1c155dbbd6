#include "formats/wav/WaveFormatDialog.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/codec/CodecStream.h"

namespace sonvex {

namespace {

const int kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000};

// The format of a record as the chooser lists it (an extensible record by its sub-format).
uint16_t ChooserTag(const WAVEFORMATEX& w) {
    if (w.wFormatTag == 0xFFFE && w.extra.size() >= 8) return GetLE16(&w.extra[6]);
    return w.wFormatTag;
}

}  // namespace

LWaveFileFormat::LWaveFileFormat(WAVEFORMATEX& format, const char* title, int channels)
    : LDialog(title), format_(format), nChannelsOnly_(channels) {
    AddControl(IDC_FORMAT, LControl::Kind::Combo, "Format");
    AddControl(IDC_RATE, LControl::Kind::Combo, "Sample rate (Hz)");
    AddControl(IDC_CHANNELS, LControl::Kind::Combo, "Channels");
    AddControl(IDC_BITS, LControl::Kind::Combo, "Bits per sample");
    AddControl(IDC_ATTRIBUTES, LControl::Kind::Static, "Attributes");
}

bool LWaveFileFormat::TestSupportedRecord(const WAVEFORMATEX& format) {
    if (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample <= 16)
        return format.nChannels >= 1 && format.nSamplesPerSec >= 1;
    const std::vector<uint8_t> record = format.Serialize();
    const std::vector<uint8_t> pcm =
        WAVEFORMATEX::Pcm16(format.nSamplesPerSec, format.nChannels).Serialize();
    std::unique_ptr<LCodecStream> none;
    return LCodecStream::Open(none, pcm, record, kCodecOpenQuery) == LCodecResult::Ok ||
           LCodecStream::Open(none, pcm, record, kCodecOpenQuery | kCodecOpenNonRealtime) ==
               LCodecResult::Ok;
}

WAVEFORMATEX LWaveFileFormat::MakeRecord(uint16_t tag, uint32_t rate, uint16_t channels,
                                         uint32_t bits) {
    if (tag == WAVE_FORMAT_PCM && (bits == 8 || bits == 16)) {
        WAVEFORMATEX w = WAVEFORMATEX::Pcm16(rate, channels);
        w.wBitsPerSample = static_cast<uint16_t>(bits);
        w.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
        w.nAvgBytesPerSec = rate * w.nBlockAlign;
        return w;
    }
    const std::vector<uint8_t> r = CodecSuggestRecord(tag, rate, channels, bits);
    if (!r.empty()) return WAVEFORMATEX::Parse(r.data(), r.size());
    WAVEFORMATEX w = WAVEFORMATEX::Pcm16(rate, channels);
    w.wFormatTag = tag;
    w.wBitsPerSample = static_cast<uint16_t>(bits);
    w.nBlockAlign = 0;  // no codec writes this choice
    return w;
}

std::string LWaveFileFormat::Describe(const WAVEFORMATEX& format) {
    return CodecDescribeRecord(format.Serialize());
}

bool LWaveFileFormat::Choose(WAVEFORMATEX& format, const char* title, int channels) {
    for (;;) {
        WAVEFORMATEX choice = format;
        LWaveFileFormat dlg(choice, title, channels);
        if (dlg.DoModal() != IDOK) return false;
        if (TestSupportedRecord(choice)) {
            format = choice;
            return true;
        }
        dlg.Message(
            "The requested format is not available because the required CODEC is not installed "
            "on this computer.",
            "Format Not Available", MsgButtons::Ok, MsgIcon::Error);
    }
}

void LWaveFileFormat::InitDialog() {
    std::vector<std::string> names;
    int fsel = 0;
    const uint16_t tag = ChooserTag(format_);
    for (const LCodecFormatTag& t : CodecFormatTags()) {
        if (t.wFormatTag == tag) fsel = static_cast<int>(names.size());
        names.emplace_back(t.szName);
    }
    ComboFill(IDC_FORMAT, names);
    ComboSetSel(IDC_FORMAT, fsel);
    std::vector<std::string> rates;
    int sel = 5;  // 44100 unless the record names another listed rate
    for (size_t i = 0; i < std::size(kRates); ++i) {
        rates.push_back(std::to_string(kRates[i]));
        if (static_cast<uint32_t>(kRates[i]) == format_.nSamplesPerSec) sel = static_cast<int>(i);
    }
    ComboFill(IDC_RATE, rates);
    ComboSetSel(IDC_RATE, sel);
    if (nChannelsOnly_ == 1 || nChannelsOnly_ == 2) {
        ComboFill(IDC_CHANNELS, {nChannelsOnly_ == 1 ? "Mono" : "Stereo"});
        ComboSetSel(IDC_CHANNELS, 0);
    } else {
        ComboFill(IDC_CHANNELS, {"Mono", "Stereo"});
        ComboSetSel(IDC_CHANNELS, format_.nChannels == 1 ? 0 : 1);
    }
    const LCodecFormatTag& t = CodecFormatTags()[static_cast<size_t>(fsel)];
    FillBits(t.bBitRate ? (format_.nAvgBytesPerSec * 8 + 500) / 1000 : format_.wBitsPerSample);
    EnableControls();
}

void LWaveFileFormat::FillBits(uint32_t select) {
    const int f = ComboGetSel(IDC_FORMAT);
    const LCodecFormatTag& t = CodecFormatTags()[static_cast<size_t>(f < 0 ? 0 : f)];
    std::vector<std::string> items;
    int sel = 0;
    for (size_t i = 0; i < t.bits.size(); ++i) {
        items.push_back(std::to_string(t.bits[i]) + (t.bBitRate ? " kbit/s" : ""));
        if (t.bits[i] == select) sel = static_cast<int>(i);
    }
    if (t.wFormatTag == WAVE_FORMAT_PCM && select != 8 && select != 24 && select != 32) sel = 1;
    ComboFill(IDC_BITS, items);
    ComboSetSel(IDC_BITS, sel);
}

void LWaveFileFormat::CmCommand(int id, int) {
    if (id == IDC_FORMAT) FillBits(0);
}

WAVEFORMATEX LWaveFileFormat::Selected() {
    const int f = ComboGetSel(IDC_FORMAT), r = ComboGetSel(IDC_RATE), c = ComboGetSel(IDC_CHANNELS),
              b = ComboGetSel(IDC_BITS);
    if (f < 0 || r < 0 || c < 0 || b < 0) return format_;
    const LCodecFormatTag& t = CodecFormatTags()[static_cast<size_t>(f)];
    const uint16_t channels =
        static_cast<uint16_t>(nChannelsOnly_ == 1 || nChannelsOnly_ == 2 ? nChannelsOnly_ : c + 1);
    return MakeRecord(t.wFormatTag, static_cast<uint32_t>(kRates[r]), channels,
                      t.bits[static_cast<size_t>(b)]);
}

void LWaveFileFormat::EnableControls() {
    const WAVEFORMATEX w = Selected();
    SetText(IDC_ATTRIBUTES, TestSupportedRecord(w) ? Describe(w) : "Not available");
}

bool LWaveFileFormat::CmOk() {
    if (ComboGetSel(IDC_FORMAT) < 0 || ComboGetSel(IDC_RATE) < 0 || ComboGetSel(IDC_CHANNELS) < 0 ||
        ComboGetSel(IDC_BITS) < 0)
        return false;
    format_ = Selected();
    return true;
}

}  // namespace sonvex
