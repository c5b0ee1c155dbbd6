#include "audio/PeakLimit.h"

#include <algorithm>
#include <cstring>

namespace sonvex {

LSRCPeakLimit::LSRCPeakLimit(const LSoundSourceRef& source, int32_t limit)
    : LSRCFilterBase(source) {
    MaxAmplitude = std::min(limit, kMaxLimit);
    nBlock = std::clamp(SampleRate / 35, 20, kBlockFrames);
    nLookAhead = 3 * nBlock;
    nInBlock = nLookAhead;
    for (auto& b : buffers_) b.assign(static_cast<size_t>(nBlock) * nChans, 0);
}

namespace {

// True when every sample lies within [-limit, limit]: x + limit or limit - x has its sign bit
// set exactly for the samples outside. Four lanes of one register's width let -O2 vectorise it.
bool WithinLimit(const int32_t* __restrict p, int64_t count, int32_t limit) {
    constexpr int kLanes = 4;
    const auto m = static_cast<uint32_t>(limit);
    const auto outside = [m](int32_t v) {
        const auto x = static_cast<uint32_t>(v);
        return (x + m) | (m - x);
    };
    uint32_t lanes[kLanes] = {};
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        for (int j = 0; j < kLanes; ++j) lanes[j] |= outside(p[i + j]);
    uint32_t any = lanes[0] | lanes[1] | lanes[2] | lanes[3];
    for (; i < count; ++i) any |= outside(p[i]);
    return (any >> 31) == 0;
}

}  // namespace

int32_t LSRCPeakLimit::BlockGain(const int32_t* pBlock) const {
    const size_t count = static_cast<size_t>(nBlock) * nChans;
    if (WithinLimit(pBlock, static_cast<int64_t>(count), MaxAmplitude)) return kUnity;
    int32_t lo = 0, hi = 0;
    for (size_t i = 0; i < count; ++i) {
        lo = std::min(lo, pBlock[i]);
        hi = std::max(hi, pBlock[i]);
    }
    const int64_t p = std::max<int64_t>(hi, -static_cast<int64_t>(lo));
    if (p <= MaxAmplitude) return kUnity;
    const int64_t limit = MaxAmplitude;
    return static_cast<int32_t>((limit * 512 / ((p + 64) >> 6)) * 512);
}

void LSRCPeakLimit::SetRamp() {
    const int64_t average = (int64_t{g0} + g1 + g2 + g3) >> 2;
    const int32_t t = static_cast<int32_t>(std::min<int64_t>({g1, g2, average}) - iGain);
    iGainStep = t / nBlock;
    iGain += t % nBlock;
}

void LSRCPeakLimit::Prime() {
    pSource->Read(buffers_[0].data(), nBlock);
    g0 = g1 = BlockGain(buffers_[0].data());
    pSource->Read(buffers_[1].data(), nBlock);
    g2 = BlockGain(buffers_[1].data());
    pSource->Read(buffers_[2].data(), nBlock);
    g3 = BlockGain(buffers_[2].data());
    iGain = g1;
    SetRamp();
    nInBlock = 0;
}

void LSRCPeakLimit::Advance() {
    std::swap(buffers_[0], buffers_[1]);  // 0 <- 1, 1 <- old 0
    std::swap(buffers_[1], buffers_[2]);  // 1 <- 2, 2 <- old 0
    g0 = g1;
    g1 = g2;
    g2 = g3;
    pSource->Read(buffers_[2].data(), nBlock);
    g3 = BlockGain(buffers_[2].data());
    SetRamp();
    nInBlock = 0;
}

void LSRCPeakLimit::Read(int32_t* pBuffer, int frames) {
    const int n = nChans;
    while (frames > 0) {
        if (nInBlock >= nBlock) {
            if (nInBlock >= nLookAhead)
                Prime();
            else
                Advance();
        }
        const int take = std::min(nBlock - nInBlock, frames);
        const int32_t* in = buffers_[0].data() + static_cast<size_t>(nInBlock) * n;
        if (iGain >= kUnity && iGainStep == 0) {
            std::memcpy(pBuffer, in, sizeof(int32_t) * static_cast<size_t>(take) * n);
        } else {
            // x * g / 2^24 on 12-bit halves, without the low-by-low term. Widened only so
            // that out-of-range input cannot overflow; in range the result is the same.
            for (int f = 0; f < take; ++f) {
                const int64_t gh = iGain >> 12, gl = iGain & 0xFFF;
                for (int c = 0; c < n; ++c) {
                    const int64_t x = in[f * n + c];
                    const int64_t xh = x >> 12, xl = x & 0xFFF;
                    pBuffer[f * n + c] =
                        static_cast<int32_t>(xh * gh + ((gh * xl) >> 12) + ((xh * gl) >> 12));
                }
                iGain += iGainStep;
            }
        }
        nInBlock += take;
        pBuffer += static_cast<size_t>(take) * n;
        frames -= take;
    }
}

int32_t LSRCPeakLimit::GetPosition() {
    return pSource->GetPosition() + nInBlock - nLookAhead;
}

void LSRCPeakLimit::Seek(int32_t frame) {
    pSource->Seek(frame);
    Prime();
}

void LSPPeakLimit::OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) {
    if (iParameter < source->MaxAmplitude)
        result = new LSRCPeakLimit(source, iParameter);
    else
        result = source;
}

}  // namespace sonvex
