// Opening RIFF WAVE files for reading and writing.
#pragma once

#include <cstdint>
#include <string>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "formats/wav/WaveFormat.h"
#include "support/ByteSource.h"

namespace sonvex {

class LWaveFile {
public:
    // Never empty: a null source with ErrorState 4 (cannot open), 3 (not a usable WAV file) or
    // 5 (a format no installed codec decodes).
    static LSoundSourceRef OpenSource(const std::string& path);
    // The same over bytes from memory or a window onto a file (a WAV embedded in another).
    static LSoundSourceRef OpenSource(LByteSource&& bytes);
    static LSoundSinkRef OpenSink(const std::string& path, const WAVEFORMATEX& format);
    // 0-8 bits: 8-bit sink; 9-16: 16-bit sink; more: no sink.
    static LSoundSinkRef OpenSinkPCM(const std::string& path, int32_t rate, int bits, int channels);
};

}  // namespace sonvex
