#include "FuzzUtil.h"
#include "formats/aiff/AifFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvex;
    LSoundSourceRef src = LAifFile::OpenSource(LByteSource::FromMemory(data, size));
    fuzz::Exercise(src);
    return 0;
}
