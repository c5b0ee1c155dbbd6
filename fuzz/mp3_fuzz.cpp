// libFuzzer target: open an MP3 stream, read it to its end and seek around in it.
#include <cstdint>
#include <vector>

#include "formats/mp3/MP3Source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<int32_t> buf(static_cast<size_t>(sonvex::kBlockFrames) * 2);
    sonvex::LMP3Source src(sonvex::LByteSource::FromMemory(data, size));
    if (src.ErrorState != 0) {
        src.Read(buf.data(), 100);
        return 0;
    }
    // Read to the end (a stream of n bytes holds far fewer than n frames of 1152).
    for (int i = 0; i < 4096 && src.GetPosition() < src.GetLength(); ++i)
        src.Read(buf.data(), sonvex::kBlockFrames);
    // Seeks and partial reads driven by the input's last bytes.
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    for (int k = 0; k < 4; ++k) {
        h = h * 1103515245u + 12345u;
        int32_t len = src.GetLength();
        int32_t span = len + 20000;
        int32_t p = static_cast<int32_t>(h % static_cast<uint32_t>(span > 0 ? span : 1)) - 10000;
        src.Seek(p);
        src.Read(buf.data(), 1 + static_cast<int>((h >> 8) % sonvex::kBlockFrames));
        src.Read(buf.data(), sonvex::kBlockFrames);
    }
    return 0;
}
