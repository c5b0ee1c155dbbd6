// Opening RIFF WAVE files for reading and writing.
#pragma once

#include <cstdint>
#include <string>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "formats/wav/WaveFormat.h"

namespace sonvex {

class LWaveFile {
public:
    // Never empty: a null source with ErrorState 4 (cannot open), 3 (not a usable WAV file) or
    // 5 (a format no installed codec decodes).
    static LSoundSourceRef OpenSource(const std::string& path);
    static LSoundSinkRef OpenSink(const std::string& path, const WAVEFORMATEX& format);
    // 0-8 bits: 8-bit sink; 9-16: 16-bit sink; more: no sink.
    static LSoundSinkRef OpenSinkPCM(const std::string& path, int32_t rate, int bits, int channels);
};

}  // namespace sonvex
