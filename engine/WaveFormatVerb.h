// The console's way to choose the stored WAV output format ("-wavformat"), stored in
// "WavCodec.wff" as the format chooser stores it.
#pragma once

#include <string>

namespace sonvex {

// value: FORMAT[,RATE[,CHANNELS[,BITS]]], FORMAT a name ("pcm", "ima-adpcm", "mp3", ...) or a
// format tag (17, 0x11); BITS the bits per sample, or the bit rate in kbit/s for "mp3" and
// "mp2". Defaults: 44100 Hz, 2 channels, the format's first depth (16 for PCM). False, with a
// message and nothing stored, for a value that names no format or a format no codec writes.
bool LWaveFormatVerb(const std::string& value);

}  // namespace sonvex
