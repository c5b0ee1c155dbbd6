// GSM 06.10 full-rate speech codec (RPE-LTP): 160 samples at 8000 Hz in a 33-byte frame.
// Frame layout, parameters, quantisation tables and coding stages are the standard's; the
// fixed-point arithmetic is this codec's own and not bit-exact with the reference coder.
// Samples are exchanged in the internal scale (16-bit << 4); the codec works at half the
// 16-bit scale.
#pragma once

#include <cstdint>

namespace sonvex {

inline constexpr int kGsmFrameSamples = 160;
inline constexpr int kGsmFrameBytes = 33;

struct LGSMEncoderState {
    int16_t LARppPrev[8];
    int16_t dp[280];     // 120 reconstructed residual samples of the past, then the current frame
    int64_t iPreviousS;  // pre-emphasis memory: previous offset-compensated sample
    int32_t iPreviousX;  // offset compensation: previous input sample
    int64_t L_z2;        // offset compensation accumulator (input scale << 10)
    int16_t u[8];        // short-term analysis filter memory

    LGSMEncoderState() { Reset(); }
    void Reset();
};

struct LGSMDecoderState {
    int16_t LARppPrev[8];
    int16_t drp[280];
    int64_t iPreviousY;  // de-emphasis memory: previous output sample
    int16_t v[9];        // short-term synthesis filter memory
    int16_t nrp;         // previous valid LTP lag

    LGSMDecoderState() { Reset(); }
    void Reset();
};

// The coded parameters of one frame.
struct LGSMParams {
    int16_t LARc[8];  // stored minus MIC: 0 .. MAC - MIC
    int16_t Nc[4], bc[4], Mc[4], xmaxc[4];
    int16_t xMc[4][13];
};

class LGSMFrame {
public:
    static void EncodeNormal(LGSMEncoderState& state, const int32_t* pSamples,
                             uint8_t frame[kGsmFrameBytes]);
    static void DecodeNormal(LGSMDecoderState& state, const uint8_t frame[kGsmFrameBytes],
                             int32_t* pSamples);

    // The 33-byte packing: signature 0xD, then the 260 parameter bits, most significant first.
    static void Pack(const LGSMParams& p, uint8_t frame[kGsmFrameBytes]);
    static void Unpack(const uint8_t frame[kGsmFrameBytes], LGSMParams& p);
};

}  // namespace sonvex
