#include "platform/codec/CodecTags.h"

#include <cstring>

extern "C" {
#include <libavformat/avio.h>
}

namespace sonvex::av {

namespace {

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return Le16(p) | (static_cast<uint32_t>(Le16(p + 2)) << 16);
}

constexpr uint16_t kExtensible = 0xFFFE;
constexpr size_t kExtensibleBytes = 22;
// The last 12 bytes of the sub-format identifiers that carry a format tag in their first two.
constexpr uint8_t kMediaSubtypeBase[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                           0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint8_t kAmbisonicBase[12] = {0x21, 0x07, 0xD3, 0x11, 0x86, 0x44,
                                        0xC8, 0xC1, 0xCA, 0x00, 0x00, 0x00};

AVCodecID PcmCodec(unsigned bits, bool bFloat) {
    switch ((bits + 7) / 8) {
        case 1:
            return bFloat ? AV_CODEC_ID_NONE : AV_CODEC_ID_PCM_U8;
        case 2:
            return bFloat ? AV_CODEC_ID_NONE : AV_CODEC_ID_PCM_S16LE;
        case 3:
            return bFloat ? AV_CODEC_ID_NONE : AV_CODEC_ID_PCM_S24LE;
        case 4:
            return bFloat ? AV_CODEC_ID_PCM_F32LE : AV_CODEC_ID_PCM_S32LE;
        case 8:
            return bFloat ? AV_CODEC_ID_PCM_F64LE : AV_CODEC_ID_PCM_S64LE;
        default:
            return AV_CODEC_ID_NONE;
    }
}

}  // namespace

AVCodecID CodecIdForRecord(const LCodecRecord& r) {
    unsigned tag = r.wFormatTag;
    if (tag == kExtensible) {
        if (r.cbSize < kExtensibleBytes) return AV_CODEC_ID_NONE;
        const uint8_t* guid = r.pExtra + 6;
        if (std::memcmp(guid + 4, kMediaSubtypeBase, 12) != 0 &&
            std::memcmp(guid + 4, kAmbisonicBase, 12) != 0)
            return AV_CODEC_ID_NONE;
        if (Le32(guid) > 0xFFFF || Le32(guid) == kExtensible) return AV_CODEC_ID_NONE;
        tag = Le32(guid);
    }
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tables, tag);
    if (id == AV_CODEC_ID_PCM_S16LE) return PcmCodec(r.wBitsPerSample, false);
    if (id == AV_CODEC_ID_PCM_F32LE) return PcmCodec(r.wBitsPerSample, true);
    return id;
}

std::vector<uint8_t> CodecExtradata(const LCodecRecord& r) {
    size_t skip = r.wFormatTag == kExtensible ? kExtensibleBytes : 0;
    if (r.cbSize <= skip) return {};
    return std::vector<uint8_t>(r.pExtra + skip, r.pExtra + r.cbSize);
}

std::vector<uint8_t> WavRecordOf(const AVCodecContext* encoder) {
    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, "wav", nullptr) < 0 || !oc) return {};
    OutputFormatPtr owner(oc);
    oc->flags |= AVFMT_FLAG_BITEXACT;
    AVStream* st = avformat_new_stream(oc, nullptr);
    if (!st || avcodec_parameters_from_context(st->codecpar, encoder) < 0) return {};
    st->time_base = AVRational{1, encoder->sample_rate};
    AVIOContext* pb = nullptr;
    if (avio_open_dyn_buf(&pb) < 0) return {};
    oc->pb = pb;
    const int written = avformat_write_header(oc, nullptr);
    uint8_t* buf = nullptr;
    const int n = avio_close_dyn_buf(pb, &buf);
    oc->pb = nullptr;
    std::vector<uint8_t> record;
    // RIFF, size, WAVE, then chunks up to "fmt ".
    if (written >= 0 && n >= 12) {
        for (int at = 12; at + 8 <= n;) {
            const uint32_t size = Le32(buf + at + 4);
            if (std::memcmp(buf + at, "fmt ", 4) == 0) {
                if (size <= static_cast<uint32_t>(n - at - 8))
                    record.assign(buf + at + 8, buf + at + 8 + size);
                break;
            }
            if (size > static_cast<uint32_t>(n)) break;
            at += 8 + static_cast<int>(size + (size & 1));
        }
    }
    av_free(buf);
    return record;
}

}  // namespace sonvex::av
