// AIFF files: uncompressed 1- to 16-bit input, 16-bit big-endian output. The header is handled
// here; the sample data go through the file-backed data source and sink.
#pragma once

#include <cstdint>
#include <string>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "formats/pcm/RawFileData.h"
#include "support/ByteSource.h"

namespace sonvex {

class LAifFile {
public:
    // ErrorState 4: cannot open; 3: not an AIFF file this reader understands (also 0 or more
    // than 255 channels, a rate outside 1..kMaxHeaderRate); 5: sampleSize above 16. The length
    // is the "SSND" data, cut to what the file holds.
    static LSoundSourceRef OpenSource(const std::string& path);
    static LSoundSourceRef OpenSource(LByteSource&& bytes);
    static LSoundSinkRef OpenSink(const std::string& path, int32_t rate, int nChannels);
};

inline constexpr int32_t kAiffHeaderBytes = 54;

// Writes the 54-byte header at the current position; provisional sizes unless finishing.
int32_t WriteHeaderAIFF(LRawFileDataSoundSinkBase& sink, bool finishing);

// The 80-bit extended sample rate: read from its exponent and top 32 mantissa bits (rounded
// to the nearest integer, halves up; 0 for a value that is negative, infinite, NaN, below 1 or
// beyond 31 bits), and written exactly.
int32_t AiffRateFromExtended(const uint8_t ext[10]);
void AiffRateToExtended(uint32_t rate, uint8_t ext[10]);

}  // namespace sonvex
