// Ogg Vorbis output: stored options, the options dialog and the opener of the encoder pipe
// (component "oggenc"). The rate and channel count come from the stored options.
#pragma once

#include <cstdint>
#include <string>

#include "encoders/EncoderCommon.h"

namespace sonvex {

struct LOggSettings {
    uint8_t bAverageBitRate = 0;
    uint16_t uABRBitRate = 128;
    uint16_t uVBRMinBitRate = 96;
    uint16_t uVBRMaxBitRate = 128;
    uint8_t uVBRQuality = 4;
    uint8_t uChannels = 2;  // absent values are the dialog's defaults
    int32_t iSampleRate = 44100;
};

// Section "OggEncoder", with the fix-up (a maximum above 160 lifts a minimum below 32 to 32).
LOggSettings ReadOggSettings();
void WriteOggSettings(const LOggSettings& s);

class LOggEncodePipe {
public:
    // Empty when "oggenc" is not registered.
    static LSoundSinkRef OpenOggSink(const std::string& path, const LOggSettings& s);
    static LEncoderPlan Plan(const std::string& componentPath, const std::string& path,
                             const LOggSettings& s);
};

class LOggEncodeDlg : public LDialog {
public:
    enum : int {
        IDC_ABR = 102,
        IDC_ABRRATE = 103,
        IDC_VBR = 105,
        IDC_VBRMIN = 106,
        IDC_VBRMAX = 107,
        IDC_QUALITY = 108,
        IDC_SAMPLERATE = 109,
        IDC_CHANNELS = 110,
        IDC_DEFAULTS = 111,
    };
    explicit LOggEncodeDlg(LOggSettings& settings);
    void InitDialog() override;
    bool CmOk() override;
    void EnableControls() override;
    void CmCommand(int id, int code) override;
    void CmRestoreDefaults();

private:
    LOggSettings& settings_;
};

// Shows the options for the record; IDOK when confirmed (the record is then stored).
int ShowOggSettings(LOggSettings& settings);

}  // namespace sonvex
