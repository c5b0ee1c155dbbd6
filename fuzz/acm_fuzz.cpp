// Feeds a format record and data from memory to the codec manager's source: two bytes give
// the record's length (up to 1024), the record follows, the rest is the data chunk. Reads,
// seeks and reads again.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "formats/wav/AcmWave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t n = std::min<size_t>((data[0] | (data[1] << 8)) % 1025, size - 2);
    const sonvex::WAVEFORMATEX format = sonvex::WAVEFORMATEX::Parse(data + 2, n);
    if (format.nChannels < 1 || format.nChannels > 255 || format.nSamplesPerSec < 1 ||
        format.nSamplesPerSec > 196000)
        return 0;  // the WAV reader refuses these before the codec manager sees them
    const size_t at = 2 + n;
    sonvex::LSoundSourceRef s(new sonvex::LSRCACMWave(
        sonvex::LByteSource::FromMemory(data + at, size - at), format,
        static_cast<uint32_t>(size - at)));
    std::vector<int32_t> buf(static_cast<size_t>(sonvex::kBlockFrames) * s->nChans);
    for (int i = 0; i < 6 && s->GetPosition() < s->GetLength(); ++i)
        s->Read(buf.data(), i & 1 ? sonvex::kBlockFrames : 1000 + i);
    const int32_t len = s->GetLength();
    for (int32_t p : {-300, 0, 1, 777, len / 2, len - 1, len + 5}) {
        s->Seek(p);
        s->Read(buf.data(), 333);
    }
    return 0;
}
