// MP3 output: the stored options, the options dialog and the opener of the encoder pipe
// (component "mp3el", LAME option syntax).
#pragma once

#include <cstdint>
#include <string>

#include "encoders/EncoderCommon.h"

namespace sonvex {

struct LMp3Settings {
    uint8_t bConstantBitRate = 0;
    uint16_t uCBRBitRate = 128;
    uint8_t bHighQuality = 1;
    uint16_t uVBRMinBitRate = 32;
    uint16_t uVBRMaxBitRate = 128;
    uint8_t uVBRQuality = 4;
    uint8_t bErrorProtection = 0;
    uint8_t uChannelMode = 1;  // 0 stereo, 1 joint, 2 force, 3 mono
};

// Reads section "MP3Encoder" with its defaults and the fix-up (a maximum above 160 lifts a
// minimum below 32 to 32).
LMp3Settings ReadMp3Settings();
void WriteMp3Settings(const LMp3Settings& s);

class LMP3EncodePipe {
public:
    // The pipe sink for the output path; empty when "mp3el" is not registered.
    static LSoundSinkRef OpenMp3Sink(const std::string& path, const LMp3Settings& s,
                                     int32_t sourceRate, int sourceChans);
    // The rate, channels and command line for a component path.
    static LEncoderPlan Plan(const std::string& componentPath, const std::string& path,
                             const LMp3Settings& s, int32_t sourceRate, int sourceChans);
};

class LMp3EncodeDlg : public LDialog {
public:
    enum : int {
        IDC_CHANNELMODE = 101,
        IDC_CBR = 102,
        IDC_CBRRATE = 103,
        IDC_HIGHQUALITY = 104,
        IDC_VBR = 105,
        IDC_VBRMIN = 106,
        IDC_VBRMAX = 107,
        IDC_QUALITY = 108,
        IDC_CRC = 109,
        IDC_DEFAULTS = 110,
    };
    explicit LMp3EncodeDlg(LMp3Settings& settings);

    void InitDialog() override;
    bool CmOk() override;
    void EnableControls() override;
    void CmCommand(int id, int code) override;
    void CmRestoreDefaults();

private:
    LMp3Settings& settings_;
};

// Shows the MP3 options for the record; IDOK when confirmed (the record is then stored).
int ShowMp3Settings(LMp3Settings& settings);

}  // namespace sonvex
