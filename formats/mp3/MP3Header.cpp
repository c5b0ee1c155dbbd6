#include "formats/mp3/MP3Header.h"

#include "formats/mp3/MP3Stream.h"
#include "platform/Debug.h"

namespace sonvex::mp3 {

namespace {

const int32_t kBitrates[2][16] = {
    {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000,
     256000, 320000, 0},
    {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000,
     160000, 0},
};
const int32_t kBaseRates[3] = {44100, 48000, 32000};

}  // namespace

bool MP3Header::Parse(const uint8_t b[4], MP3Header& h, int freeBytes) {
    if (b[0] != 0xFF || b[1] < 0xE0) return false;
    int versionBits = (b[1] >> 3) & 3;
    if (versionBits == 1) return false;
    if (((b[1] >> 1) & 3) != 1) return false;  // layer III
    int version = versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2;
    const int index = b[2] >> 4;
    int32_t bitrate = kBitrates[version == 0 ? 0 : 1][index];
    if (index == 0 ? freeBytes == 0 : bitrate == 0) return false;
    int sf = (b[2] >> 2) & 3;
    if (sf >= 3) return false;
    const int32_t free = index == 0 && freeBytes > 0 ? freeBytes : 0;
    if (free > 0) bitrate = free * (kBaseRates[sf] >> version) / (version == 0 ? 144 : 72);
    h.version = version;
    h.protection_bit = b[1] & 1;
    h.bitrate = bitrate;
    h.free_bytes = free;
    h.sampling_frequency = sf;
    h.padding_bit = (b[2] >> 1) & 1;
    h.mode = b[3] >> 6;
    h.mode_extension = (b[3] >> 4) & 3;
    return true;
}

bool MP3Header::ReadHeader(LMP3Stream& s, int freeBytes, int maxTested) {
    uint8_t w[4];
    if (s.Read(w, 4) < 4) return false;
    MP3Header h;
    for (int tested = 0;;) {
        if (Parse(w, h, freeBytes)) {
            if (h.protection_bit == 0) {
                uint8_t crc[2];
                s.Read(crc, 2);
            }
            *this = h;
            return true;
        }
        if (++tested >= maxTested) {
            DebugLog("MP3Header::ReadHeader unable to find header after %d bytes", tested - 1);
            return false;
        }
        w[0] = w[1];
        w[1] = w[2];
        w[2] = w[3];
        if (!s.ReadByte(w[3])) return false;
    }
}

int MP3Header::SampleRate() const {
    return kBaseRates[sampling_frequency % 3] >> version;
}

int MP3Header::PayloadBytes() const {
    const int slots =
        free_bytes > 0 ? free_bytes : (version == 0 ? 144 : 72) * bitrate / SampleRate();
    int n = slots + padding_bit - 4;
    if (protection_bit == 0) n -= 2;
    return n;
}

int MP3Header::SideInfoBytes() const {
    if (version == 0) return mode == 3 ? 17 : 32;
    return mode == 3 ? 9 : 17;
}

int MP3Header::MainDataBytes() const {
    int n = PayloadBytes() - SideInfoBytes();
    return n > 0 ? n : 0;
}

}  // namespace sonvex::mp3
