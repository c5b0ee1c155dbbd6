// Feeds arbitrary bytes to the WAV reader from memory, then reads and seeks through the source.
#include <cstdint>
#include <vector>

#include "formats/wav/WaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sonvex::LSoundSourceRef s =
        sonvex::LWaveFile::OpenSource(sonvex::LByteSource::FromMemory(data, size));
    std::vector<int32_t> buf(static_cast<size_t>(sonvex::kBlockFrames) * s->nChans);
    // Read a bounded amount: a header may claim gigabytes that the file does not hold.
    for (int i = 0; i < 4 && s->GetPosition() <= s->GetLength(); ++i) s->Read(buf.data(), 4096);
    const int32_t len = s->GetLength();
    const int32_t seeks[] = {-5000, 0, 1, len / 2, len > 2147483000 ? len : len + 3};
    for (int32_t p : seeks) {
        s->Seek(p);
        s->Read(buf.data(), 1000);
    }
    return 0;
}
