#include "FuzzUtil.h"
#include "formats/vox/VoxFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvex;
    LSoundSourceRef src(new LSRCVOX(LByteSource::FromMemory(data, size), 8000));
    fuzz::Exercise(src);
    // Arbitrary sample values through the encoder.
    LSoundSinkRef sink(new LSNKVOX(fuzz::InputPath(".out.vox").c_str(), 8000));
    std::vector<int32_t> buf(size / 4 + 1);
    for (size_t i = 0; i + 4 <= size; i += 4)
        buf[i / 4] = static_cast<int32_t>(data[i] | (data[i + 1] << 8) | (data[i + 2] << 16) |
                                          (uint32_t{data[i + 3]} << 24));
    sink->Write(buf.data(), static_cast<int>(buf.size()));
    return 0;
}
