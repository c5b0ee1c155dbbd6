#include "formats/wav/WaveFormatDialog.h"

#include <string>
#include <vector>

namespace sonvex {

namespace {
const int kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000};
const int kBits[] = {8, 16};
}  // namespace

LWaveFileFormat::LWaveFileFormat(WAVEFORMATEX& format, const char* title)
    : LDialog(title), format_(format) {
    AddControl(IDC_RATE, LControl::Kind::Combo, "Sample rate (Hz)");
    AddControl(IDC_CHANNELS, LControl::Kind::Combo, "Channels");
    AddControl(IDC_BITS, LControl::Kind::Combo, "Bits per sample");
}

bool LWaveFileFormat::Choose(WAVEFORMATEX& format, const char* title) {
    LWaveFileFormat dlg(format, title);
    return dlg.DoModal() == IDOK;
}

void LWaveFileFormat::InitDialog() {
    std::vector<std::string> rates;
    int sel = 5;  // 44100 unless the record names another listed rate
    for (size_t i = 0; i < std::size(kRates); ++i) {
        rates.push_back(std::to_string(kRates[i]));
        if (static_cast<uint32_t>(kRates[i]) == format_.nSamplesPerSec) sel = static_cast<int>(i);
    }
    ComboFill(IDC_RATE, rates);
    ComboSetSel(IDC_RATE, sel);
    ComboFill(IDC_CHANNELS, {"Mono", "Stereo"});
    ComboSetSel(IDC_CHANNELS, format_.nChannels == 1 ? 0 : 1);
    ComboFill(IDC_BITS, {"8", "16"});
    ComboSetSel(IDC_BITS, format_.wBitsPerSample == 8 ? 0 : 1);
}

bool LWaveFileFormat::CmOk() {
    int r = ComboGetSel(IDC_RATE), c = ComboGetSel(IDC_CHANNELS), b = ComboGetSel(IDC_BITS);
    if (r < 0 || c < 0 || b < 0) return false;
    WAVEFORMATEX w =
        WAVEFORMATEX::Pcm16(static_cast<uint32_t>(kRates[r]), static_cast<uint16_t>(c + 1));
    w.wBitsPerSample = static_cast<uint16_t>(kBits[b]);
    w.nBlockAlign = static_cast<uint16_t>(w.nChannels * w.wBitsPerSample / 8);
    w.nAvgBytesPerSec = w.nSamplesPerSec * w.nBlockAlign;
    format_ = w;
    return true;
}

}  // namespace sonvex
