// Choosing the WAV output format: PCM, or any format the codec manager encodes.
#pragma once

#include <string>

#include "formats/wav/WaveFormat.h"
#include "support/Dialog.h"

namespace sonvex {

class LWaveFileFormat : public LDialog {
public:
    enum : int {
        IDC_FORMAT = 200,
        IDC_RATE = 201,
        IDC_CHANNELS = 202,
        IDC_BITS = 203,  // bits per sample, or kbit/s for MPEG audio
        IDC_ATTRIBUTES = 204,
    };

    // True when a stream from 16-bit PCM (the record's channels and rate) to the record opens.
    static bool TestSupportedRecord(const WAVEFORMATEX& format);
    // Shows the chooser with an initial record until the user cancels (false) or picks a
    // format that TestSupportedRecord accepts (true; the record holds it). channels, when not
    // 0, is the only channel count offered.
    static bool Choose(WAVEFORMATEX& format, const char* title, int channels = 0);
    // The record of a choice: PCM of 8 or 16 bits as it is, any other format as its codec
    // writes it; an unsupported choice gives a record TestSupportedRecord refuses.
    static WAVEFORMATEX MakeRecord(uint16_t tag, uint32_t rate, uint16_t channels, uint32_t bits);
    // "IMA ADPCM, 22,050 Hz, 4 Bit, Stereo, 11 kB/s".
    static std::string Describe(const WAVEFORMATEX& format);

    LWaveFileFormat(WAVEFORMATEX& format, const char* title, int channels = 0);
    void InitDialog() override;
    void CmCommand(int id, int code) override;
    void EnableControls() override;
    bool CmOk() override;

private:
    void FillBits(uint32_t select);
    WAVEFORMATEX Selected();

    WAVEFORMATEX& format_;
    int nChannelsOnly_;
};

}  // namespace sonvex
