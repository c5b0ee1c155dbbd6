// The Add dialog's filter rows: the text shown, then the patterns (";"-separated).
#pragma once

#include <array>
#include <string_view>

namespace sonvex {

struct LFileFilter {
    std::string_view szText;
    std::string_view szPattern;
};

inline constexpr std::string_view kAddFilesTitle = "Locate Audio File(s)";
inline constexpr std::array<LFileFilter, 17> kAddFileFilters{{
    {"Audio Files",
     "*.WAV;*.MP3;*.OGG;*.WMA;*.AIF;*.AIFF;*.AU;*.RA;*.RAM;*.FLAC;*.AAC;*.GSM;*.VOX;*.RAW;*.DSS;"
     "*.DCT;*.M4A;*.MP2;*.SRI;*.MPGA;*.MSV;*.DVF"},
    {"Wave Files (*.wav)", "*.WAV"},
    {"MPEG Layer-3 Files (*.mp3, *.mp2, *.mpga)", "*.MP3"},
    {"Ogg Vorbis Files (*.ogg)", "*.OGG"},
    {"Windows Media Audio Files (*.wma)", "*.WMA"},
    {"Apple AIFF Files (*.aif, *.aiff)", "*.AIF;*.AIFF"},
    {"Sun AU Files (*.au)", "*.AU"},
    {"Real Audio Files (*.ra, *.ram)", "*.RA;*.RAM"},
    {"FLAC Files (*.flac)", "*.FLAC"},
    {"AAC Files (*.aac, *.m4a)", "*.AAC;*.M4A"},
    {"GSM Files (*.gsm)", "*.GSM"},
    {"Dialogic Vox Files (*.vox)", "*.VOX"},
    {"Raw Audio Files (*.raw)", "*.RAW"},
    {"DSS Files (*.dss)", "*.DSS"},
    {"VoiceIt Files (*.sri)", "*.SRI"},
    {"Dictation Files (*.dct)", "*.DCT"},
    {"All Other Files", "*.*"},
}};

}  // namespace sonvex
