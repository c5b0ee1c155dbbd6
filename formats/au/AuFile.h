// Sun/NeXT AU files: mu-law, A-law, 8-bit and 16-bit linear input; 16-bit linear output.
// The header is handled here; the sample data go through the file-backed data source and sink.
#pragma once

#include <cstdint>
#include <string>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "formats/pcm/RawFileData.h"
#include "support/ByteSource.h"

namespace sonvex {

inline constexpr uint32_t AUMAGICHEADER = 0x2E736E64;  // ".snd"
inline constexpr int32_t kAuHeaderBytes = 24;

class LAuFile {
public:
    // ErrorState 4: cannot open; 3: shorter than 24 bytes, wrong magic, 0 or more than 255
    // channels, a rate outside 1..kMaxHeaderRate, or a data offset inside the header; 5: an
    // encoding other than 1, 2, 3 and 27. A data size past the end of the file is cut to it.
    static LSoundSourceRef OpenSource(const std::string& path);
    static LSoundSourceRef OpenSource(LByteSource&& bytes);
    // True when the file opens and begins with the ".snd" magic.
    static bool HasMagic(const std::string& path);
    static LSoundSinkRef OpenSink(const std::string& path, int32_t rate, int nChannels);
};

// Writes the 24-byte header at the current position; data size 0xFFFFFFFF unless finishing.
int32_t WriteHeaderAU(LRawFileDataSoundSinkBase& sink, bool finishing);

}  // namespace sonvex
