#include "audio/ConvertRate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "support/Debug.h"

namespace sonvex {

namespace {

constexpr int kTaps = LRateFilter::kTaps;
constexpr int kFirstHalf = 33;  // taps 0..32 form s1, taps 33..62 form s2

// Vector-kernel row layouts (int32 values per row).
constexpr int kMonoHalf2 = 36;    // taps 0..32 + 3 zeros, then taps 33..62 at 36
constexpr int kMonoRow = 68;      //   + 2 zeros (the second half reads 2 frames past tap 62)
constexpr int kStereoHalf2 = 68;  // taps 0..32 duplicated (66) + 2 zeros, then taps 33..62
constexpr int kStereoRow = 128;   //   duplicated (60)
constexpr int kPadFrames = 2;     // frames after the work area that the mono kernel may read

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

// Four int32 lanes. Products of a normalised sample (|x| <= 0x8000) and a coefficient
// (|c| < 65536) fit in 32 bits; their sums do not, so each product is accumulated as its
// high 16 bits (arithmetic) and its low 16 bits, which recombine exactly in 64 bits.
typedef int32_t V4 __attribute__((vector_size(16)));

inline V4 Load(const int32_t* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

struct Acc {
    V4 hi = {0, 0, 0, 0};
    V4 lo = {0, 0, 0, 0};
    inline void Mac(const int32_t* c, const int32_t* x) {
        V4 p = Load(c) * Load(x);
        hi += p >> 16;
        lo += p & 0xFFFF;
    }
    // Exact sum of lanes i and i + step (step 1: all four lanes; step 2: lanes i, i + 2).
    int64_t Sum() const {
        return static_cast<int64_t>(hi[0] + hi[1] + hi[2] + hi[3]) * 65536 +
               (lo[0] + lo[1] + lo[2] + lo[3]);
    }
    int64_t SumEven() const {
        return static_cast<int64_t>(hi[0] + hi[2]) * 65536 + (lo[0] + lo[2]);
    }
    int64_t SumOdd() const { return static_cast<int64_t>(hi[1] + hi[3]) * 65536 + (lo[1] + lo[3]); }
};

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
    monoRows_.assign(static_cast<size_t>(L) * kMonoRow, 0);
    stereoRows_.assign(static_cast<size_t>(L) * kStereoRow, 0);
    for (int j = 0; j < L; ++j) {
        const int32_t* row = filter_.Row(j);
        int32_t* m = &monoRows_[static_cast<size_t>(j) * kMonoRow];
        int32_t* s = &stereoRows_[static_cast<size_t>(j) * kStereoRow];
        for (int k = 0; k < kTaps; ++k) {
            const int mi = k < kFirstHalf ? k : kMonoHalf2 + k - kFirstHalf;
            const int si = k < kFirstHalf ? 2 * k : kStereoHalf2 + 2 * (k - kFirstHalf);
            m[mi] = row[k];
            s[si] = s[si + 1] = row[k];
        }
    }
    work_.assign(static_cast<size_t>(nChans) * (kWorkFrames + kPadFrames), 0);
}

int32_t LSRCConvertRate::ToOutputFrames(int64_t a) const {
    const int64_t L = filter_.nPhases, M = filter_.nStep;
    return ClampToInt32((a / M) * L + ((a % M) * L) / M);
}

int32_t LSRCConvertRate::GetPosition() {
    return ToOutputFrames(static_cast<int64_t>(pSource->GetPosition()) + iIndex - kStartIndex);
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
    if (shift > 0) {
        const int64_t half = int64_t{1} << (shift - 1);
        for (size_t i = 0; i < total; ++i)
            w[i] = static_cast<int32_t>((static_cast<int64_t>(w[i]) + half) >> shift);
    }
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

// The 63-tap inner products, written out per channel layout. Each Mac covers four values.
inline void LSRCConvertRate::FrameMono(int32_t* pOut) const {
    const int32_t* c = &monoRows_[static_cast<size_t>(iPhase) * kMonoRow];
    const int32_t* x = &work_[static_cast<size_t>(iIndex)];
    Acc a, b;
    a.Mac(c + 0, x + 0);
    a.Mac(c + 4, x + 4);
    a.Mac(c + 8, x + 8);
    a.Mac(c + 12, x + 12);
    a.Mac(c + 16, x + 16);
    a.Mac(c + 20, x + 20);
    a.Mac(c + 24, x + 24);
    a.Mac(c + 28, x + 28);
    a.Mac(c + 32, x + 32);
    c += kMonoHalf2;
    x += kFirstHalf;
    b.Mac(c + 0, x + 0);
    b.Mac(c + 4, x + 4);
    b.Mac(c + 8, x + 8);
    b.Mac(c + 12, x + 12);
    b.Mac(c + 16, x + 16);
    b.Mac(c + 20, x + 20);
    b.Mac(c + 24, x + 24);
    b.Mac(c + 28, x + 28);
    pOut[0] = Finish(a.Sum(), b.Sum());
}

inline void LSRCConvertRate::FrameStereo(int32_t* pOut) const {
    const int32_t* c = &stereoRows_[static_cast<size_t>(iPhase) * kStereoRow];
    const int32_t* x = &work_[static_cast<size_t>(iIndex) * 2];
    Acc a, b;
    a.Mac(c + 0, x + 0);
    a.Mac(c + 4, x + 4);
    a.Mac(c + 8, x + 8);
    a.Mac(c + 12, x + 12);
    a.Mac(c + 16, x + 16);
    a.Mac(c + 20, x + 20);
    a.Mac(c + 24, x + 24);
    a.Mac(c + 28, x + 28);
    a.Mac(c + 32, x + 32);
    a.Mac(c + 36, x + 36);
    a.Mac(c + 40, x + 40);
    a.Mac(c + 44, x + 44);
    a.Mac(c + 48, x + 48);
    a.Mac(c + 52, x + 52);
    a.Mac(c + 56, x + 56);
    a.Mac(c + 60, x + 60);
    a.Mac(c + 64, x + 64);
    c += kStereoHalf2;
    x += 2 * kFirstHalf;
    b.Mac(c + 0, x + 0);
    b.Mac(c + 4, x + 4);
    b.Mac(c + 8, x + 8);
    b.Mac(c + 12, x + 12);
    b.Mac(c + 16, x + 16);
    b.Mac(c + 20, x + 20);
    b.Mac(c + 24, x + 24);
    b.Mac(c + 28, x + 28);
    b.Mac(c + 32, x + 32);
    b.Mac(c + 36, x + 36);
    b.Mac(c + 40, x + 40);
    b.Mac(c + 44, x + 44);
    b.Mac(c + 48, x + 48);
    b.Mac(c + 52, x + 52);
    b.Mac(c + 56, x + 56);
    pOut[0] = Finish(a.SumEven(), b.SumEven());
    pOut[1] = Finish(a.SumOdd(), b.SumOdd());
}

// Any other channel count: the same filter on each channel.
void LSRCConvertRate::FrameMulti(int32_t* pOut) const {
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
        if (n == 1)
            FrameMono(pBuffer);
        else if (n == 2)
            FrameStereo(pBuffer);
        else
            FrameMulti(pBuffer);
        iPhase += M;
    }
}

void LSPConvertRate::OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) {
    const int32_t target = iParameter;
    if (source->ErrorState != 0 || source->SampleRate == target) {
        result = source;
        return;
    }
    LSoundSourceRef src = source;
    if (target < (src->SampleRate >> 2)) src = new LSRCConvertRate(src, 2 * target, true);
    result = new LSRCConvertRate(src, target, false);
}

}  // namespace sonvex
