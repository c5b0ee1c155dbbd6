// Feeds arbitrary bytes as a file to the DSS decoder component's reader and decoders, through
// its five functions as the decoder job calls them.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "components/dss32-src/Dss32.h"

extern "C" int DSSInitDecoder(int, uint32_t*);
extern "C" int DSSActiveFolder(const char*, int);
extern "C" int DSSActiveFile(const char*, uint32_t*, uint8_t*);
extern "C" int DSSStartDecoding(int);
extern "C" int DSSDecodeToPCM(const void**, int*);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/sonvex_fuzz_" + std::to_string(getpid()) + ".dss";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    static uint32_t config = DSS32_CONFIG_DEFAULT;
    if (DSSInitDecoder(0, &config) != 0) return 0;
    DSSActiveFolder("/tmp", 0);
    uint32_t length = 0;
    uint8_t type = 0;
    if (DSSActiveFile(path.c_str(), &length, &type) != 0 || DSSStartDecoding(0) != 0) return 0;
    const size_t bytes = type == DSS32_TYPE_LP ? 2 * DSS32_LP_SAMPLES : 2 * DSS32_SP_SAMPLES;
    volatile uint8_t sum = 0;
    for (int frames = 0; frames < 100000; ++frames) {
        const void* buffer = nullptr;
        int kind = 0;
        const int more = DSSDecodeToPCM(&buffer, &kind);
        if (!buffer) break;
        const auto* p = static_cast<const uint8_t*>(buffer);
        sum = sum + p[0] + p[bytes - 1];
        if (!more) break;
    }
    return 0;
}
