#include "formats/mp3/Layer3Decoder.h"

#include <algorithm>
#include <cstring>

namespace sonvex::mp3 {

namespace {

// Reads bits MSB first from a fixed-size byte array.
struct SideBits {
    const uint8_t* p;
    int pos = 0;
    int Get(int n) {
        int v = 0;
        for (int i = 0; i < n; ++i, ++pos) v = (v << 1) | ((p[pos >> 3] >> (7 - (pos & 7))) & 1);
        return v;
    }
};

constexpr float kInvSqrt2 = 0.7071067811865476f;
constexpr uint8_t kNoPretab[22] = {};

// Eight floats as one value: the compiler maps it to the widest vector unit built for.
// Load8/Store8 need 32-byte aligned addresses, LoadU8/StoreU8 any float address.
typedef float V8 __attribute__((vector_size(32), may_alias));
typedef float V8u __attribute__((vector_size(32), aligned(4), may_alias));
typedef int32_t V8i __attribute__((vector_size(32)));
typedef int32_t V8iu __attribute__((vector_size(32), aligned(4), may_alias));
#define Load8(p) (*reinterpret_cast<const V8*>(p))
#define Store8(p, v) (*reinterpret_cast<V8*>(p) = (v))
#define LoadU8(p) (*reinterpret_cast<const V8u*>(p))
#define StoreU8(p, v) (*reinterpret_cast<V8u*>(p) = (v))

// Lane permutations (lane 8 + i is b[i]).
#define Reverse(a) __builtin_shufflevector(a, a, 7, 6, 5, 4, 3, 2, 1, 0)
#define ReverseFromB0(a, b) __builtin_shufflevector(a, b, 8, 7, 6, 5, 4, 3, 2, 1)
#define InterleaveLo(a, b) __builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11)
#define InterleaveHi(a, b) __builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15)

}  // namespace

// The filterbank loops are written for the vectoriser; on x86-64 they are also built for
// AVX2/FMA and picked at load time (not under the sanitizers, whose instrumented resolvers
// would run before their run-time is set up).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define MP3_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define MP3_VECTOR_CLONES
#endif

namespace {

// Mid/side to left/right over the lines [s, e).
MP3_VECTOR_CLONES void MidSide(float* __restrict L, float* __restrict R, int s, int e) {
    int i = s;
    for (; i + 8 <= e; i += 8) {
        const V8 m = LoadU8(L + i), d = LoadU8(R + i);
        StoreU8(L + i, (m + d) * kInvSqrt2);
        StoreU8(R + i, (m - d) * kInvSqrt2);
    }
    for (; i < e; ++i) {
        const float m = L[i], d = R[i];
        L[i] = (m + d) * kInvSqrt2;
        R[i] = (m - d) * kInvSqrt2;
    }
}

}  // namespace

LLayer3Decoder::LLayer3Decoder() : t_(GetSharedTables()) {
    std::memset(sf_, 0, sizeof sf_);
    std::memset(xr_, 0, sizeof xr_);
    BuildReorderMap(0, 0);
    Reset();
}

void LLayer3Decoder::BuildReorderMap(int version, int samplingFrequency) {
    version_ = std::clamp(version, 0, 2);
    pSfb_ = &kSfbRows[version_][std::clamp(samplingFrequency, 0, 2)];
    nMixedLongSb_ = pSfb_->shrt[3] / 18;
    int i = 0;
    for (int j = 0; j < 13; ++j) {
        int s = pSfb_->shrt[j], e = pSfb_->shrt[j + 1], w = (e - s) / 3;
        for (int k = 0; k < 3; ++k)
            for (int l = 0; l < w && i < 576; ++l, ++i) {
                reorder_[0][i] = static_cast<uint16_t>(i);
                reorder_[1][i] = static_cast<uint16_t>(s + 3 * l + k);
                reorder_[2][i] = static_cast<uint16_t>(j < 3 ? i : s + 3 * l + k);
                reorderLimit_[i] = static_cast<uint16_t>(e);
            }
    }
    for (; i < 576; ++i) {  // not reached with the standard rows
        reorder_[0][i] = reorder_[1][i] = reorder_[2][i] = static_cast<uint16_t>(i);
        reorderLimit_[i] = 576;
    }
}

void LLayer3Decoder::Reset() {
    std::memset(overlap_, 0, sizeof overlap_);
    std::memset(hist_, 0, sizeof hist_);
    nSynthIndex_ = 1088;
}

void LLayer3Decoder::ParseSideInfo(const uint8_t* pBytes, const MP3Header& h, SideInfo& si) {
    uint8_t buf[40] = {};
    std::memcpy(buf, pBytes, static_cast<size_t>(h.SideInfoBytes()));
    SideBits b{buf};
    const int nch = h.Channels();
    const bool v1 = h.version == 0;
    si = SideInfo();
    si.main_data_begin = b.Get(v1 ? 9 : 8);
    b.Get(v1 ? (nch == 1 ? 5 : 3) : (nch == 1 ? 1 : 2));
    if (v1)
        for (int ch = 0; ch < nch; ++ch)
            for (int g = 0; g < 4; ++g) si.scfsi[ch][g] = b.Get(1);
    for (int gr = 0; gr < h.Granules(); ++gr)
        for (int ch = 0; ch < nch; ++ch) {
            GranuleInfo& g = si.gr[gr][ch];
            g.part2_3_length = b.Get(12);
            g.big_values = b.Get(9);
            g.global_gain = b.Get(8);
            if (v1) {
                g.scalefac_compress = b.Get(4);
            } else {
                int c = b.Get(9);
                if (ch == 1 && h.mode == 1 && (h.mode_extension & 1)) {
                    g.scalefac_compress = c >> 1;
                    g.intensity_scale = c & 1;
                } else {
                    g.scalefac_compress = c;
                }
            }
            g.window_switching = b.Get(1);
            if (g.window_switching) {
                g.block_type = b.Get(2);
                g.mixed_block = b.Get(1);
                for (int r = 0; r < 2; ++r) g.table_select[r] = b.Get(5);
                for (int w = 0; w < 3; ++w) g.subblock_gain[w] = b.Get(3);
                g.region0_count = 7;
                g.region1_count = 13;
            } else {
                for (int r = 0; r < 3; ++r) g.table_select[r] = b.Get(5);
                g.region0_count = b.Get(4);
                g.region1_count = b.Get(3);
            }
            if (v1)
                g.preflag = b.Get(1);
            else
                g.preflag = g.scalefac_compress >= 500 ? 1 : 0;
            g.scalefac_scale = b.Get(1);
            g.count1table_select = b.Get(1);
        }
}

// ---- bit reader over the reservoir ----

#define MP3_PEEK32(pos)                                                                         \
    ([&](int p_) -> uint32_t {                                                                  \
        unsigned b_ = std::min(static_cast<unsigned>(p_) >> 3,                                  \
                               static_cast<unsigned>(kMainDataBytes + kMainDataGuard - 4));     \
        const uint8_t* q_ = pMain_ + b_;                                                        \
        uint32_t w_ =                                                                           \
            (uint32_t(q_[0]) << 24) | (uint32_t(q_[1]) << 16) | (uint32_t(q_[2]) << 8) | q_[3]; \
        return w_ << (p_ & 7);                                                                  \
    }(pos))

void LLayer3Decoder::ReadScaleFactorsV1(const GranuleInfo& g, int ch, int gr, const SideInfo& si) {
    ScaleFactors& sf = sf_[ch];
    const int slen1 = kSlen[0][g.scalefac_compress & 15],
              slen2 = kSlen[1][g.scalefac_compress & 15];
    auto get = [&](int n) -> int {
        if (n == 0) return 0;
        int v = static_cast<int>(MP3_PEEK32(nBit_) >> (32 - n));
        nBit_ += n;
        return v;
    };
    if (g.window_switching && g.block_type == 2) {
        int first = 0;
        if (g.mixed_block) {
            for (int b = 0; b < 8; ++b) sf.l[b] = get(slen1);
            first = 3;
        }
        for (int b = first; b < 12; ++b)
            for (int w = 0; w < 3; ++w) sf.s[b][w] = get(b < 6 ? slen1 : slen2);
        for (int w = 0; w < 3; ++w) sf.s[12][w] = 0;
    } else {
        static const int kGroup[5] = {0, 6, 11, 16, 21};
        for (int grp = 0; grp < 4; ++grp) {
            if (gr == 1 && si.scfsi[ch][grp]) continue;
            for (int b = kGroup[grp]; b < kGroup[grp + 1]; ++b)
                sf.l[b] = get(grp < 2 ? slen1 : slen2);
        }
        sf.l[21] = 0;
    }
}

void LLayer3Decoder::ReadScaleFactorsLsf(const GranuleInfo& g, int ch, bool bIntensityRight) {
    ScaleFactors& sf = sf_[ch];
    int slen[4] = {0, 0, 0, 0};
    int tab;
    int c = g.scalefac_compress;
    if (!bIntensityRight) {
        if (c < 400) {
            slen[0] = (c >> 4) / 5;
            slen[1] = (c >> 4) % 5;
            slen[2] = (c & 15) >> 2;
            slen[3] = c & 3;
            tab = 0;
        } else if (c < 500) {
            c -= 400;
            slen[0] = (c >> 2) / 5;
            slen[1] = (c >> 2) % 5;
            slen[2] = c & 3;
            tab = 1;
        } else {
            c -= 500;
            slen[0] = c / 3;
            slen[1] = c % 3;
            tab = 2;
        }
    } else {
        if (c < 180) {
            slen[0] = c / 36;
            slen[1] = (c % 36) / 6;
            slen[2] = (c % 36) % 6;
            tab = 3;
        } else if (c < 244) {
            c -= 180;
            slen[0] = (c & 63) >> 4;
            slen[1] = (c & 15) >> 2;
            slen[2] = c & 3;
            tab = 4;
        } else {
            c -= 244;
            slen[0] = c / 3;
            slen[1] = c % 3;
            tab = 5;
        }
    }
    const bool bShort = g.window_switching && g.block_type == 2;
    const int kind = bShort ? (g.mixed_block ? 2 : 1) : 0;
    int vals[40], maxv[40];
    int n = 0;
    for (int part = 0; part < 4; ++part) {
        int len = std::min(slen[part], 8);
        for (int k = 0; k < kNrOfSfb[tab][kind][part] && n < 40; ++k, ++n) {
            int v = 0;
            if (len) {
                v = static_cast<int>(MP3_PEEK32(nBit_) >> (32 - len));
                nBit_ += len;
            }
            vals[n] = v;
            maxv[n] = (1 << len) - 1;
        }
    }
    for (int i = n; i < 40; ++i) vals[i] = 0, maxv[i] = 0;
    int idx = 0;
    if (!bShort) {
        for (int b = 0; b < 22; ++b, ++idx) {
            sf.l[b] = b < 21 ? vals[idx] : 0;
            sf.isMaxL[b] = b < 21 ? maxv[idx] : 0;
        }
        return;
    }
    int first = 0;
    if (g.mixed_block) {
        for (int b = 0; b < 6; ++b, ++idx) {
            sf.l[b] = vals[idx];
            sf.isMaxL[b] = maxv[idx];
        }
        first = 3;
    }
    for (int b = first; b < 12; ++b)
        for (int w = 0; w < 3; ++w, ++idx) {
            sf.s[b][w] = vals[idx];
            sf.isMaxS[b][w] = maxv[idx];
        }
    for (int w = 0; w < 3; ++w) sf.s[12][w] = sf.isMaxS[12][w] = 0;
}

MP3_VECTOR_CLONES int LLayer3Decoder::DecodeHuffman(const GranuleInfo& g, int endBit, float* xr) {
    const bool bShort = g.window_switching && g.block_type == 2;
    const uint16_t* map = reorder_[bShort ? (g.mixed_block ? 2 : 1) : 0];
    const float* pw = t_.power;
    std::memset(xr, 0, 576 * sizeof(float));

    int bigEnd = std::min(2 * g.big_values, 576);
    int r1, r2;
    if (bShort) {
        r1 = pSfb_->shrt[3];
        r2 = 576;
    } else {
        r1 = pSfb_->lng[std::min(g.region0_count + 1, 24)];
        r2 = pSfb_->lng[std::min(g.region0_count + g.region1_count + 2, 24)];
    }
    const int ends[3] = {std::min(r1, bigEnd), std::min(std::max(r1, r2), bigEnd), bigEnd};
    int i = 0;
    int pos = nBit_;
    // 57 or more bits from pos, left-aligned; a pair needs at most 19 + 2 x (13 + 1).
    auto window = [&]() -> uint64_t {
        unsigned b = std::min(static_cast<unsigned>(pos) >> 3,
                              static_cast<unsigned>(kMainDataBytes + kMainDataGuard - 8));
        uint64_t w;
        std::memcpy(&w, pMain_ + b, 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        w = __builtin_bswap64(w);
#endif
        return w << (pos & 7);
    };
    // A bit cache: avail bits of it, from pos on, are valid; refilled below 47.
    uint64_t cache = 0;
    int avail = 0;
    auto refill = [&]() {
        cache = window();
        avail = 64 - (pos & 7);
    };
    for (int r = 0; r < 3; ++r) {
        const int tab = g.table_select[r];
        const int linbits = kHuffLinbits[tab];
        const int16_t* tree = t_.huffTree[tab];
        const int32_t* look = t_.huffLook[tab];
        const uint32_t* fast = t_.huffPair[tab];
        const float* sp = t_.signedPower;
        for (; i + 1 < 576 && i < ends[r]; i += 2) {
            if (avail < 47) refill();
            const uint32_t f = fast[cache >> (64 - SharedTables::kPairBits)];
            if (f & 0x80000000u) {  // the common case: code and signs in the next few bits
                const int used = static_cast<int>(f & 31);
                cache <<= used;
                avail -= used;
                pos += used;
                xr[map[i]] = sp[(f >> 8) & 63];
                xr[map[i + 1]] = sp[(f >> 16) & 63];
                continue;
            }
            uint64_t w = cache;
            int used;
            int leaf;
            int32_t e = look[w >> (64 - SharedTables::kLookBits)];
            if (e >= 0) {
                leaf = e >> 8;
                used = e & 255;
            } else {
                int p = -e - 1;
                used = SharedTables::kLookBits;
                while (tree[p] < 0) {
                    p += ((w << used) >> 63) ? 1 - tree[p] : 1;
                    ++used;
                }
                leaf = tree[p];
            }
            w <<= used;
            int x = leaf >> 4, y = leaf & 15;
            float vx = 0.0f, vy = 0.0f;
            if (x) {
                if (x == 15 && linbits) {
                    x += static_cast<int>(w >> (64 - linbits));
                    w <<= linbits;
                    used += linbits;
                }
                vx = (w >> 63) ? -pw[x] : pw[x];
                w <<= 1;
                ++used;
            }
            if (y) {
                if (y == 15 && linbits) {
                    y += static_cast<int>(w >> (64 - linbits));
                    w <<= linbits;
                    used += linbits;
                }
                vy = (w >> 63) ? -pw[y] : pw[y];
                ++used;
            }
            pos += used;
            avail = 0;  // refill from the new position
            xr[map[i]] = vx;
            xr[map[i + 1]] = vy;
        }
    }
    i = std::min(i, bigEnd);
    // Count1: a quadruple's code (at most 6 bits) and its signs always fit the table's bits.
    const uint32_t* quad = t_.huffQuad[g.count1table_select];
    static const float kUnit[4] = {0.0f, 1.0f, -1.0f, 0.0f};
    bool bQuad = false;
    while (pos < endBit && i <= 572) {
        if (avail < SharedTables::kPairBits) refill();
        const uint32_t f = quad[cache >> (64 - SharedTables::kPairBits)];
        const int used = static_cast<int>(f & 31);
        cache <<= used;
        avail -= used;
        pos += used;
        xr[map[i]] = kUnit[(f >> 8) & 3];
        xr[map[i + 1]] = kUnit[(f >> 10) & 3];
        xr[map[i + 2]] = kUnit[(f >> 12) & 3];
        xr[map[i + 3]] = kUnit[(f >> 14) & 3];
        i += 4;
        bQuad = true;
    }
    if (pos > endBit && bQuad && i > 4) {
        i -= 4;
        for (int k = 0; k < 4; ++k) xr[map[i + k]] = 0.0f;
    }
    nBit_ = pos;
    return i;
}

MP3_VECTOR_CLONES int LLayer3Decoder::Requantise(const GranuleInfo& g, const ScaleFactors& sf,
                                                 float* xr, int nLines) {
    if (nLines <= 0) return 0;
    const bool bShort = g.window_switching && g.block_type == 2;
    const int limit = bShort ? reorderLimit_[nLines - 1] : nLines;
    const float gain = t_.gain[g.global_gain & 255];
    const int sh = g.scalefac_scale;
    int nLong = bShort ? (g.mixed_block ? (version_ == 0 ? 8 : 6) : 0) : 22;
    const uint8_t* pre = g.preflag ? kPretab : kNoPretab;
    // One factor per line, band by band in rising order (each band's last vector may run into
    // the next band, which then overwrites it), then one pass over the lines.
    alignas(32) float fac[576 + 24];
    int end = 0;
    for (int b = 0; b < nLong && pSfb_->lng[b] < limit; ++b) {
        const int idx = (sf.l[b] + pre[b]) << sh;
        const V8 f = V8{} + gain * t_.scale[std::min(idx, 64)];
        end = pSfb_->lng[b + 1];
        for (int i = pSfb_->lng[b]; i < end; i += 8) StoreU8(fac + i, f);
    }
    if (bShort) {
        for (int b = g.mixed_block ? 3 : 0; b < 13 && pSfb_->shrt[b] < limit; ++b) {
            alignas(32) float f[24];  // windows 0, 1, 2, repeated: whole vectors keep the order
            for (int w = 0; w < 3; ++w)
                f[w] = gain * t_.scale[std::min(4 * g.subblock_gain[w], 64)] *
                       t_.scale[std::min(sf.s[b][w] << sh, 64)];
            for (int i = 3; i < 24; ++i) f[i] = f[i - 3];
            const int s = pSfb_->shrt[b];
            end = pSfb_->shrt[b + 1];
            for (int i = 0; s + i < end; i += 8) StoreU8(fac + s + i, Load8(f + i % 24));
        }
    }
    int i = 0;
    for (; i + 8 <= end; i += 8) Store8(xr + i, Load8(xr + i) * Load8(fac + i));
    for (; i < end; ++i) xr[i] *= fac[i];
    return limit;
}

void LLayer3Decoder::IntensityLong(const MP3Header& h, const GranuleInfo& gR, int firstBand,
                                   int lastBand, bool bMs) {
    float* L = xr_[0];
    float* R = xr_[1];
    const ScaleFactors& sf = sf_[1];
    for (int b = firstBand; b < lastBand; ++b) {
        int bb = b == 21 ? 20 : b;
        int pos = sf.l[bb];
        // "Not intensity coded": 7 in MPEG-1; in MPEG-2/2.5 the largest value of the band's
        // scale-factor width (ISO/IEC 13818-3). The last band has no factor of its own: it
        // takes the band below's, except in MPEG-2/2.5 when the intensity region starts at the
        // last band itself, where it is position 0 (as the 13818-4 reference output shows).
        bool bIllegal = h.version == 0 ? pos >= 7 : pos == sf.isMaxL[bb];
        if (h.version != 0 && b == 21 && firstBand == 21) pos = 0, bIllegal = false;
        int s = pSfb_->lng[b], e = pSfb_->lng[b + 1];
        if (bIllegal) {
            if (bMs) MidSide(L, R, s, e);
            continue;
        }
        float kl, kr;
        if (h.version == 0) {
            kl = t_.isRatioL[pos];
            kr = t_.isRatioR[pos];
        } else {
            kl = t_.lsfRatio[gR.intensity_scale][pos & 31][0];
            kr = t_.lsfRatio[gR.intensity_scale][pos & 31][1];
        }
        for (int i = s; i < e; ++i) {
            float v = L[i];
            L[i] = v * kl;
            R[i] = v * kr;
        }
    }
}

void LLayer3Decoder::Stereo(const MP3Header& h, const GranuleInfo& gR, int gr) {
    (void)gr;
    float* L = xr_[0];
    float* R = xr_[1];
    const bool bMs = (h.mode_extension & 2) != 0;
    const bool bIs = (h.mode_extension & 1) != 0;
    const int limit = std::max(limit_[0], limit_[1]);
    auto ms = [&](int s, int e, int step) {
        if (step == 1) return MidSide(L, R, s, e);
        for (int i = s; i < e; i += step) {
            float m = L[i], d = R[i];
            L[i] = (m + d) * kInvSqrt2;
            R[i] = (m - d) * kInvSqrt2;
        }
    };
    if (!bIs) {
        if (bMs) ms(0, limit, 1);
    } else if (!(gR.window_switching && gR.block_type == 2)) {
        int last = limit_[1] - 1;
        while (last >= 0 && R[last] == 0.0f) --last;
        int band = 0;
        while (band < 22 && pSfb_->lng[band] <= last) ++band;
        if (bMs) ms(0, pSfb_->lng[band], 1);
        IntensityLong(h, gR, band, 22, bMs);
    } else {
        const ScaleFactors& sf = sf_[1];
        const int first = gR.mixed_block ? 3 : 0;
        bool bShortNonZero = false;
        for (int w = 0; w < 3; ++w) {
            int start = first;
            for (int b = 12; b >= first; --b) {
                int s = pSfb_->shrt[b], e = pSfb_->shrt[b + 1];
                bool nz = false;
                for (int i = s + w; i < e; i += 3) nz |= R[i] != 0.0f;
                if (nz) {
                    start = b + 1;
                    bShortNonZero = true;
                    break;
                }
            }
            for (int b = first; b < 13; ++b) {
                int s = pSfb_->shrt[b], e = pSfb_->shrt[b + 1];
                int bb = b == 12 ? 11 : b;
                int pos = sf.s[bb][w];
                // As for long blocks, per window.
                bool bIllegal = h.version == 0 ? pos >= 7 : pos == sf.isMaxS[bb][w];
                if (h.version != 0 && b == 12 && start == 12) pos = 0, bIllegal = false;
                if (b < start || bIllegal) {
                    if (bMs) ms(s + w, e, 3);
                    continue;
                }
                float kl, kr;
                if (h.version == 0) {
                    kl = t_.isRatioL[pos];
                    kr = t_.isRatioR[pos];
                } else {
                    kl = t_.lsfRatio[gR.intensity_scale][pos & 31][0];
                    kr = t_.lsfRatio[gR.intensity_scale][pos & 31][1];
                }
                for (int i = s + w; i < e; i += 3) {
                    float v = L[i];
                    L[i] = v * kl;
                    R[i] = v * kr;
                }
            }
        }
        if (gR.mixed_block) {
            int nLongBands = version_ == 0 ? 8 : 6;
            int longEnd = pSfb_->lng[nLongBands];
            if (bShortNonZero) {
                if (bMs) ms(0, longEnd, 1);
            } else {
                int last = longEnd - 1;
                while (last >= 0 && R[last] == 0.0f) --last;
                int band = 0;
                while (band < nLongBands && pSfb_->lng[band] <= last) ++band;
                if (bMs) ms(0, pSfb_->lng[band], 1);
                IntensityLong(h, gR, band, nLongBands, bMs);
            }
        }
    }
    limit_[0] = limit_[1] = limit;
}

MP3_VECTOR_CLONES void LLayer3Decoder::Hybrid(const GranuleInfo& g, int ch, int limit,
                                              float (*__restrict out)[24]) {
    float* __restrict xr = xr_[ch];
    const int bt = g.window_switching ? g.block_type : 0;
    const bool bMixed = bt == 2 && g.mixed_block;
    // The mixed flag puts the lowest subbands on the normal window whatever the block type
    // (as the ISO reference decoder does for block types 1 and 3 too).
    const bool bLowLong = g.window_switching && g.mixed_block;
    // Alias reduction: the 8 butterflies across a subband boundary as two vectors, the lines
    // below the boundary in reverse order.
    const int nBound = bt != 2 ? 32 : (bMixed ? nMixedLongSb_ : 0);
    const V8 cs = Load8(t_.aliasCs), ca = Load8(t_.aliasCa);
    const V8 csR = Reverse(cs), caR = Reverse(ca);
    for (int sb = 1; sb < nBound && 18 * sb - 8 < limit; ++sb) {
        float* p = xr + 18 * sb;
        const V8 loR = LoadU8(p - 8), up = LoadU8(p);
        const V8 lo = Reverse(loR), upR = Reverse(up);
        StoreU8(p - 8, loR * csR - upR * caR);
        StoreU8(p, up * cs + lo * ca);
        limit = std::max(limit, 18 * sb + 8);
    }
    // Windowed IMDCT and overlap-add: the first 18 outputs plus the stored overlap are the
    // subband's samples, the last 18 the next overlap.
    const int nzSb = std::min(32, (limit + 17) / 18);
    float(*__restrict ov)[24] = overlap_[ch];
    for (int sb = 0; sb < nzSb; ++sb) {
        const float* X = xr + 18 * sb;
        const int b = (bLowLong && sb < nMixedLongSb_) ? 0 : bt;
        const float(*T)[48] = t_.imdct[b];
        V8 a0 = Load8(ov[sb]), a1 = Load8(ov[sb] + 8), a2 = Load8(ov[sb] + 16);
        V8 n0 = {}, n1 = {}, n2 = {};
        for (int k = 0; k < 18; ++k) {
            const float x = X[k];
            a0 += x * Load8(T[k]);
            a1 += x * Load8(T[k] + 8);
            a2 += x * Load8(T[k] + 16);
            n0 += x * Load8(T[k] + 24);
            n1 += x * Load8(T[k] + 32);
            n2 += x * Load8(T[k] + 40);
        }
        Store8(out[sb], a0);
        Store8(out[sb] + 8, a1);
        Store8(out[sb] + 16, a2);
        Store8(ov[sb], n0);
        Store8(ov[sb] + 8, n1);
        Store8(ov[sb] + 16, n2);
    }
    const V8 zero = {};
    for (int sb = nzSb; sb < 32; ++sb)
        for (int i = 0; i < 24; i += 8) {
            Store8(out[sb] + i, Load8(ov[sb] + i));
            Store8(ov[sb] + i, zero);
        }
}

MP3_VECTOR_CLONES void LLayer3Decoder::Synthesis(const float (*in)[32][24], int nch,
                                                 int32_t* pDest) {
    // The DCT of the 32 subband values works on the sums and differences of subbands k and
    // 31 - k, here for all time slots at once; the frequency inversion (odd time slots of odd
    // subbands negated) is folded in.
    alignas(32) float sum[2][16][24], dif[2][16][24];
    const V8 alt = {1, -1, 1, -1, 1, -1, 1, -1};
    for (int ch = 0; ch < nch; ++ch)
        for (int k = 0; k < 16; ++k)
            for (int i = 0; i < 24; i += 8) {
                V8 a = Load8(in[ch][k] + i), b = Load8(in[ch][31 - k] + i);
                if (k & 1)
                    a *= alt;
                else
                    b *= alt;
                Store8(sum[ch][k] + i, a + b);
                Store8(dif[ch][k] + i, a - b);
            }
    const float* D = t_.window;
    const V8 zero = {};
    const V8 lo = zero - 2147483648.0f, hi = zero + 2147483520.0f;
    for (int t = 0; t < 18; ++t) {
        nSynthIndex_ -= 64;
        if (nSynthIndex_ < 0) {
            for (int ch = 0; ch < nch; ++ch)
                std::memcpy(hist_[ch] + 1024, hist_[ch], 1024 * sizeof(float));
            nSynthIndex_ += 1024;
        }
        V8i pcm[2][4];
        for (int ch = 0; ch < nch; ++ch) {
            V8 e0 = {}, e1 = {}, o0 = {}, o1 = {};
            for (int k = 0; k < 16; ++k) {
                const float* E = t_.synthEven[k];
                const float* O = t_.synthOdd[k];
                const float s = sum[ch][k][t], d = dif[ch][k][t];
                e0 += s * Load8(E);
                e1 += s * Load8(E + 8);
                o0 += d * Load8(O);
                o1 += d * Load8(O + 8);
            }
            // X[2j] = even output j, X[2j + 1] = odd output j; X[32] = 0.
            const V8 x0 = InterleaveLo(e0, o0), x1 = InterleaveHi(e0, o0);
            const V8 x2 = InterleaveLo(e1, o1), x3 = InterleaveHi(e1, o1);
            // V[0..16] = X[16..32], V[17..47] = -X[31..1], V[48..63] = -X[0..15].
            float* V = hist_[ch] + nSynthIndex_;
            Store8(V, x2);
            Store8(V + 8, x3);
            Store8(V + 16, ReverseFromB0(-x3, zero));
            Store8(V + 24, ReverseFromB0(-x2, -x3));
            Store8(V + 32, ReverseFromB0(-x1, -x2));
            Store8(V + 40, ReverseFromB0(-x0, -x1));
            Store8(V + 48, -x0);
            Store8(V + 56, -x1);
            V8 c0 = {}, c1 = {}, c2 = {}, c3 = {};
            for (int i = 0; i < 8; ++i) {
                const float* V0 = V + 128 * i;
                const float* D0 = D + 64 * i;
                c0 += Load8(V0) * Load8(D0) + Load8(V0 + 96) * Load8(D0 + 32);
                c1 += Load8(V0 + 8) * Load8(D0 + 8) + Load8(V0 + 104) * Load8(D0 + 40);
                c2 += Load8(V0 + 16) * Load8(D0 + 16) + Load8(V0 + 112) * Load8(D0 + 48);
                c3 += Load8(V0 + 24) * Load8(D0 + 24) + Load8(V0 + 120) * Load8(D0 + 56);
            }
            const V8 c[4] = {c0, c1, c2, c3};
            for (int q = 0; q < 4; ++q) {
                V8 v = c[q] < lo ? lo : c[q];
                v = v > hi ? hi : v;
                pcm[ch][q] = __builtin_convertvector(v, V8i);
            }
        }
        int32_t* o = pDest + t * 32 * nch;
        if (nch == 1) {
            for (int q = 0; q < 4; ++q) *reinterpret_cast<V8iu*>(o + 8 * q) = pcm[0][q];
        } else {
            for (int q = 0; q < 4; ++q) {
                *reinterpret_cast<V8iu*>(o + 16 * q) = InterleaveLo(pcm[0][q], pcm[1][q]);
                *reinterpret_cast<V8iu*>(o + 16 * q + 8) = InterleaveHi(pcm[0][q], pcm[1][q]);
            }
        }
    }
}

void LLayer3Decoder::DecodeFrame(const MP3Header& h, const SideInfo& si, const uint8_t* pMain,
                                 int32_t* pDest) {
    pMain_ = pMain;
    const int nch = h.Channels();
    int bitStart = 0;
    for (int gr = 0; gr < h.Granules(); ++gr) {
        for (int ch = 0; ch < nch; ++ch) {
            const GranuleInfo& g = si.gr[gr][ch];
            nBit_ = bitStart;
            const int endBit = bitStart + g.part2_3_length;
            bitStart = endBit;
            if (h.version == 0)
                ReadScaleFactorsV1(g, ch, gr, si);
            else
                ReadScaleFactorsLsf(g, ch, ch == 1 && h.mode == 1 && (h.mode_extension & 1));
            int n = DecodeHuffman(g, endBit, xr_[ch]);
            limit_[ch] = Requantise(g, sf_[ch], xr_[ch], n);
        }
        if (h.mode == 1 && nch == 2) Stereo(h, si.gr[gr][1], gr);
        for (int ch = 0; ch < nch; ++ch) Hybrid(si.gr[gr][ch], ch, limit_[ch], sbOut_[ch]);
        Synthesis(sbOut_, nch, pDest + gr * 576 * nch);
    }
}

#undef MP3_PEEK32

}  // namespace sonvex::mp3
