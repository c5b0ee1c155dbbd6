// The output formats and the sink for each: support checks, options dialogs, sink opening.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "audio/SoundSink.h"
#include "formats/wav/WaveFormat.h"

namespace sonvex {

// The format box, in order (the output formats of the format registry).
std::vector<std::string_view> FormatBoxFormats();

// True when the format can be written now; may install a missing encoder on demand.
bool LGenSinkIsSupported(std::string_view format);
// True when a helper program (an encoder component) writes the format.
bool LGenSinkIsEncoder(std::string_view format);
// Shows the format's options; 1 when confirmed (or no options), 0 when cancelled or unknown.
int LGenSinkCheckSettings(std::string_view format, int32_t rate = 0, int channels = 0);
// The sink for an output path by its extension; empty when the format has no sink.
LSoundSinkRef LGenSinkOpenSink(const std::string& path, int32_t rate, int channels);

// The stored WAV output record ("WavCodec.wff" in the user data folder) read over the default
// PCM 16-bit record of the given rate and channels.
WAVEFORMATEX ReadStoredWaveFormat(int32_t rate, int channels);
// Writes the 1024-byte "WavCodec.wff" block; false when it cannot be written.
bool WriteStoredWaveFormat(const WAVEFORMATEX& format);
std::string StoredWaveFormatPath();

}  // namespace sonvex
