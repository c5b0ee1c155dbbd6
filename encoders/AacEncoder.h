// AAC/M4A output: stored options, the options dialog and the opener of the encoder pipe
// (component "aacenc", ".aac" and ".m4a" alike). The rate and channel count come from the
// stored options.
#pragma once

#include <cstdint>
#include <string>

#include "encoders/EncoderCommon.h"

namespace sonvex {

struct LAACSettings {
    uint8_t bAverageBitRate = 0;
    uint16_t uABRBitRate = 128;
    uint16_t uVBRQuality = 100;
    uint8_t bForceMPEG2 = 0;
    uint8_t bDisableTNS = 0;
    uint8_t uChannels = 2;
    int32_t iSampleRate = 44100;
};

LAACSettings ReadAACSettings();
void WriteAACSettings(const LAACSettings& s);

class LAACEncodePipe {
public:
    // Empty when "aacenc" is not registered. ".aac" and ".m4a" alike.
    static LSoundSinkRef OpenAACSink(const std::string& path, const LAACSettings& s);
    static LEncoderPlan Plan(const std::string& componentPath, const std::string& path,
                             const LAACSettings& s);
};

class LAACEncodeDlg : public LDialog {
public:
    enum : int {
        IDC_ABR = 102,
        IDC_ABRRATE = 103,
        IDC_VBR = 105,
        IDC_MPEG2 = 106,
        IDC_NOTNS = 107,
        IDC_QUALITY = 108,
        IDC_SAMPLERATE = 109,
        IDC_CHANNELS = 110,
        IDC_DEFAULTS = 111,
    };
    explicit LAACEncodeDlg(LAACSettings& settings);
    void InitDialog() override;
    bool CmOk() override;
    void EnableControls() override;
    void CmCommand(int id, int code) override;
    void CmRestoreDefaults();

private:
    LAACSettings& settings_;
};

// Shows the options for the record; IDOK when confirmed (the record is then stored).
int ShowAACSettings(LAACSettings& settings);

}  // namespace sonvex
