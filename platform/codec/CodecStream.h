// The codec manager: conversion streams between a wave format record (the "fmt " payload of a
// WAV file, little-endian bytes) and 16-bit interleaved PCM of the record's channels and rate,
// in either direction, converted block by block with start and end flags. Backed by FFmpeg's
// codecs; a format tag maps to a codec through FFmpeg's RIFF tag table.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sonvex {

enum class LCodecResult {
    Ok,
    NotPossible,    // no codec converts between the two formats
    InvalidFormat,  // a record that is malformed (sizes, channels, rate)
    Failed,         // the codec failed on the data
};

// Open flags.
inline constexpr unsigned kCodecOpenQuery = 0x1;        // test only; no stream is returned
inline constexpr unsigned kCodecOpenNonRealtime = 0x4;  // accepted; every stream is non-real-time
// Convert flags.
inline constexpr unsigned kCodecConvertBlockAlign = 0x4;  // take whole source blocks only
inline constexpr unsigned kCodecConvertStart = 0x10;      // reset the codec first
inline constexpr unsigned kCodecConvertEnd = 0x20;        // the source ends: flush everything

// The largest record kept anywhere (the stored output choice is a 1024-byte block).
inline constexpr size_t kCodecMaxRecordBytes = 1024;

// The fields of a record; extra points into the bytes it was parsed from.
struct LCodecRecord {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
    const uint8_t* pExtra = nullptr;

    // False for a record that is not safe to use: under 16 bytes, cbSize past the bytes given
    // or past kCodecMaxRecordBytes, channels outside 1..255, rate 0.
    static bool Parse(std::span<const uint8_t> bytes, LCodecRecord& out);
};

struct LCodecStreamHeader {
    const uint8_t* pbSrc = nullptr;
    uint32_t cbSrcLength = 0;
    uint32_t cbSrcLengthUsed = 0;
    uint8_t* pbDst = nullptr;
    uint32_t cbDstLength = 0;
    uint32_t cbDstLengthUsed = 0;
};

class LCodecStream {
public:
    enum class SizeQuery {
        Source,       // given source bytes: the destination bytes they may produce
        Destination,  // given destination bytes: the source bytes that fill them
    };

    ~LCodecStream();
    LCodecStream(const LCodecStream&) = delete;
    LCodecStream& operator=(const LCodecStream&) = delete;

    // One side must be 16-bit PCM of the other side's channels and rate. With
    // kCodecOpenQuery only the result is given.
    static LCodecResult Open(std::unique_ptr<LCodecStream>& out, std::span<const uint8_t> from,
                             std::span<const uint8_t> to, unsigned flags);
    LCodecResult Size(uint32_t bytes, uint32_t& result, SizeQuery query) const;
    // Converts source bytes into the destination. Codec output that does not fit is kept for
    // the next call; with kCodecConvertEnd the codec is drained (call again while it gives
    // output). Failed when the codec breaks down; the stream then ends.
    LCodecResult Convert(LCodecStreamHeader& header, unsigned flags);

    struct Impl;

private:
    explicit LCodecStream(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> p_;
};

// What the format chooser offers: the formats a WAV file can be written in here.
struct LCodecFormatTag {
    uint16_t wFormatTag;
    const char* szName;  // "IMA ADPCM"
    const char* szKey;   // "ima-adpcm": the name on the command line
    bool bBitRate;       // the fourth parameter is a bit rate in kbit/s, not bits per sample
    std::vector<uint32_t> bits;  // the bits per sample (or kbit/s) to offer
};
std::span<const LCodecFormatTag> CodecFormatTags();
const LCodecFormatTag* FindCodecFormatTag(uint16_t tag);

// The record a WAV writer of FFmpeg gives for the format (block align, extra bytes such as
// samples per block or coefficients); empty when no codec here encodes it.
std::vector<uint8_t> CodecSuggestRecord(uint16_t tag, uint32_t rate, uint16_t channels,
                                        uint32_t bits);
// "IMA ADPCM, 22,050 Hz, 4 Bit, Stereo, 11 kB/s".
std::string CodecDescribeRecord(std::span<const uint8_t> record);

}  // namespace sonvex
