// Layer III tables: the constants of ISO/IEC 11172-3 and 13818-3, and the tables derived from
// them once per process.
#pragma once

#include <cstdint>

namespace sonvex::mp3 {

// Scale-factor band boundaries, indexed [version][sampling_frequency].
struct SfbRow {
    int16_t lng[25];   // 23 boundaries (0..576) and two more 576s
    int16_t shrt[14];  // 14 boundaries, already multiplied by 3
};
extern const SfbRow kSfbRows[3][3];

// Huffman code table description: codes and lengths for x*size+y (pair tables).
struct HuffSpec {
    int size;  // values per dimension (0 for an empty table)
    const uint16_t* codes;
    const uint8_t* lens;
};
extern const HuffSpec kHuffPairSpecs[32];  // tables 0..31 (16..23 share 16, 24..31 share 24)
extern const uint8_t kHuffLinbits[32];
extern const uint16_t kQuadCodesA[16];
extern const uint8_t kQuadLensA[16];

extern const uint8_t kPretab[22];
extern const uint8_t kSlen[2][16];       // MPEG-1 slen1/slen2 by scalefac_compress
extern const uint8_t kNrOfSfb[6][3][4];  // LSF partitions [table][long/short/mixed][part]
extern const double kSynthWindow[257];   // D[0..256]; the rest follows by symmetry
extern const double kAliasCoef[8];

// Tables built once (BuildSharedTables) and read-only afterwards.
struct SharedTables {
    alignas(32) float matrix[64][32];        // cos((i + 16)(2k + 1)pi/64) * 524288
    alignas(32) float dsynth[32][32];        // rows 0..15 and 33..48 of matrix, transposed [k][row]
    alignas(32) float window[512];           // synthesis window D[i]
    alignas(32) float gain[256];             // 2^((g - 210)/4)
    alignas(32) float scale[65];             // 2^(-n/2)
    float power[8207];                       // n^(4/3)
    alignas(32) float imdctLong[4][18][36];  // [block type][k][n], window folded in
    alignas(32) float imdctShort[6][12];     // [k][n], short window folded in
    float aliasCs[8], aliasCa[8];
    float isRatioL[16], isRatioR[16];  // MPEG-1 intensity ratios by position
    float lsfRatio[2][32][2];          // [intensity_scale][position][left/right]
    // Flattened Huffman trees (entry < 0: branch, 0-subtree next, 1-subtree at 1 - n ahead).
    int16_t huffTree[34][1024];  // 0..31 pair tables, 32 count1 A, 33 count1 B
    int huffTreeSize[34];
    // First-level lookup: kLookBits bits at once; entry = (leaf << 8 | length) for a code of
    // at most kLookBits bits, else -(tree index to continue from) - 1 after kLookBits bits.
    static constexpr int kLookBits = 8;
    int32_t huffLook[34][1 << kLookBits];
};

// Builds the tables the first time it is called; later calls return the same tables.
const SharedTables& GetSharedTables();

}  // namespace sonvex::mp3
