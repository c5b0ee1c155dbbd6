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
    alignas(32) float matrix[64][32];  // cos((i + 16)(2k + 1)pi/64) * 524288
    // The matrixing as a DCT of 32 values split in halves: synthEven[k][j] holds the
    // coefficient of output 2j for (s[k] + s[31 - k]), synthOdd[k][j] of output 2j + 1 for
    // (s[k] - s[31 - k]); output m is row m - 16 of matrix (m >= 16), else minus row 48 - m.
    alignas(32) float synthEven[16][16];
    alignas(32) float synthOdd[16][16];
    alignas(32) float window[512];  // synthesis window D[i]
    alignas(32) float gain[256];    // 2^((g - 210)/4)
    alignas(32) float scale[65];    // 2^(-n/2)
    float power[8207];              // n^(4/3)
    // Windowed IMDCT by block type: the 36 outputs of input line k, outputs 0..17 at 0..17 and
    // 18..35 at 24..41 (each half padded to 24). For block type 2 line k is line k / 3 of
    // short window k % 3, whose 12 outputs start at 6 + 6 x (k % 3).
    alignas(32) float imdct[4][18][48];
    alignas(32) float aliasCs[8];
    alignas(32) float aliasCa[8];
    float isRatioL[16], isRatioR[16];  // MPEG-1 intensity ratios by position
    float lsfRatio[2][32][2];          // [intensity_scale][position][left/right]
    // Flattened Huffman trees (entry < 0: branch, 0-subtree next, 1-subtree at 1 - n ahead).
    int16_t huffTree[34][1024];  // 0..31 pair tables, 32 count1 A, 33 count1 B
    int huffTreeSize[34];
    // First-level lookup: kLookBits bits at once; entry = (leaf << 8 | length) for a code of
    // at most kLookBits bits, else -(tree index to continue from) - 1 after kLookBits bits.
    static constexpr int kLookBits = 8;
    int32_t huffLook[34][1 << kLookBits];
    // Whole pairs at once: for the next kPairBits bits, when they hold a complete code without
    // an escape and its sign bits, bit 31 set, bits 0..4 the bits used, bits 8..13 and 16..21
    // the signed x and y plus 14. Otherwise 0.
    static constexpr int kPairBits = 10;
    uint32_t huffPair[32][1 << kPairBits];
    // Count1 quadruples, tables A and B: bits 0..4 the bits used, bits 8..15 the values v, w,
    // x, y as two bits each (0: 0, 1: +1, 2: -1). Every entry is complete.
    uint32_t huffQuad[2][1 << kPairBits];
    float signedPower[29];  // (v - 14)^(4/3) with the sign of v - 14
};

// Builds the tables the first time it is called; later calls return the same tables.
const SharedTables& GetSharedTables();

}  // namespace sonvex::mp3
