// FLAC output: stored options, the options dialog and the opener of the encoder pipe
// (component "flacenc"). The rate and channel count come from the stored options.
#pragma once

#include <cstdint>
#include <string>

#include "encoders/EncoderCommon.h"

namespace sonvex {

struct LFlacSettings {
    uint8_t uCompression = 4;
    uint8_t uChannels = 2;
    int32_t iSampleRate = 44100;
};

LFlacSettings ReadFlacSettings();
void WriteFlacSettings(const LFlacSettings& s);

class LFlacEncodePipe {
public:
    // Empty when "flacenc" is not registered.
    static LSoundSinkRef OpenFlacSink(const std::string& path, const LFlacSettings& s);
    static LEncoderPlan Plan(const std::string& componentPath, const std::string& path,
                             const LFlacSettings& s);
};

class LFlacEncodeDlg : public LDialog {
public:
    enum : int {
        IDC_COMPRESSION = 101,
        IDC_SAMPLERATE = 102,
        IDC_CHANNELS = 103,
        IDC_DEFAULTS = 104,
    };
    explicit LFlacEncodeDlg(LFlacSettings& settings);
    void InitDialog() override;
    bool CmOk() override;
    void CmCommand(int id, int code) override;
    void CmRestoreDefaults();

private:
    LFlacSettings& settings_;
};

// Shows the options for the record; IDOK when confirmed (the record is then stored).
int ShowFlacSettings(LFlacSettings& settings);

}  // namespace sonvex
