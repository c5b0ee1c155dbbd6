// Layer III decoding of one accepted frame: side information, scale factors, Huffman data,
// requantisation, stereo processing, alias reduction, IMDCT and polyphase synthesis.
#pragma once

#include <cstdint>

#include "formats/mp3/MP3Header.h"
#include "formats/mp3/MP3Tables.h"

namespace sonvex::mp3 {

struct GranuleInfo {
    int part2_3_length = 0;
    int big_values = 0;
    int global_gain = 0;
    int scalefac_compress = 0;
    int intensity_scale = 0;
    int window_switching = 0;
    int block_type = 0;
    int mixed_block = 0;
    int table_select[3] = {};
    int subblock_gain[3] = {};
    int region0_count = 0;
    int region1_count = 0;
    int preflag = 0;
    int scalefac_scale = 0;
    int count1table_select = 0;
};

struct SideInfo {
    int main_data_begin = 0;
    int scfsi[2][4] = {};
    GranuleInfo gr[2][2];
};

// Bytes of reservoir the bit reader may address; reads beyond the held bytes stay inside.
// Room for the largest free-format frame's main data behind a full main_data_begin (511).
inline constexpr int kMainDataBytes = 4096;
inline constexpr int kMainDataGuard = 4096;

class LLayer3Decoder {
public:
    LLayer3Decoder();

    // Per-stream setup from the first header.
    void BuildReorderMap(int version, int samplingFrequency);
    // Clears the overlap store and the synthesis state.
    void Reset();

    static void ParseSideInfo(const uint8_t* pBytes, const MP3Header& h, SideInfo& si);

    // Decodes the frame whose main data starts at bit 0 of pMain (kMainDataBytes plus
    // kMainDataGuard bytes addressable) into h.FrameSamples() x channels interleaved samples.
    void DecodeFrame(const MP3Header& h, const SideInfo& si, const uint8_t* pMain, int32_t* pDest);

    const uint16_t* ReorderMap(int m) const { return reorder_[m]; }

private:
    struct ScaleFactors {
        int l[22];
        int s[13][3];
        int isMaxL[22];  // largest position of each band's width (LSF intensity rule)
        int isMaxS[13][3];
    };

    void ReadScaleFactorsV1(const GranuleInfo& g, int ch, int gr, const SideInfo& si);
    void ReadScaleFactorsLsf(const GranuleInfo& g, int ch, bool bIntensityRight);
    // Returns the number of lines (in decode order) filled.
    int DecodeHuffman(const GranuleInfo& g, int endBit, float* xr);
    int Requantise(const GranuleInfo& g, const ScaleFactors& sf, float* xr, int nLines);
    void Stereo(const MP3Header& h, const GranuleInfo& gR, int gr);
    void IntensityLong(const MP3Header& h, const GranuleInfo& gR, int firstBand, int lastBand,
                       bool bMs);
    void Hybrid(const GranuleInfo& g, int ch, int limit, float (*out)[24]);
    void Synthesis(const float (*in)[32][24], int nch, int32_t* pDest);

    const SharedTables& t_;
    const SfbRow* pSfb_ = &kSfbRows[0][0];
    int version_ = 0;
    int nMixedLongSb_ = 2;

    alignas(32) uint16_t reorder_[3][576];
    uint16_t reorderLimit_[576];  // highest position + 1 reachable by decode index i (maps 1, 2)

    // Bit reader over the reservoir.
    const uint8_t* pMain_ = nullptr;
    int nBit_ = 0;

    ScaleFactors sf_[2];
    alignas(32) float xr_[2][576];
    int limit_[2] = {};
    // [channel][subband][time slot], rows padded to 24 for whole-vector access.
    alignas(32) float overlap_[2][32][24];
    alignas(32) float sbOut_[2][32][24];
    alignas(32) float hist_[2][2048];
    int nSynthIndex_ = 1088;
};

}  // namespace sonvex::mp3
