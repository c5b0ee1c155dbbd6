// Compressed (non-PCM) WAV data goes through the codec manager. Without a codec manager in
// this build, such a file opens as "no codec installed" and such a sink is unusable.
#pragma once

#include <string>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "formats/wav/WaveFormat.h"
#include "support/ByteSource.h"
#include "support/File.h"

namespace sonvex {

// The source for a non-PCM data chunk; ErrorState 5 when no codec decodes the format.
LSoundSourceRef OpenACMWaveSource(LByteSource&& file, const WAVEFORMATEX& format,
                                  uint32_t dataSize);

// The sink for a non-PCM record. It never touches the output path while it has no codec.
class LSNKACMFile final : public LSoundSinkBase {
public:
    LSNKACMFile(const std::string& path, const WAVEFORMATEX& format);
    void Write(const int32_t* pBuffer, int frames) override;
};

}  // namespace sonvex
