#include "FuzzUtil.h"
#include "formats/aiff/AifFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvex;
    LSoundSourceRef src = LAifFile::OpenSource(fuzz::WriteInput(data, size, ".aif"));
    fuzz::Exercise(src);
    return 0;
}
