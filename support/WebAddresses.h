// The maker's web addresses, in one place.
#pragma once

#include <string_view>

namespace sonvex {

inline constexpr std::string_view kMakerWebSite = "https://www.verrowave.com/sonvex/";
// Page listing the formats the program writes and reads.
inline constexpr std::string_view kSupportedFormatsPage =
    "https://www.verrowave.com/sonvex/formats.html";
// Page answering codec problems behind failed conversions.
inline constexpr std::string_view kCodecSupportPage =
    "https://www.verrowave.com/sonvex/support/codecs.html";
// Page on the audio formats readable through platform decoders.
inline constexpr std::string_view kAudioFormatsPage =
    "https://www.verrowave.com/sonvex/audio-formats.html";
// Page on the codec needed for ".msv" and ".dvf" dictation files.
inline constexpr std::string_view kSonyCodecPage =
    "https://www.verrowave.com/sonvex/support/msv-dvf.html";

// Page of the VoiceIt add-on that decodes ".sri" files.
inline constexpr std::string_view kVoiceItPage =
    "https://www.verrowave.com/sonvex/support/voiceit.html";

}  // namespace sonvex
