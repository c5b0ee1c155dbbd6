#include "formats/mp3/MP3Source.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Debug.h"

namespace sonvex {

using mp3::MP3Header;

namespace {

constexpr int32_t kMaxLength = 0x7FFFFFFF - 2 * kBlockFrames;
static_assert(MP3Header::kMaxFreeBytes + 1 + 511 <= mp3::kMainDataBytes,
              "a free-format frame's main data and a full reservoir fit the buffer");

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Positions stop at the top of the int32 range instead of wrapping.
int32_t AddFrames(int32_t pos, int frames) {
    return pos > INT32_MAX - frames ? INT32_MAX : pos + frames;
}

int32_t ClampLength(double frames) {
    if (!(frames > 0)) return 0;
    return frames > kMaxLength ? kMaxLength : static_cast<int32_t>(frames);
}

}  // namespace

LMP3Source::LMP3Source(const std::string& path) : LMP3Source(LByteSource::OpenFile(path)) {
    if (ErrorState == LSRC_CANNOT_OPEN)
        DebugLog("LMP3Source::LMP3Source unable to open file %s", path.c_str());
}

LMP3Source::LMP3Source(LByteSource&& bytes) : LSoundSourceBase(44100, 1, 0x200000) {
    bool bOpen = hFile.Open(std::move(bytes));
    nFileBytes = bOpen ? hFile.FileSize() : 0;
    int64_t data = nFileBytes - 128;
    nDataBytes = static_cast<int32_t>(std::clamp<int64_t>(data, 0, 0x7FFFFFFF));
    if (!bOpen) {
        ErrorState = LSRC_CANNOT_OPEN;
        return;
    }
    // A leading ID3v2 tag (often holding pictures far longer than the header search looks)
    // is stepped over by its declared size.
    nTagBytes = ID3v2TagBytes();
    if (nTagBytes >= nDataBytes) nTagBytes = 0;
    nAudioStart = nTagBytes;
    hFile.SeekTo(nTagBytes);
    hFile.nBytesLeft = nDataBytes - nTagBytes;
    if (!DecodeInitialHeader()) {
        DebugLog("LMP3Source::LMP3Source no MPEG audio frame header found");
        ErrorState = LSRC_CORRUPT;
        return;
    }
    bStereo = firstHeader.mode != 3;
    decoder.BuildReorderMap(firstHeader.version, firstHeader.sampling_frequency);
    // A file none of whose frames decodes (a false sync in other data, a cut frame, a tag
    // frame alone) is not an MP3 file.
    if (!DecodeFrame(pcmFrame)) {
        DebugLog("LMP3Source::LMP3Source no decodable frame");
        ErrorState = LSRC_CORRUPT;
        return;
    }
    Rewind();
    SetSampleRate(firstHeader.SampleRate());
    SetChannels(bStereo ? 2 : 1);
    nFrameSamples = firstHeader.FrameSamples();
    nBufferPos = nFrameSamples;
    if (nFrames > 0) {
        // The counted frames lie between the tag frame and a trailing ID3v1 tag, if any: in
        // a constant-rate file Seek then lands on its frame to the end.
        uint8_t id3v1[3] = {};
        if (nFileBytes >= 128) {
            hFile.SeekTo(nFileBytes - 128);
            hFile.Read(id3v1, 3);
            Rewind();
        }
        const int64_t audioEnd = nFileBytes - (std::memcmp(id3v1, "TAG", 3) == 0 ? 128 : 0);
        dFrameBytes = std::max(1.0, static_cast<double>(audioEnd - nAudioStart) / nFrames);
        sLength = ClampLength(static_cast<double>(nFrames) * nFrameSamples);
    } else {
        dFrameBytes = static_cast<double>((firstHeader.version == 0 ? 144 : 72) *
                                          static_cast<double>(firstHeader.bitrate)) /
                      firstHeader.SampleRate();
        sLength =
            ClampLength(std::trunc((nDataBytes - nTagBytes) / dFrameBytes + 0.9) * nFrameSamples);
    }
}

void LMP3Source::Rewind() {
    hFile.SeekTo(nAudioStart);
    hFile.nBytesLeft = static_cast<int32_t>(nDataBytes - nAudioStart);
    decoder.Reset();
    nMainFill = 0;
    std::memset(MainData, 0, sizeof MainData);
}

int32_t LMP3Source::ID3v2TagBytes() {
    uint8_t h[10] = {};
    hFile.SeekTo(0);
    const int n = hFile.Read(h, 10);
    hFile.SeekTo(0);
    if (n < 10 || std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF) return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;  // sizes are 7-bit bytes
    const int32_t size = (h[6] << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
    return 10 + size + ((h[5] & 0x10) ? 10 : 0);  // header, body, optional footer
}

bool LMP3Source::HeaderAt(int64_t pos, MP3Header& h, int freeBytes) {
    uint8_t w[4];
    hFile.SeekTo(pos);
    return hFile.Read(w, 4) == 4 && MP3Header::Parse(w, h, freeBytes);
}

// The end of the file or a trailing tag.
bool LMP3Source::EndsStream(int64_t pos) {
    if (pos == nFileBytes) return true;
    uint8_t w[8] = {};
    hFile.SeekTo(pos);
    const int n = hFile.Read(w, 8);
    auto is = [&](const char* tag) {
        const int len = static_cast<int>(std::strlen(tag));
        return n >= len && std::memcmp(w, tag, static_cast<size_t>(len)) == 0;
    };
    return is("TAG") || is("ID3") || is("APETAGEX") || is("LYRICS");
}

// Free format: the frame length is the distance from the header at pos to the next header of
// the stream, less pos's padding, confirmed by the header one frame further on (or the end).
bool LMP3Source::MeasureFreeFormat(int64_t pos, MP3Header& h) {
    const int minBytes = 4 + (h.protection_bit ? 0 : 2) + h.SideInfoBytes();
    const int64_t last = std::min<int64_t>(pos + MP3Header::kMaxFreeBytes + 1, nFileBytes - 4);
    auto isNext = [&](int64_t at, MP3Header& n) {
        return HeaderAt(at, n, MP3Header::kFreeUnmeasured) && n.bitrate == 0 && n.SameStream(h);
    };
    for (int64_t q = pos + minBytes + h.padding_bit; q <= last; ++q) {
        MP3Header second, third;
        if (!isNext(q, second)) continue;
        const int bytes = static_cast<int>(q - pos) - h.padding_bit;
        const int64_t at = q + bytes + second.padding_bit;
        if (at > nFileBytes || !(EndsStream(at) || isNext(at, third))) continue;
        nFreeBytes = bytes;
        return HeaderAt(pos, h, nFreeBytes);
    }
    return false;
}

// The first header within 65536 positions whose frame is followed by another frame of the
// stream, or ends it; leaves the stream after that header and its CRC.
bool LMP3Source::FindFirstFrame(MP3Header& h) {
    const int64_t from = hFile.Tell();
    for (;;) {
        const int64_t left = 65536 - (hFile.Tell() - from);
        if (left <= 0 || !h.ReadHeader(hFile, MP3Header::kFreeUnmeasured, static_cast<int>(left)))
            return false;
        const int64_t after = hFile.Tell();
        if (after >= nFileBytes) return false;  // no byte of the frame after its header
        const int64_t at = after - (h.protection_bit ? 4 : 6);
        bool ok;
        if (h.bitrate == 0) {
            ok = MeasureFreeFormat(at, h);
        } else {
            const int64_t end = at + h.FrameBytes();
            MP3Header next;
            ok = end <= nFileBytes &&
                 (EndsStream(end) || (HeaderAt(end, next, 0) && next.SameStream(h)));
        }
        const int64_t resume = ok ? after : at + 1;
        hFile.SeekTo(resume);
        hFile.nBytesLeft = static_cast<int32_t>(nDataBytes - resume);
        if (ok) return true;
    }
}

bool LMP3Source::DecodeInitialHeader() {
    int64_t sum = 0;
    int count = 0;
    int32_t average = 0;
    for (;;) {
        MP3Header h;
        if (!(count == 0 ? FindFirstFrame(h) : h.ReadHeader(hFile, nFreeBytes))) {
            if (count == 0) return false;
            average = static_cast<int32_t>(sum / count);
            break;
        }
        firstHeader = h;
        const int payload = h.PayloadBytes();
        if (count == 0) {
            uint8_t side[32] = {};
            const int nSide = h.SideInfoBytes();
            hFile.Read(side, nSide);
            uint8_t tag[4] = {};
            hFile.Read(tag, 4);
            bool bZero = std::all_of(side, side + nSide, [](uint8_t b) { return b == 0; });
            int used = nSide + 4;
            bool bVbri = std::memcmp(tag, "VBRI", 4) == 0;
            // "Info" is the constant-bitrate form of the same tag.
            bool bXing = std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0;
            if (bZero && bVbri) {
                uint8_t skip[10], cnt[4] = {};
                hFile.Read(skip, 10);
                hFile.Read(cnt, 4);
                nFrames =
                    static_cast<int32_t>(std::min<uint32_t>(BigEndian32(cnt), kMaxLength / 1152));
                hFile.Skip(std::max(0, payload - used - 14));
                nAudioStart = hFile.Tell();
                return true;
            }
            if (bZero && bXing) {
                uint8_t fields[8] = {};
                hFile.Read(fields, 8);
                if (BigEndian32(fields) & 1) {
                    nFrames = static_cast<int32_t>(
                        std::min<uint32_t>(BigEndian32(fields + 4), kMaxLength / 1152));
                    hFile.Skip(std::max(0, payload - used - 8));
                    nAudioStart = hFile.Tell();
                    return true;
                }
                hFile.Skip(-8);
            }
            hFile.Skip(std::max(0, payload - used));
        } else {
            hFile.Skip(std::max(0, payload));
        }
        sum += h.bitrate;
        if (++count == 8) {
            average = static_cast<int32_t>(sum >> 3);
            break;
        }
    }
    firstHeader.bitrate = average;
    hFile.SeekTo(nTagBytes);
    hFile.nBytesLeft = nDataBytes - nTagBytes;
    return true;
}

bool LMP3Source::DecodeHeader() {
    for (int tries = 0; tries < 11; ++tries) {
        if (!curHeader.ReadHeader(hFile, nFreeBytes)) return false;
        if (curHeader.SameStream(firstHeader)) return true;
    }
    DebugLog("LMP3Source::DecodeHeader too many unusable headers");
    return false;
}

bool LMP3Source::DecodeFrame(int32_t* pDest) {
    if (ErrorState != LSRC_OK) return false;
    for (;;) {
        if (!DecodeHeader()) return false;
        uint8_t side[32] = {};
        const int nSide = curHeader.SideInfoBytes();
        if (hFile.Read(side, nSide) < nSide) return false;
        mp3::LLayer3Decoder::ParseSideInfo(side, curHeader, sideInfo);
        const int nMain = curHeader.MainDataBytes();
        const int begin = sideInfo.main_data_begin;
        const bool bDecodable = nMainFill >= begin;
        int kept = bDecodable ? begin : nMainFill;
        kept = std::min(kept, mp3::kMainDataBytes - nMain);
        if (kept > 0)
            std::memmove(MainData, MainData + nMainFill - kept, static_cast<size_t>(kept));
        int got = hFile.Read(MainData + kept, nMain);
        nMainFill = kept + got;
        if (got < nMain) return false;  // the file ends inside the frame
        if (!bDecodable) {
            DebugLog("LMP3Source::DecodeFrame main_data_begin beyond the reservoir");
            continue;
        }
        decoder.DecodeFrame(curHeader, sideInfo, MainData, pDest);
        return true;
    }
}

void LMP3Source::ReestimateLength(int64_t sAfterFrame) {
    if (nFrames != 0) return;
    double more = std::trunc(hFile.nBytesLeft / dFrameBytes + 0.9);
    // While the file still holds bytes not yet decoded, the estimate never ends the stream:
    // the last 128 bytes may hold frames rather than a tag.
    if (more < 1 && hFile.Tell() < nFileBytes) more = 1;
    if (more < 0) more = 0;
    sLength = ClampLength(static_cast<double>(sAfterFrame) + more * nFrameSamples);
}

void LMP3Source::Read(int32_t* pBuffer, int frames) {
    if (frames <= 0) return;
    const int nch = nChans;
    if (sPosition > sLength) {
        std::memset(pBuffer, 0, sizeof(int32_t) * static_cast<size_t>(frames) * nch);
        sPosition = AddFrames(sPosition, frames);
        return;
    }
    int32_t start = sPosition;
    sPosition = AddFrames(sPosition, frames);
    int32_t* out = pBuffer;
    int remaining = frames;
    if (start < 0) {
        if (sPosition <= 0) {
            std::memset(pBuffer, 0, sizeof(int32_t) * static_cast<size_t>(frames) * nch);
            return;
        }
        int zeros = -start;
        std::memset(out, 0, sizeof(int32_t) * static_cast<size_t>(zeros) * nch);
        out += zeros * nch;
        remaining = sPosition;
    }
    while (remaining > 0) {
        const int32_t here = sPosition - remaining;
        if (nBufferPos >= nFrameSamples && remaining >= nFrameSamples) {
            if (!DecodeFrame(out)) break;
            out += nFrameSamples * nch;
            remaining -= nFrameSamples;
            ReestimateLength(int64_t(here) + nFrameSamples);
            continue;
        }
        if (nBufferPos >= nFrameSamples) {
            if (!DecodeFrame(pcmFrame)) break;
            nBufferPos = 0;
            ReestimateLength(int64_t(here) + nFrameSamples);
        }
        int k = std::min(remaining, nFrameSamples - nBufferPos);
        std::memcpy(out, pcmFrame + nBufferPos * nch,
                    sizeof(int32_t) * static_cast<size_t>(k) * nch);
        nBufferPos += k;
        out += k * nch;
        remaining -= k;
    }
    if (remaining > 0) {
        const int32_t realEnd = sPosition - remaining;
        if (sLength > realEnd) sLength = realEnd;
        std::memset(out, 0, sizeof(int32_t) * static_cast<size_t>(remaining) * nch);
    }
}

void LMP3Source::Seek(int32_t frame) {
    sPosition = frame;
    if (ErrorState != LSRC_OK) return;
    int32_t t = std::clamp(frame, 0, sLength);
    int32_t f = t / nFrameSamples;
    int32_t r = t % nFrameSamples;
    int32_t warm = std::min(4, f);
    int32_t startFrame = f - warm;
    // Frame k of a constant-rate stream starts within a byte or so of k x dFrameBytes, on
    // either side: starting half a frame early lets the header search find frame k itself.
    double at = startFrame > 0 ? (startFrame - 0.5) * dFrameBytes : 0.0;
    int64_t pos = nAudioStart + static_cast<int64_t>(std::trunc(at));
    hFile.SeekTo(pos);
    hFile.nBytesLeft = static_cast<int32_t>(std::max<int64_t>(nDataBytes - pos, INT32_MIN));
    decoder.Reset();
    // The held bytes stand in for the reservoir of the first warm-up frame, so that it is
    // decoded (and discarded) rather than skipped, and the frame count stays exact.
    if (warm > 0) nMainFill = mp3::kMainDataBytes;
    for (int i = 0; i < warm; ++i)
        if (!DecodeFrame(pcmFrame)) break;
    nBufferPos = DecodeFrame(pcmFrame) ? r : nFrameSamples;
}

}  // namespace sonvex
