// Headerless raw audio: the settings record that describes such files, its two stored
// sections, the opener for sources and sinks, and the logic of the settings dialog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "support/Dialog.h"

namespace sonvex {

inline constexpr std::string_view kRawAudioSection = "RawAudio";
inline constexpr std::string_view kVoxAudioSection = "VoxAudio";

struct LRawSettings {
    int32_t SampleRate = 44100;
    uint8_t nChans = 1;
    int32_t iCodec = 3;
};

// Defaults of a section: "VoxAudio" 8000 Hz, 1 channel, codec 0; any other 44100, 1, 3.
LRawSettings DefaultRawSettings(std::string_view section);
// Reads "SampleRate", "Channels" and "Codec" fresh; absent or empty values take the section's
// default and a channel count of 0 becomes 1.
LRawSettings ReadRawSettings(std::string_view section);
void WriteRawSettings(std::string_view section, const LRawSettings& settings);

class LRawFile {
public:
    // Codec 0 opens the VOX source (mono); 1 to 6 the codec's data source over the whole file;
    // any other codec a null source with ErrorState 1.
    static LSoundSourceRef OpenSource(const std::string& path, const LRawSettings& settings);
    // Codec 0 opens the VOX sink (mono); 1 to 6 the codec's headerless data sink; any other
    // codec no sink.
    static LSoundSinkRef OpenSink(const std::string& path, const LRawSettings& settings);
};

// Display names of the codecs, in codec order.
const char* RawCodecName(int iCodec);

// "Codec Settings": codec, sample rate and channels of raw output and input.
class LRawSettingsDialog : public LDialog {
public:
    enum : int { IDC_FORMAT = 101, IDC_SAMPLE = 102, IDC_CHANNELS = 103, kHelpContext = 941 };

    LRawSettingsDialog(LRawSettings& settings, std::string_view section);

    void InitDialog() override;
    bool CmOk() override;
    void CmHelp() override;

private:
    LRawSettings& settings_;
    std::string szSection_;
};

}  // namespace sonvex
