#include "FuzzUtil.h"
#include "formats/gsm/GsmCodec.h"
#include "formats/gsm/GsmFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvex;
    LSoundSourceRef src(new LGSMFileSource(LByteSource::FromMemory(data, size)));
    fuzz::Exercise(src, 4);
    // Arbitrary sample values, far beyond full scale, through the encoder and back.
    LGSMEncoderState enc;
    LGSMDecoderState dec;
    int32_t pcm[kGsmFrameSamples];
    uint8_t frame[kGsmFrameBytes];
    for (size_t off = 0; off + 4 * kGsmFrameSamples <= size && off < 8 * 640; off += 640) {
        for (int k = 0; k < kGsmFrameSamples; ++k) {
            const uint8_t* p = data + off + 4 * k;
            pcm[k] =
                static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24));
        }
        LGSMFrame::EncodeNormal(enc, pcm, frame);
        LGSMFrame::DecodeNormal(dec, frame, pcm);
    }
    return 0;
}
