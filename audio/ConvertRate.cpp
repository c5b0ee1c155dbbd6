#include "audio/ConvertRate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "platform/Debug.h"

namespace sonvex {

namespace {

constexpr int kTaps = LRateFilter::kTaps;
constexpr int kFirstHalf = 33;  // taps 0..32 form s1, taps 33..62 form s2
// Largest source to target ratios: 5/2 for one converter, 9 for the plain two-converter plan
// and 32 for a first converter to four times the target.
constexpr int kMaxSingleNum = 5, kMaxSingleDen = 2;
constexpr int kMaxWideRatio = 9;
constexpr int kMaxDecimatorRatio = 32;

// The 16-bit kernel. A coefficient c (|c| < 65536) is split as c = 256 * hi + lo with hi and lo
// both 16-bit, so c * x = 256 * (hi * x) + lo * x for a normalised sample x. Each partial sum
// of 16-bit products stays far inside 32 bits, and 16-bit pair products are what the SIMD
// multiply-add of the target (pmaddwd on x86) works on. Rows hold taps 0..32 then 7 zeros
// (s1, 40 values), then taps 33..62 and 2 zeros (s2, 32 values, read from tap 33 on).
constexpr int kHalf1 = 40;
constexpr int kHalf2 = 32;
constexpr int kSplitRow = kHalf1 + kHalf2;

int32_t ClampToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

long double BesselI0(long double x) {
    // First seven terms of sum (x^2/4)^k / (k!)^2.
    const long double q = x * x / 4;
    long double term = 1, sum = 1;
    for (int k = 1; k <= 6; ++k) {
        term *= q / (static_cast<long double>(k) * k);
        sum += term;
    }
    return sum;
}

// Fixed-length dot products of 16-bit values; constant trip counts without remainder, which
// the compiler turns into multiply-add vector code.
struct Dot2 {
    int32_t hi = 0, lo = 0;
    int64_t Value() const { return int64_t{hi} * 256 + lo; }
};

template <int N>
inline Dot2 DotSplit(const int16_t* __restrict h, const int16_t* __restrict l,
                     const int16_t* __restrict x) {
    Dot2 d;
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) {
        d.hi += h[k] * x[k];
        d.lo += l[k] * x[k];
    }
    return d;
}

}  // namespace

void LRateFilter::Design(int32_t a, int32_t b, bool bWideTransition) {
    const long double d = static_cast<long double>(a) / b;

    // Rational approximation d ~ M / L with L <= 255.
    long double best = d;
    int32_t L = 1;
    for (int i = 1; i <= 255; ++i) {
        const auto n = static_cast<uint16_t>(static_cast<int64_t>(std::floor(d * i + 0.5L)));
        const long double e = std::fabs(d - static_cast<long double>(n) / i);
        if (e < best) {
            L = i;
            if (e < 0.001L) break;
            best = e;
        }
    }
    int64_t M = static_cast<int64_t>(std::floor(d * L + 0.5L));
    if (M < 1) {
        // Upsampling by more than the table can express: take the largest ratio it can.
        DebugLog("LSRCConvertRate::LSRCConvertRate ratio %d/%d beyond 255 phases", b, a);
        L = 255;
        M = 1;
    }
    nPhases = L;
    nStep = static_cast<int32_t>(M);

    long double g, beta;
    if (a < b) {
        g = 0.975L;
        beta = 2.12L;
    } else {
        g = static_cast<long double>(b) / a - (bWideTransition ? 0.09375L : 0.046875L);
        beta = 4.538L;
    }
    const long double i0Beta = BesselI0(beta);
    const long double pi = std::numbers::pi_v<long double>;

    coefficients.assign(static_cast<size_t>(L) * kTaps, 0);
    for (int j = 0; j < L; ++j) {
        int32_t* row = &coefficients[static_cast<size_t>(j) * kTaps];
        for (int k = 0; k < kTaps; ++k) {
            const long double h = (k - 31) - static_cast<long double>(j) / L;
            if (h == 0) {
                row[k] = static_cast<int32_t>(g * 65536 + 0.5L);
                continue;
            }
            const long double x = pi * g * h;
            const long double window = BesselI0(beta * std::sqrt(1 - h * h / 1024)) / i0Beta;
            const long double value = 65536 * g * (std::sin(x) / x) * window;
            row[k] = static_cast<int32_t>(std::lround(value));
        }
    }
}

LSRCConvertRate::LSRCConvertRate(const LSoundSourceRef& source, int32_t targetRate,
                                 bool bWideTransition)
    : LSRCFilterBase(source) {
    SetSampleRate(targetRate);
    filter_.Design(pSource->SampleRate, SampleRate, bWideTransition);
    if (MaxAmplitude <= 0x100000) MaxAmplitude *= 2;

    const int L = filter_.nPhases;
    coefHi_.assign(static_cast<size_t>(L) * kSplitRow, 0);
    coefLo_.assign(static_cast<size_t>(L) * kSplitRow, 0);
    for (int j = 0; j < L; ++j) {
        const int32_t* row = filter_.Row(j);
        const size_t base = static_cast<size_t>(j) * kSplitRow;
        for (int k = 0; k < kTaps; ++k) {
            const size_t at = base + (k < kFirstHalf ? k : kHalf1 + k - kFirstHalf);
            coefHi_[at] = static_cast<int16_t>(row[k] >> 8);
            coefLo_[at] = static_cast<int16_t>(row[k] & 0xFF);
        }
    }
    planes_.assign(static_cast<size_t>(nChans) * kPlaneFrames, 0);
    work_.assign(static_cast<size_t>(nChans) * kWorkFrames, 0);
}

int32_t LSRCConvertRate::ToOutputFrames(int64_t a) const {
    const int64_t L = filter_.nPhases, M = filter_.nStep;
    return ClampToInt32((a / M) * L + ((a % M) * L) / M);
}

// The frames delivered: the next output frame sits at input (index + phase / L) with
// remainder phase mod L, so frames * M = input * L + remainder exactly.
int32_t LSRCConvertRate::GetPosition() {
    const int64_t a = static_cast<int64_t>(pSource->GetPosition()) + iIndex - kStartIndex;
    const int64_t n = (a * filter_.nPhases + iPhase) / filter_.nStep;
    return ClampToInt32(n);
}

int32_t LSRCConvertRate::GetLength() {
    return ToOutputFrames(pSource->GetLength());
}

void LSRCConvertRate::Seek(int32_t frame) {
    const int64_t L = filter_.nPhases, M = filter_.nStep;
    // Floor division keeps the phase in 0 .. L-1 for negative frames too.
    int64_t q = frame / L, r = frame % L;
    if (r < 0) {
        --q;
        r += L;
    }
    pSource->Seek(ClampToInt32(q * M + (r * M) / L - 31));
    iPhase = static_cast<int32_t>((r * M) % L);
    iIndex = kBlockFrames;
    uShift = 0;
    pSource->Read(&work_[static_cast<size_t>(kBlockFrames) * nChans], kHistory);
}

void LSRCConvertRate::Refill() {
    const size_t n = nChans;
    int32_t* w = work_.data();
    const size_t nHistory = kHistory * n;
    int32_t* tail = w + kBlockFrames * n;
    for (size_t i = 0; i < nHistory; ++i)
        w[i] = ClampToInt32(static_cast<int64_t>(tail[i]) * (int64_t{1} << uShift));
    pSource->Read(w + nHistory, kBlockFrames);

    const size_t total = kWorkFrames * n;
    int32_t lo = 0, hi = 0;
    for (size_t i = 0; i < total; ++i) {
        lo = std::min(lo, w[i]);
        hi = std::max(hi, w[i]);
    }
    const int64_t p = std::max<int64_t>(hi, -static_cast<int64_t>(lo));
    int shift = 0;
    while ((p >> shift) > 0x7FFF) ++shift;
    if (shift > 0 && p < (int64_t{1} << 30)) {
        const int32_t half = 1 << (shift - 1);
        for (size_t i = 0; i < total; ++i) w[i] = (w[i] + half) >> shift;
    } else if (shift > 0) {
        const int64_t half = int64_t{1} << (shift - 1);
        for (size_t i = 0; i < total; ++i)
            w[i] = static_cast<int32_t>((static_cast<int64_t>(w[i]) + half) >> shift);
    }

    // Planar 16-bit copy for the kernel. Rounding can lift a block's peak to +0x8000, which
    // 16 bits cannot hold; such a block takes the exact 32-bit path instead.
    int32_t top = 0;
    for (size_t ch = 0; ch < n; ++ch) {
        int16_t* plane = &planes_[ch * kPlaneFrames];
        const int32_t* from = w + ch;
        for (int f = 0; f < kWorkFrames; ++f) {
            top = std::max(top, from[f * n]);
            plane[f] = static_cast<int16_t>(from[f * n]);
        }
    }
    bPlanes_ = top <= 0x7FFF;
    uShift = static_cast<uint8_t>(shift);
    iOutShift = static_cast<int8_t>(15 - shift);
    iRounding = iOutShift > 0 ? int64_t{1} << (iOutShift - 1) : 0;
    iIndex -= kBlockFrames;
}

inline int32_t LSRCConvertRate::Finish(int64_t s1, int64_t s2) const {
    const int64_t t = (s1 >> 1) + (s2 >> 1) + iRounding;
    if (iOutShift >= 0) return ClampToInt32(t >> iOutShift);
    return ClampToInt32(t * (int64_t{1} << -iOutShift));
}

// The 63-tap inner products on the 16-bit planes, written out for one and two channels;
// other counts run the one-channel product on each plane.
inline int32_t LSRCConvertRate::ProductPlane(const int16_t* x) const {
    const int16_t* h = &coefHi_[static_cast<size_t>(iPhase) * kSplitRow];
    const int16_t* l = &coefLo_[static_cast<size_t>(iPhase) * kSplitRow];
    const Dot2 a = DotSplit<kHalf1>(h, l, x);
    const Dot2 b = DotSplit<kHalf2>(h + kHalf1, l + kHalf1, x + kFirstHalf);
    return Finish(a.Value(), b.Value());
}

inline void LSRCConvertRate::FrameStereo(int32_t* pOut) const {
    const int16_t* h = &coefHi_[static_cast<size_t>(iPhase) * kSplitRow];
    const int16_t* l = &coefLo_[static_cast<size_t>(iPhase) * kSplitRow];
    const int16_t* xl = &planes_[static_cast<size_t>(iIndex)];
    const int16_t* xr = xl + kPlaneFrames;
    const Dot2 a = DotSplit<kHalf1>(h, l, xl);
    const Dot2 b = DotSplit<kHalf2>(h + kHalf1, l + kHalf1, xl + kFirstHalf);
    const Dot2 c = DotSplit<kHalf1>(h, l, xr);
    const Dot2 d = DotSplit<kHalf2>(h + kHalf1, l + kHalf1, xr + kFirstHalf);
    pOut[0] = Finish(a.Value(), b.Value());
    pOut[1] = Finish(c.Value(), d.Value());
}

// Exact 64-bit products on the interleaved work buffer, for blocks the planes cannot hold.
void LSRCConvertRate::FrameExact(int32_t* pOut) const {
    const size_t n = nChans;
    const int32_t* row = filter_.Row(iPhase);
    const int32_t* x = &work_[static_cast<size_t>(iIndex) * n];
    for (size_t ch = 0; ch < n; ++ch) {
        int64_t s1 = 0, s2 = 0;
        for (int k = 0; k < kFirstHalf; ++k) s1 += int64_t{row[k]} * x[k * n + ch];
        for (int k = kFirstHalf; k < kTaps; ++k) s2 += int64_t{row[k]} * x[k * n + ch];
        pOut[ch] = Finish(s1, s2);
    }
}

void LSRCConvertRate::Read(int32_t* pBuffer, int frames) {
    const int32_t L = filter_.nPhases, M = filter_.nStep;
    const int n = nChans;
    for (int f = 0; f < frames; ++f, pBuffer += n) {
        iIndex += iPhase / L;
        iPhase %= L;
        // More than one refill only when a step spans more than a block (ratios beyond 8192).
        while (iIndex >= kBlockFrames) Refill();
        if (!bPlanes_) {
            FrameExact(pBuffer);
        } else if (n == 1) {
            pBuffer[0] = ProductPlane(&planes_[static_cast<size_t>(iIndex)]);
        } else if (n == 2) {
            FrameStereo(pBuffer);
        } else {
            for (int ch = 0; ch < n; ++ch)
                pBuffer[ch] = ProductPlane(&planes_[ch * size_t{kPlaneFrames} + iIndex]);
        }
        iPhase += M;
    }
}

void LSPConvertRate::OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) {
    const int32_t target = iParameter;
    if (source->ErrorState != LSRC_OK || source->SampleRate == target) {
        result = source;
        return;
    }
    LSoundSourceRef src = source;
    if (target > 0 && src->SampleRate > int64_t{kMaxWideRatio} * target) {
        // The wide converter to twice the target keeps tones up to 0.4 x target only while the
        // source is at most about 9.6 times the target (its cut-off 2b/a - 0.09375 shrinks to
        // nothing). Above nine times, a first converter goes to four times the target; its pass
        // band, about 2 x target - 3/64 x source, holds 0.4 x target up to 34 times, so larger
        // ratios are halved first.
        while (src->SampleRate > int64_t{kMaxDecimatorRatio} * target)
            src = new LSRCConvertRate(src, src->SampleRate - src->SampleRate / 2, false);
        src = new LSRCConvertRate(src, 4 * target, false);
        src = new LSRCConvertRate(src, 2 * target, true);
    } else if (int64_t{kMaxSingleDen} * src->SampleRate > int64_t{kMaxSingleNum} * target) {
        // One converter's pass band, about target / 2 - 3/64 x source, holds 0.4 x target
        // within 0.5 dB only up to 2.5 times (4:1 is 5 dB down there); above, the wide
        // converter to twice the target goes first.
        src = new LSRCConvertRate(src, 2 * target, true);
    }
    result = new LSRCConvertRate(src, target, false);
}

}  // namespace sonvex
