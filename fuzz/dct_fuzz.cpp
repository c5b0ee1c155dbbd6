#include "FuzzUtil.h"
#include "formats/dct/DCTFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvex;
    // The header's file length must match the size to get far; patch it in half of the runs.
    std::vector<uint8_t> bytes(data, data + size);
    if (size >= 6 && (size & 1)) {
        for (int i = 0; i < 4; ++i) bytes[2 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    std::string message;
    LSoundSourceRef src = LDCTFile::OpenSource(LByteSource::FromMemory(std::move(bytes)), &message);
    fuzz::Exercise(src, 4);
    return 0;
}
