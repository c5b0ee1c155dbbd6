// Ogg Vorbis, FLAC and AAC/M4A output: stored options, options dialogs and the openers of the
// encoder pipes (components "oggenc", "flacenc", "aacenc"). Unlike MP3 these encoders take
// their rate and channel count from the stored options, not from the source.
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

struct LFlacSettings {
    uint8_t uCompression = 4;
    uint8_t uChannels = 2;
    int32_t iSampleRate = 44100;
};

struct LAACSettings {
    uint8_t bAverageBitRate = 0;
    uint16_t uABRBitRate = 128;
    uint16_t uVBRQuality = 100;
    uint8_t bForceMPEG2 = 0;
    uint8_t bDisableTNS = 0;
    uint8_t uChannels = 2;
    int32_t iSampleRate = 44100;
};

// Section "OggEncoder", with the fix-up (a maximum above 160 lifts a minimum below 32 to 32).
LOggSettings ReadOggSettings();
void WriteOggSettings(const LOggSettings& s);
LFlacSettings ReadFlacSettings();
void WriteFlacSettings(const LFlacSettings& s);
LAACSettings ReadAACSettings();
void WriteAACSettings(const LAACSettings& s);

class LOggEncodePipe {
public:
    // Empty when "oggenc" is not registered.
    static LSoundSinkRef OpenOggSink(const std::string& path, const LOggSettings& s);
    static LEncoderPlan Plan(const std::string& componentPath, const std::string& path,
                             const LOggSettings& s);
};

class LFlacEncodePipe {
public:
    // Empty when "flacenc" is not registered.
    static LSoundSinkRef OpenFlacSink(const std::string& path, const LFlacSettings& s);
    static LEncoderPlan Plan(const std::string& componentPath, const std::string& path,
                             const LFlacSettings& s);
};

class LAACEncodePipe {
public:
    // Empty when "aacenc" is not registered. ".aac" and ".m4a" alike.
    static LSoundSinkRef OpenAACSink(const std::string& path, const LAACSettings& s);
    static LEncoderPlan Plan(const std::string& componentPath, const std::string& path,
                             const LAACSettings& s);
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

// Show the options for the record; IDOK when confirmed (the record is then stored).
int ShowOggSettings(LOggSettings& settings);
int ShowFlacSettings(LFlacSettings& settings);
int ShowAACSettings(LAACSettings& settings);

}  // namespace sonvex
