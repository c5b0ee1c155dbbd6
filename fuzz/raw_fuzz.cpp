// The first two bytes choose the codec and channel count; the rest is the file. The samples
// read are written back through the same codec, with arbitrary values mixed in.
#include "FuzzUtil.h"
#include "formats/raw/RawFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvex;
    if (size < 2) return 0;
    LRawSettings s{8000 + data[0] * 1000, static_cast<uint8_t>(data[1] % 4), data[0] % 8};
    LSoundSourceRef src = LRawFile::OpenSource(fuzz::WriteInput(data + 2, size - 2, ".raw"), s);
    fuzz::Exercise(src, 4);
    LSoundSinkRef sink = LRawFile::OpenSink(fuzz::InputPath(".out.raw"), s);
    if (sink) {
        std::vector<int32_t> buf(static_cast<size_t>(kBlockFrames) * sink->nChans);
        for (size_t i = 0; i + 4 <= size && i / 4 < buf.size(); i += 4)
            buf[i / 4] = static_cast<int32_t>(data[i] | (data[i + 1] << 8) | (data[i + 2] << 16) |
                                              (uint32_t{data[i + 3]} << 24));
        sink->Write(buf.data(), kBlockFrames);
        sink->Write(buf.data(), static_cast<int>(size % 17));
        sink->Seek(static_cast<int32_t>(size % 5000) - 100);
        sink->Write(buf.data(), 3);
    }
    return 0;
}
