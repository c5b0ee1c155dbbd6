#include "formats/gsm/GsmCodec.h"

#include <cstdlib>
#include <cstring>

namespace sonvex {

namespace {

// Log-area ratio quantisation.
constexpr int32_t kA[8] = {20480, 20480, 20480, 20480, 13964, 15360, 8534, 9036};
constexpr int32_t kB[8] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
constexpr int32_t kMIC[8] = {-32, -32, -16, -16, -8, -8, -4, -4};
constexpr int32_t kMAC[8] = {31, 31, 15, 15, 7, 7, 3, 3};
constexpr int kLarBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};

// LTP gain levels.
constexpr int32_t kQLB[4] = {3277, 11469, 21299, 32767};

// Weighting filter.
constexpr int32_t kH[11] = {-134, -374, 0, 2054, 5741, 8192, 5741, 2054, 0, -374, -134};

// RPE block maximum: normalisation factors (encoder) and inverse mantissas (decoder).
constexpr int32_t kNRFAC[8] = {29128, 26215, 23832, 21846, 20165, 18725, 17476, 16384};
constexpr int32_t kFAC[8] = {18432, 20480, 22528, 24576, 26624, 28672, 30720, 32768};

inline int16_t Sat16(int64_t v) {
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

inline int16_t Sat16(int32_t v) {
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

// Saturating sum of two values in 16-bit range.
inline int16_t Add(int32_t a, int32_t b) {
    return Sat16(a + b);
}

// Product of two Q15 values in 16-bit range, rounded.
inline int16_t MultR(int32_t a, int32_t b) {
    return Sat16((a * b + 0x4000) >> 15);
}

// Coded LARs back to LARs: ((LARc + MIC) * 512 - B) << 15, divided by A.
void DecodeLars(const int16_t LARc[8], int16_t LARpp[8]) {
    for (int i = 0; i < 8; ++i) {
        int32_t t = ((LARc[i] + kMIC[i]) * 512 - kB[i]) * 32768;
        LARpp[i] = Sat16(t / kA[i]);
    }
}

// Interpolated LARs of block j (samples 0-12, 13-26, 27-39, 40-159).
void InterpolateLars(const int16_t oldL[8], const int16_t newL[8], int j, int16_t LARp[8]) {
    for (int i = 0; i < 8; ++i) {
        int32_t o = oldL[i], n = newL[i];
        switch (j) {
            case 0:
                LARp[i] = Sat16(((o + n) >> 2) + (o >> 1));
                break;
            case 1:
                LARp[i] = Sat16((o >> 1) + (n >> 1));
                break;
            case 2:
                LARp[i] = Sat16(((o + n) >> 2) + (n >> 1));
                break;
            default:
                LARp[i] = static_cast<int16_t>(n);
                break;
        }
    }
}

// LARs to reflection coefficients (breakpoints 11059 and 20070).
void LarsToRp(const int16_t LARp[8], int16_t rp[8]) {
    for (int i = 0; i < 8; ++i) {
        int32_t t = std::abs(static_cast<int32_t>(LARp[i]));
        if (t < 11059)
            t <<= 1;
        else if (t < 20070)
            t += 11059;
        else
            t = (t >> 2) + 26112;
        if (t > 32767) t = 32767;
        rp[i] = static_cast<int16_t>(LARp[i] < 0 ? -t : t);
    }
}

constexpr int kBlockStart[5] = {0, 13, 27, 40, 160};

// Splits a block maximum code into exponent and mantissa (mantissa 0..7).
void SplitXmaxc(int xmaxc, int& exp, int& mant) {
    exp = 0;
    if (xmaxc > 15) exp = (xmaxc >> 3) - 1;
    mant = xmaxc - (exp << 3);
    if (mant == 0) {
        exp = -4;
        mant = 7;
    } else {
        while (mant <= 7) {
            mant = (mant << 1) | 1;
            --exp;
        }
        mant -= 8;
    }
}

// Decoded RPE pulses placed on their grid: ep[Mc + 3i], zeros elsewhere.
void DecodeRpe(int xmaxc, int Mc, const int16_t xMc[13], int32_t ep[40]) {
    int exp, mant;
    SplitXmaxc(xmaxc, exp, mant);
    int32_t fac = (kFAC[mant] >> (6 - exp)) - 1;
    for (int k = 0; k < 40; ++k) ep[k] = 0;
    for (int i = 0; i < 13; ++i) {
        int32_t pulse = (2 * xMc[i] - 7) * 4096;
        ep[Mc + 3 * i] = (fac * pulse + 0x4000) >> 15;
    }
}

class BitWriter {
public:
    explicit BitWriter(uint8_t* p) : p_(p) { std::memset(p, 0, kGsmFrameBytes); }
    void Put(int value, int bits) {
        for (int b = bits - 1; b >= 0; --b, ++pos_)
            if ((value >> b) & 1) p_[pos_ >> 3] |= static_cast<uint8_t>(0x80 >> (pos_ & 7));
    }

private:
    uint8_t* p_;
    int pos_ = 0;
};

class BitReader {
public:
    explicit BitReader(const uint8_t* p) : p_(p) {}
    int16_t Get(int bits) {
        int v = 0;
        for (int b = 0; b < bits; ++b, ++pos_)
            v = (v << 1) | ((p_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1);
        return static_cast<int16_t>(v);
    }

private:
    const uint8_t* p_;
    int pos_ = 0;
};

// Autocorrelation, lags 0 to 8, with a running down-scale that keeps the sums in 31 bits.
void Autocorrelation(const int16_t s[160], int32_t acf[9]) {
    int scale = 2;
    for (int k = 0; k <= 8; ++k) {
        int64_t sum = 0;
        for (int i = k; i < 160; ++i) {
            sum += (static_cast<int32_t>(s[i]) * s[i - k]) >> scale;
            if (sum >= 0x3FFFFFFF || sum <= -0x3FFFFFFF) {
                sum >>= 1;
                for (int j = 0; j < k; ++j) acf[j] >>= 1;
                ++scale;
            }
        }
        acf[k] = static_cast<int32_t>(sum);
    }
}

// Reflection coefficients by the Schur recursion.
void Reflection(const int32_t acf[9], int16_t r[8]) {
    for (int i = 0; i < 8; ++i) r[i] = 0;
    if (acf[0] <= 0) return;
    int count = 0;
    int64_t v = acf[0];
    while (v < 0x4000000) {
        v <<= 4;
        count += 4;
    }
    while (v < 0x40000000) {
        v <<= 1;
        ++count;
    }
    int16_t P[9], K[9] = {};
    for (int i = 0; i <= 8; ++i) P[i] = Sat16((static_cast<int64_t>(acf[i]) << count) >> 16);
    for (int i = 1; i <= 7; ++i) K[9 - i] = P[i];
    for (int n = 1; n <= 8; ++n) {
        int32_t num = std::abs(static_cast<int32_t>(P[1]));
        if (P[0] <= 0 || num > P[0]) return;  // the rest stay zero
        int32_t rr = num * 32768 / P[0];
        if (rr > 32767) rr = 32767;
        if (P[1] > 0) rr = -rr;
        r[n - 1] = static_cast<int16_t>(rr);
        if (n == 8) return;
        P[0] = Add(P[0], MultR(P[1], rr));
        for (int m = 1; m <= 8 - n; ++m) {
            P[m] = Add(P[m + 1], MultR(K[9 - m], rr));
            K[9 - m] = Add(K[9 - m], MultR(P[m + 1], rr));
        }
    }
}

}  // namespace

void LGSMEncoderState::Reset() {
    std::memset(LARppPrev, 0, sizeof LARppPrev);
    std::memset(dp, 0, sizeof dp);
    std::memset(u, 0, sizeof u);
    iPreviousS = 0;
    iPreviousX = 0;
    L_z2 = 0;
}

void LGSMDecoderState::Reset() {
    std::memset(LARppPrev, 0, sizeof LARppPrev);
    std::memset(drp, 0, sizeof drp);
    std::memset(v, 0, sizeof v);
    iPreviousY = 0;
    nrp = 40;
}

void LGSMFrame::Pack(const LGSMParams& p, uint8_t frame[kGsmFrameBytes]) {
    BitWriter w(frame);
    w.Put(0xD, 4);
    for (int i = 0; i < 8; ++i) w.Put(p.LARc[i], kLarBits[i]);
    for (int j = 0; j < 4; ++j) {
        w.Put(p.Nc[j], 7);
        w.Put(p.bc[j], 2);
        w.Put(p.Mc[j], 2);
        w.Put(p.xmaxc[j], 6);
        for (int i = 0; i < 13; ++i) w.Put(p.xMc[j][i], 3);
    }
}

void LGSMFrame::Unpack(const uint8_t frame[kGsmFrameBytes], LGSMParams& p) {
    BitReader r(frame);
    r.Get(4);  // signature, not checked
    for (int i = 0; i < 8; ++i) p.LARc[i] = r.Get(kLarBits[i]);
    for (int j = 0; j < 4; ++j) {
        p.Nc[j] = r.Get(7);
        p.bc[j] = r.Get(2);
        p.Mc[j] = r.Get(2);
        p.xmaxc[j] = r.Get(6);
        for (int i = 0; i < 13; ++i) p.xMc[j][i] = r.Get(3);
    }
}

void LGSMFrame::EncodeNormal(LGSMEncoderState& st, const int32_t* pSamples,
                             uint8_t frame[kGsmFrameBytes]) {
    LGSMParams prm;

    // Offset compensation (pole 1 - 1/1024) and pre-emphasis (880/1024), to half 16-bit scale.
    int16_t so[160];
    for (int k = 0; k < 160; ++k) {
        int32_t x = pSamples[k];
        st.L_z2 += (static_cast<int64_t>(x) - st.iPreviousX) * 1024;
        st.iPreviousX = x;
        int64_t s = (st.L_z2 + 512) >> 10;
        st.L_z2 -= s;
        int64_t c = (s - ((st.iPreviousS * 880 + 512) >> 10) + 16) >> 5;
        st.iPreviousS = s;
        so[k] = Sat16(c);
    }

    // LPC analysis: autocorrelation, reflection coefficients, log-area ratios, quantisation.
    int32_t acf[9];
    Autocorrelation(so, acf);
    int16_t r[8];
    Reflection(acf, r);
    for (int i = 0; i < 8; ++i) {
        int32_t t = std::abs(static_cast<int32_t>(r[i]));
        if (t < 22118)
            t >>= 1;
        else if (t < 31130)
            t -= 11059;
        else
            t = (t - 26112) << 2;
        int32_t lar = r[i] < 0 ? -t : t;
        int32_t c = (((kA[i] * lar) >> 15) + kB[i] + 256) >> 9;
        if (c < kMIC[i]) c = kMIC[i];
        if (c > kMAC[i]) c = kMAC[i];
        prm.LARc[i] = static_cast<int16_t>(c - kMIC[i]);
    }

    // Short-term analysis filtering with the decoded, interpolated LARs.
    int16_t LARpp[8];
    DecodeLars(prm.LARc, LARpp);
    int16_t d[160];
    for (int j = 0; j < 4; ++j) {
        int16_t LARp[8], rp[8];
        InterpolateLars(st.LARppPrev, LARpp, j, LARp);
        LarsToRp(LARp, rp);
        for (int k = kBlockStart[j]; k < kBlockStart[j + 1]; ++k) {
            int16_t di = so[k], sav = di;
            for (int i = 0; i < 8; ++i) {
                int16_t ui = st.u[i];
                st.u[i] = sav;
                sav = Add(ui, MultR(rp[i], di));
                di = Add(di, MultR(rp[i], ui));
            }
            d[k] = di;
        }
    }
    std::memcpy(st.LARppPrev, LARpp, sizeof LARpp);

    // Four subframes of long-term prediction and regular pulse excitation.
    for (int j = 0; j < 4; ++j) {
        const int16_t* dj = d + 40 * j;
        int16_t* dpj = st.dp + 120 + 40 * j;  // dpj[k - lag] reaches back into the history

        int32_t dmax = 0;
        for (int k = 0; k < 40; ++k) {
            int32_t a = std::abs(static_cast<int32_t>(dj[k]));
            if (a > dmax) dmax = a;
        }
        int scal = 0;
        while (120 * (dmax >> scal) > 32767) ++scal;
        int32_t wt[40];
        for (int k = 0; k < 40; ++k) wt[k] = dj[k] >> scal;

        int32_t Lmax = 0;
        int Nc = 40;
        for (int lag = 40; lag <= 120; ++lag) {
            int32_t sum = 0;
            for (int k = 0; k < 40; ++k) sum += wt[k] * dpj[k - lag];
            if (sum > Lmax) {
                Lmax = sum;
                Nc = lag;
            }
        }
        int64_t R = Lmax;
        R = (6 - scal) >= 0 ? (R >> (6 - scal)) : (R << (scal - 6));
        int64_t S = 0;
        for (int k = 0; k < 40; ++k) {
            int32_t t = dpj[k - Nc] >> 3;
            S += t * t;
        }
        int bc = R <= S / 5 ? 0 : (R <= S / 2 ? 1 : (R <= S - S / 5 ? 2 : 3));

        int32_t dpp[40];
        int16_t e[50] = {};  // padded by 5 zeros on each side
        for (int k = 0; k < 40; ++k) {
            dpp[k] = (kQLB[bc] * dpj[k - Nc] + 0x4000) >> 15;
            e[k + 5] = Sat16(static_cast<int32_t>(dj[k]) - dpp[k]);
        }

        int32_t x[40];
        for (int k = 0; k < 40; ++k) {
            int32_t sum = 0;
            for (int i = 0; i < 11; ++i) sum += kH[i] * e[k + i];
            int32_t v = (sum + 4096) >> 13;  // unity gain at the centre tap
            x[k] = v > 32767 ? 32767 : (v < -32767 ? -32767 : v);
        }

        int Mc = 0;
        int64_t best = -1;
        for (int m = 0; m < 4; ++m) {
            int64_t em = 0;
            for (int i = 0; i < 13; ++i) em += (x[m + 3 * i] * x[m + 3 * i]) >> 2;
            if (em > best) {
                best = em;
                Mc = m;
            }
        }
        int32_t xM[13];
        int32_t xmax = 0;
        for (int i = 0; i < 13; ++i) {
            xM[i] = x[Mc + 3 * i];
            int32_t a = std::abs(xM[i]);
            if (a > xmax) xmax = a;
        }
        int exp = 0;
        for (int32_t t = xmax >> 9; t > 0 && exp < 6; t >>= 1) ++exp;
        int xmaxc = (xmax >> (exp + 5)) + 8 * exp;

        int qexp, qmant;
        SplitXmaxc(xmaxc, qexp, qmant);
        int64_t nr = static_cast<int64_t>(kNRFAC[qmant]) << (6 - qexp);
        for (int i = 0; i < 13; ++i) {
            int64_t q = ((nr * xM[i]) >> 27) + 4;
            prm.xMc[j][i] = static_cast<int16_t>(q < 0 ? 0 : (q > 7 ? 7 : q));
        }
        prm.Nc[j] = static_cast<int16_t>(Nc);
        prm.bc[j] = static_cast<int16_t>(bc);
        prm.Mc[j] = static_cast<int16_t>(Mc);
        prm.xmaxc[j] = static_cast<int16_t>(xmaxc);

        // Reconstructed residual, as the decoder will have it.
        int32_t ep[40];
        DecodeRpe(xmaxc, Mc, prm.xMc[j], ep);
        for (int k = 0; k < 40; ++k) dpj[k] = Sat16(ep[k] + dpp[k]);
    }
    std::memmove(st.dp, st.dp + 160, 120 * sizeof(int16_t));
    Pack(prm, frame);
}

void LGSMFrame::DecodeNormal(LGSMDecoderState& st, const uint8_t frame[kGsmFrameBytes],
                             int32_t* pSamples) {
    LGSMParams prm;
    Unpack(frame, prm);
    int16_t LARpp[8];
    DecodeLars(prm.LARc, LARpp);

    for (int j = 0; j < 4; ++j) {
        int Nr = prm.Nc[j];
        if (Nr < 40 || Nr > 120) Nr = st.nrp;
        st.nrp = static_cast<int16_t>(Nr);
        int16_t* drpj = st.drp + 120 + 40 * j;
        int32_t ep[40];
        DecodeRpe(prm.xmaxc[j], prm.Mc[j], prm.xMc[j], ep);
        int32_t brp = kQLB[prm.bc[j]];
        for (int k = 0; k < 40; ++k) {
            int32_t pred = (brp * drpj[k - Nr] + 0x4000) >> 15;
            drpj[k] = Sat16(ep[k] + pred);
        }
    }

    const int16_t* wt = st.drp + 120;
    for (int j = 0; j < 4; ++j) {
        int16_t LARp[8], rrp[8];
        InterpolateLars(st.LARppPrev, LARpp, j, LARp);
        LarsToRp(LARp, rrp);
        for (int k = kBlockStart[j]; k < kBlockStart[j + 1]; ++k) {
            int16_t sri = wt[k];
            for (int i = 7; i >= 0; --i) {
                sri = Add(sri, -MultR(rrp[i], st.v[i]));
                st.v[i + 1] = Add(st.v[i], MultR(rrp[i], sri));
            }
            st.v[0] = sri;
            int64_t y = ((st.iPreviousY * 880 + 512) >> 10) + 32 * static_cast<int64_t>(sri);
            st.iPreviousY = y;
            pSamples[k] = static_cast<int32_t>(y);
        }
    }
    std::memcpy(st.LARppPrev, LARpp, sizeof LARpp);
    std::memmove(st.drp, st.drp + 160, 120 * sizeof(int16_t));
}

}  // namespace sonvex
