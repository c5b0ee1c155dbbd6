#include "formats/mp3/MP3Source.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Debug.h"

namespace sonvex {

using mp3::MP3Header;

namespace {

constexpr int32_t kMaxLength = 0x7FFFFFFF - 2 * kBlockFrames;

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

LMP3Source::LMP3Source(const std::string& path) : LSoundSourceBase(44100, 1, 0x200000) {
    bool bOpen = hFile.Open(path);
    nFileBytes = bOpen ? hFile.FileSize() : 0;
    int64_t data = nFileBytes - 128;
    nDataBytes = static_cast<int32_t>(std::clamp<int64_t>(data, 0, 0x7FFFFFFF));
    if (!bOpen) {
        DebugLog("LMP3Source::LMP3Source unable to open file %s", path.c_str());
        ErrorState = 4;
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
        ErrorState = 3;
        return;
    }
    bStereo = firstHeader.mode != 3;
    SetSampleRate(firstHeader.SampleRate());
    SetChannels(bStereo ? 2 : 1);
    nFrameSamples = firstHeader.FrameSamples();
    nBufferPos = nFrameSamples;
    if (nFrames > 0) {
        dFrameBytes = static_cast<double>(nDataBytes - nTagBytes) / nFrames;
        sLength = ClampLength(static_cast<double>(nFrames) * nFrameSamples);
    } else {
        dFrameBytes = static_cast<double>((firstHeader.version == 0 ? 144 : 72) *
                                          static_cast<double>(firstHeader.bitrate)) /
                      firstHeader.SampleRate();
        sLength =
            ClampLength(std::trunc((nDataBytes - nTagBytes) / dFrameBytes + 0.9) * nFrameSamples);
    }
    decoder.Reset();
    decoder.BuildReorderMap(firstHeader.version, firstHeader.sampling_frequency);
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

bool LMP3Source::DecodeInitialHeader() {
    int64_t sum = 0;
    int count = 0;
    int32_t average = 0;
    for (;;) {
        MP3Header h;
        if (!h.ReadHeader(hFile)) {
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
            bool bXing = std::memcmp(tag, "Xing", 4) == 0;
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
        if (!curHeader.ReadHeader(hFile)) return false;
        if (curHeader.version == firstHeader.version &&
            curHeader.sampling_frequency == firstHeader.sampling_frequency &&
            (curHeader.mode != 3) == (bStereo != 0))
            return true;
    }
    DebugLog("LMP3Source::DecodeHeader too many unusable headers");
    return false;
}

bool LMP3Source::DecodeFrame(int32_t* pDest) {
    if (ErrorState != 0) return false;
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
    if (ErrorState != 0) return;
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
