#include "platform/codec/CodecStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Debug.h"
#include "platform/codec/AvHandles.h"
#include "platform/codec/CodecTags.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace sonvex {

namespace {

constexpr uint32_t kMaxRate = 1000000;
constexpr int kMaxCodecChannels = 64;  // the sample converter's limit
constexpr int kMaxBadPackets = 64;     // packets in a row the decoder refuses before it fails
constexpr uint32_t kParserChunk = 4096;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return Le16(p) | (static_cast<uint32_t>(Le16(p + 2)) << 16);
}

bool IsPcm16For(const LCodecRecord& pcm, const LCodecRecord& other) {
    return pcm.wFormatTag == 1 && pcm.wBitsPerSample == 16 && pcm.nChannels == other.nChannels &&
           pcm.nSamplesPerSec == other.nSamplesPerSec;
}

bool IsPcmCodec(AVCodecID id) {
    return av_get_bits_per_sample(id) > 0 && id >= AV_CODEC_ID_PCM_S16LE &&
           id < AV_CODEC_ID_ADPCM_IMA_QT;
}

bool IsMpegAudio(AVCodecID id) {
    return id == AV_CODEC_ID_MP3 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP1;
}

void SetLayout(AVCodecContext* ctx, const LCodecRecord& r) {
    av_channel_layout_uninit(&ctx->ch_layout);
    if (r.wFormatTag == 0xFFFE && r.cbSize >= 6) {
        const uint32_t mask = Le32(r.pExtra + 2);
        if (mask && __builtin_popcount(mask) == r.nChannels &&
            av_channel_layout_from_mask(&ctx->ch_layout, mask) == 0)
            return;
    }
    av_channel_layout_default(&ctx->ch_layout, r.nChannels);
}

}  // namespace

bool LCodecRecord::Parse(std::span<const uint8_t> b, LCodecRecord& r) {
    r = LCodecRecord{};
    if (b.size() < 16) return false;
    r.wFormatTag = Le16(&b[0]);
    r.nChannels = Le16(&b[2]);
    r.nSamplesPerSec = Le32(&b[4]);
    r.nAvgBytesPerSec = Le32(&b[8]);
    r.nBlockAlign = Le16(&b[12]);
    r.wBitsPerSample = Le16(&b[14]);
    r.cbSize = b.size() >= 18 ? Le16(&b[16]) : 0;
    r.pExtra = b.size() > 18 ? &b[18] : nullptr;
    if (18u + r.cbSize > kCodecMaxRecordBytes || (r.cbSize && 18u + r.cbSize > b.size()))
        return false;
    return r.nChannels >= 1 && r.nChannels <= 255 && r.nSamplesPerSec >= 1 &&
           r.nSamplesPerSec <= kMaxRate;
}

struct LCodecStream::Impl {
    virtual ~Impl() = default;
    virtual LCodecResult Size(uint32_t bytes, uint32_t& result, SizeQuery query) const = 0;
    virtual LCodecResult Convert(LCodecStreamHeader& h, unsigned flags) = 0;

    // Moves kept output into the destination.
    void Drain(LCodecStreamHeader& h) {
        const size_t n = std::min<size_t>(out.size() - outAt, h.cbDstLength - h.cbDstLengthUsed);
        if (n) std::memcpy(h.pbDst + h.cbDstLengthUsed, out.data() + outAt, n);
        h.cbDstLengthUsed += static_cast<uint32_t>(n);
        outAt += n;
        if (outAt == out.size()) {
            out.clear();
            outAt = 0;
        }
    }

    std::vector<uint8_t> out;  // converted bytes not yet handed over
    size_t outAt = 0;
};

namespace {

// Compressed (or wider PCM) record -> 16-bit PCM.
class Decoder final : public LCodecStream::Impl {
public:
    static LCodecResult Open(const LCodecRecord& r, std::unique_ptr<LCodecStream::Impl>& out) {
        if (r.nChannels > kMaxCodecChannels) return LCodecResult::NotPossible;
        const AVCodecID id = av::CodecIdForRecord(r);
        const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
        if (!codec) return LCodecResult::NotPossible;
        auto d = std::make_unique<Decoder>();
        d->id_ = id;
        d->nChannels_ = r.nChannels;
        d->nRate_ = static_cast<int>(r.nSamplesPerSec);
        d->nAvgBytes_ = r.nAvgBytesPerSec;
        d->nBlockAlign_ = r.nBlockAlign;
        if (IsPcmCodec(id)) {
            // The codec's own frame size; a record's other value would split samples.
            d->nBlockAlign_ = static_cast<uint32_t>(av_get_bits_per_sample(id) / 8 * r.nChannels);
        }
        d->parser_.reset(av_parser_init(id));
        if (!d->parser_ && d->nBlockAlign_ == 0) return LCodecResult::InvalidFormat;
        d->nPacketBytes_ = d->nBlockAlign_ ? d->nBlockAlign_ * std::max(1u, 32768 / d->nBlockAlign_)
                                           : kParserChunk;
        d->ctx_.reset(avcodec_alloc_context3(codec));
        d->pkt_.reset(av_packet_alloc());
        d->frame_.reset(av_frame_alloc());
        if (!d->ctx_ || !d->pkt_ || !d->frame_) return LCodecResult::Failed;
        AVCodecContext* c = d->ctx_.get();
        c->sample_rate = d->nRate_;
        SetLayout(c, r);
        c->block_align = static_cast<int>(d->nBlockAlign_);
        c->bit_rate = static_cast<int64_t>(r.nAvgBytesPerSec) * 8;
        c->bits_per_coded_sample = r.wBitsPerSample;
        if (id == AV_CODEC_ID_ADPCM_G726 || id == AV_CODEC_ID_ADPCM_G726LE)
            c->bits_per_coded_sample = static_cast<int>(c->bit_rate / c->sample_rate);
        const std::vector<uint8_t> extra = av::CodecExtradata(r);
        if (!extra.empty()) {
            c->extradata =
                static_cast<uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!c->extradata) return LCodecResult::Failed;
            std::memcpy(c->extradata, extra.data(), extra.size());
            c->extradata_size = static_cast<int>(extra.size());
        }
        if (avcodec_open2(c, codec, nullptr) < 0) {
            DebugLog("LCodecStream::Open the decoder of tag 0x%04X refuses the record",
                     r.wFormatTag);
            return LCodecResult::NotPossible;
        }
        // Frames per block, where the codec's blocks have a fixed number (PCM, ADPCM, GSM).
        if (d->nBlockAlign_ && !d->parser_)
            d->nBlockFrames_ = static_cast<uint32_t>(
                std::max(av_get_audio_frame_duration(c, static_cast<int>(d->nBlockAlign_)), 0));
        d->scratch_.resize(kParserChunk + AV_INPUT_BUFFER_PADDING_SIZE);
        out = std::move(d);
        return LCodecResult::Ok;
    }

    LCodecResult Size(uint32_t bytes, uint32_t& result, LCodecStream::SizeQuery q) const override {
        const uint64_t frameBytes = 2u * static_cast<uint64_t>(nChannels_);
        const uint64_t bps = nAvgBytes_ ? nAvgBytes_ : static_cast<uint64_t>(nRate_);
        uint64_t n;
        if (q == LCodecStream::SizeQuery::Destination) {
            // Source bytes for this much PCM, in whole blocks, never less than one block or
            // (for codecs found by a parser) a few frames.
            const uint64_t frames = bytes / frameBytes;
            if (nBlockFrames_)
                n = (frames + nBlockFrames_ - 1) / nBlockFrames_ * nBlockAlign_;
            else
                n = (frames * bps + static_cast<uint64_t>(nRate_) - 1) / nRate_;
            if (nBlockAlign_) n = (n + nBlockAlign_ - 1) / nBlockAlign_ * nBlockAlign_;
            n = std::max<uint64_t>(n, std::max<uint64_t>(nBlockAlign_, parser_ ? 8192 : 1));
        } else if (nBlockFrames_) {
            n = bytes / nBlockAlign_ * nBlockFrames_ * frameBytes;
        } else {
            n = bytes * static_cast<uint64_t>(nRate_) / bps * frameBytes;
        }
        if (n == 0 || n > 0x7FFFFFFF) return LCodecResult::NotPossible;
        result = static_cast<uint32_t>(n);
        return LCodecResult::Ok;
    }

    LCodecResult Convert(LCodecStreamHeader& h, unsigned flags) override {
        h.cbSrcLengthUsed = h.cbDstLengthUsed = 0;
        if (flags & kCodecConvertStart) {
            avcodec_flush_buffers(ctx_.get());
            if (parser_) parser_.reset(av_parser_init(id_));
            out.clear();
            outAt = 0;
            bDraining_ = false;
            nBad_ = 0;
        }
        Drain(h);
        const bool bEnd = (flags & kCodecConvertEnd) != 0;
        while (h.cbDstLengthUsed < h.cbDstLength) {
            const uint32_t left = h.cbSrcLength - h.cbSrcLengthUsed;
            const uint8_t* p = h.pbSrc + h.cbSrcLengthUsed;
            if (left == 0 && (!bEnd || bDraining_)) break;
            if (left == 0) {
                // The source has ended: whatever the parser and the codec hold comes out.
                if (parser_ && Parse(nullptr, 0) > 0) continue;
                bDraining_ = true;
                if (!Send(nullptr, 0)) return LCodecResult::Failed;
            } else if (parser_) {
                const uint32_t n = std::min(left, kParserChunk);
                std::memcpy(scratch_.data(), p, n);
                std::memset(scratch_.data() + n, 0, AV_INPUT_BUFFER_PADDING_SIZE);
                const int used = Parse(scratch_.data(), static_cast<int>(n));
                if (used < 0) return LCodecResult::Failed;
                h.cbSrcLengthUsed += static_cast<uint32_t>(used);
            } else {
                uint32_t n;
                if (left >= nPacketBytes_)
                    n = nPacketBytes_;
                else if (left >= nBlockAlign_)
                    n = left / nBlockAlign_ * nBlockAlign_;
                else if (bEnd)
                    n = left;  // the last, short block
                else
                    break;
                if (!Send(p, static_cast<int>(n))) return LCodecResult::Failed;
                h.cbSrcLengthUsed += n;
            }
            Drain(h);
        }
        return LCodecResult::Ok;
    }

private:
    // Parses bytes (null: the end) and decodes a packet it completes; the bytes used, -1 when
    // the codec breaks down, 0 with nothing left at the end.
    int Parse(const uint8_t* data, int size) {
        uint8_t* pkt = nullptr;
        int pktSize = 0;
        const int used = av_parser_parse2(parser_.get(), ctx_.get(), &pkt, &pktSize, data, size,
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (pktSize > 0 && !Send(pkt, pktSize)) return -1;
        if (!data) return pktSize;
        return used > 0 ? used : size;  // a parser that takes nothing would never move on
    }

    // Decodes one packet (null: drain the codec) into the kept output; false when the codec
    // broke down (it refused too many packets in a row, or its output does not fit).
    bool Send(const uint8_t* data, int size) {
        AVPacket* pkt = nullptr;
        if (data) {
            if (av_new_packet(pkt_.get(), size) < 0) return false;
            std::memcpy(pkt_->data, data, static_cast<size_t>(size));
            pkt = pkt_.get();
        }
        int r = avcodec_send_packet(ctx_.get(), pkt);
        if (r == AVERROR(EAGAIN)) {
            if (!Receive()) return false;
            r = avcodec_send_packet(ctx_.get(), pkt);
        }
        if (pkt) av_packet_unref(pkt);
        if (r < 0 && r != AVERROR_EOF && ++nBad_ > kMaxBadPackets) return false;
        return Receive();
    }

    bool Receive() {
        for (int guard = 0; guard < 1 << 20; ++guard) {
            const int r = avcodec_receive_frame(ctx_.get(), frame_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) {
                if (++nBad_ > kMaxBadPackets) return false;
                continue;
            }
            const bool ok =
                frame_->sample_rate == nRate_ && conv_.Append(frame_.get(), nChannels_, out);
            av_frame_unref(frame_.get());
            if (!ok) {
                DebugLog("LCodecStream::Convert decoded frames do not match the record");
                return false;
            }
            nBad_ = 0;
        }
        return false;
    }

    AVCodecID id_ = AV_CODEC_ID_NONE;
    av::CodecContextPtr ctx_;
    av::ParserPtr parser_;
    av::PacketPtr pkt_;
    av::FramePtr frame_;
    av::S16Converter conv_;
    std::vector<uint8_t> scratch_;
    int nChannels_ = 0;
    int nRate_ = 0;
    uint32_t nAvgBytes_ = 0;
    uint32_t nBlockAlign_ = 0;
    uint32_t nPacketBytes_ = 0;
    uint32_t nBlockFrames_ = 0;
    bool bDraining_ = false;
    int nBad_ = 0;
};

// The encoder of a record, opened; when pRecord is given it receives the record FFmpeg's WAV
// writer gives for it.
LCodecResult OpenEncoder(const LCodecRecord& r, av::CodecContextPtr& out,
                         std::vector<uint8_t>* pRecord) {
    if (r.nChannels > kMaxCodecChannels) return LCodecResult::NotPossible;
    const AVCodecID id = av::CodecIdForRecord(r);
    const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
    if (!codec) return LCodecResult::NotPossible;
    av::CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return LCodecResult::Failed;
    ctx->sample_rate = static_cast<int>(r.nSamplesPerSec);
    SetLayout(ctx.get(), r);
    // Only MPEG audio takes its rate from the record; the others' follows from their blocks.
    ctx->bit_rate = IsMpegAudio(id) ? static_cast<int64_t>(r.nAvgBytesPerSec) * 8 : 0;
    ctx->time_base = AVRational{1, ctx->sample_rate};
    // 16-bit input is taken as it is where the codec accepts it.
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P) ctx->sample_fmt = *f;
    if (codec->supported_samplerates) {
        bool found = false;
        for (const int* s = codec->supported_samplerates; *s; ++s) found |= *s == ctx->sample_rate;
        if (!found) return LCodecResult::NotPossible;
    }
    AVDictionary* opts = nullptr;
    if (id == AV_CODEC_ID_ADPCM_IMA_WAV || id == AV_CODEC_ID_ADPCM_MS)
        av_dict_set_int(&opts, "block_size", r.nBlockAlign, 0);
    av_log_set_level(DebugEnabled() ? AV_LOG_WARNING : AV_LOG_QUIET);
    const int opened = avcodec_open2(ctx.get(), codec, &opts);
    av_dict_free(&opts);
    if (opened < 0) return LCodecResult::NotPossible;
    // What the record promises must be what the codec writes.
    if (!IsMpegAudio(id) && ctx->block_align != r.nBlockAlign) return LCodecResult::NotPossible;
    if (pRecord) {
        *pRecord = av::WavRecordOf(ctx.get());
        if (pRecord->size() < 16) return LCodecResult::NotPossible;
        // Bytes per second as the blocks give them (the rate of a stream of whole blocks).
        uint64_t avg = static_cast<uint64_t>(ctx->bit_rate) / 8;
        if (!IsMpegAudio(id) && ctx->block_align > 0)
            avg = ctx->frame_size > 0
                      ? (static_cast<uint64_t>(ctx->sample_rate) * ctx->block_align +
                         static_cast<uint64_t>(ctx->frame_size) / 2) /
                            static_cast<uint64_t>(ctx->frame_size)
                      : static_cast<uint64_t>(ctx->sample_rate) * ctx->block_align;
        for (int i = 0; i < 4; ++i) (*pRecord)[8 + i] = static_cast<uint8_t>(avg >> (8 * i));
    }
    out = std::move(ctx);
    return LCodecResult::Ok;
}

// 16-bit PCM -> the record's format.
class Encoder final : public LCodecStream::Impl {
public:
    static LCodecResult Open(const LCodecRecord& r, std::unique_ptr<LCodecStream::Impl>& out) {
        auto e = std::make_unique<Encoder>();
        const LCodecResult res = OpenEncoder(r, e->ctx_, nullptr);
        if (res != LCodecResult::Ok) return res;
        AVCodecContext* c = e->ctx_.get();
        e->nChannels_ = r.nChannels;
        e->nFrameSize_ = c->frame_size > 0 ? c->frame_size : 4096;
        e->nBlockAlign_ = r.nBlockAlign;
        e->frame_.reset(av_frame_alloc());
        e->pkt_.reset(av_packet_alloc());
        if (!e->frame_ || !e->pkt_) return LCodecResult::Failed;
        AVFrame* f = e->frame_.get();
        f->format = c->sample_fmt;
        f->sample_rate = c->sample_rate;
        f->nb_samples = e->nFrameSize_;
        if (av_channel_layout_copy(&f->ch_layout, &c->ch_layout) < 0 ||
            av_frame_get_buffer(f, 0) < 0)
            return LCodecResult::Failed;
        AVChannelLayout layout;
        av_channel_layout_default(&layout, r.nChannels);
        SwrContext* s = nullptr;
        const int ok = swr_alloc_set_opts2(&s, &layout, c->sample_fmt, c->sample_rate, &layout,
                                           AV_SAMPLE_FMT_S16, c->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        e->swr_.reset(s);
        if (ok < 0 || !s || swr_init(s) < 0) return LCodecResult::Failed;
        out = std::move(e);
        return LCodecResult::Ok;
    }

    LCodecResult Size(uint32_t bytes, uint32_t& result, LCodecStream::SizeQuery q) const override {
        const uint64_t frameBytes = 2u * static_cast<uint64_t>(nChannels_);
        uint64_t n;
        if (q == LCodecStream::SizeQuery::Source) {
            // Room for everything one call may give: these frames, what the codec holds back
            // and its last packets, in whole packets of the largest size.
            const uint64_t frames = bytes / frameBytes + 4u * static_cast<uint64_t>(nFrameSize_);
            const uint64_t packets = frames / static_cast<uint64_t>(nFrameSize_) + 2;
            uint64_t packetBytes = nBlockAlign_;
            if (IsMpegAudio(ctx_->codec_id))
                packetBytes = 144u *
                                  static_cast<uint64_t>(std::max<int64_t>(ctx_->bit_rate, 8000)) /
                                  static_cast<uint64_t>(ctx_->sample_rate) +
                              8;
            else if (ctx_->frame_size <= 0)
                packetBytes = static_cast<uint64_t>(nFrameSize_) * nBlockAlign_;
            n = packets * std::max<uint64_t>(packetBytes, 1);
        } else {
            n = bytes / std::max<uint32_t>(nBlockAlign_, 1) * static_cast<uint64_t>(nFrameSize_) *
                frameBytes;
        }
        if (n == 0 || n > 0x7FFFFFFF) return LCodecResult::NotPossible;
        result = static_cast<uint32_t>(n);
        return LCodecResult::Ok;
    }

    LCodecResult Convert(LCodecStreamHeader& h, unsigned flags) override {
        h.cbSrcLengthUsed = h.cbDstLengthUsed = 0;
        Drain(h);
        const uint32_t frameBytes = 2u * static_cast<uint32_t>(nChannels_);
        if (!bFlushed_) {
            const uint32_t n = h.cbSrcLength / frameBytes * frameBytes;
            const size_t at = fifo_.size();
            fifo_.resize(at + n / 2);
            if (n) std::memcpy(fifo_.data() + at, h.pbSrc, n);
            h.cbSrcLengthUsed = n;
            size_t done = fifoAt_;
            const size_t frameSamples = static_cast<size_t>(nFrameSize_) * nChannels_;
            while (fifo_.size() - done >= frameSamples) {
                if (!Encode(fifo_.data() + done, nFrameSize_)) return LCodecResult::Failed;
                done += frameSamples;
            }
            if (flags & kCodecConvertEnd) {
                const size_t rest = fifo_.size() - done;
                if (rest && !Encode(fifo_.data() + done, static_cast<int>(rest / nChannels_)))
                    return LCodecResult::Failed;
                done = fifo_.size();
                bFlushed_ = true;
                if (!Send(nullptr)) return LCodecResult::Failed;
            }
            fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<std::ptrdiff_t>(done));
            fifoAt_ = 0;
        }
        Drain(h);
        return LCodecResult::Ok;
    }

private:
    bool Encode(const int16_t* samples, int frames) {
        AVFrame* f = frame_.get();
        if (av_frame_make_writable(f) < 0) return false;
        f->nb_samples = frames;
        const uint8_t* in = reinterpret_cast<const uint8_t*>(samples);
        if (swr_convert(swr_.get(), f->data, frames, &in, frames) != frames) return false;
        f->pts = pts_;
        pts_ += frames;
        return Send(f);
    }

    bool Send(AVFrame* f) {
        if (avcodec_send_frame(ctx_.get(), f) < 0) return false;
        for (;;) {
            const int r = avcodec_receive_packet(ctx_.get(), pkt_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            out.insert(out.end(), pkt_->data, pkt_->data + pkt_->size);
            av_packet_unref(pkt_.get());
        }
    }

    av::CodecContextPtr ctx_;
    av::FramePtr frame_;
    av::PacketPtr pkt_;
    av::SwrPtr swr_;
    std::vector<int16_t> fifo_;
    size_t fifoAt_ = 0;
    int nChannels_ = 0;
    int nFrameSize_ = 0;
    uint32_t nBlockAlign_ = 0;
    int64_t pts_ = 0;
    bool bFlushed_ = false;
};

}  // namespace

LCodecStream::LCodecStream(std::unique_ptr<Impl> impl) : p_(std::move(impl)) {}
LCodecStream::~LCodecStream() = default;

LCodecResult LCodecStream::Open(std::unique_ptr<LCodecStream>& out, std::span<const uint8_t> from,
                                std::span<const uint8_t> to, unsigned flags) {
    out.reset();
    LCodecRecord src, dst;
    if (!LCodecRecord::Parse(from, src) || !LCodecRecord::Parse(to, dst))
        return LCodecResult::InvalidFormat;
    av_log_set_level(DebugEnabled() ? AV_LOG_WARNING : AV_LOG_QUIET);
    std::unique_ptr<Impl> impl;
    LCodecResult r = LCodecResult::NotPossible;
    if (IsPcm16For(dst, src))
        r = Decoder::Open(src, impl);
    else if (IsPcm16For(src, dst))
        r = Encoder::Open(dst, impl);
    if (r != LCodecResult::Ok || (flags & kCodecOpenQuery)) return r;
    out.reset(new LCodecStream(std::move(impl)));
    return LCodecResult::Ok;
}

LCodecResult LCodecStream::Size(uint32_t bytes, uint32_t& result, SizeQuery query) const {
    result = 0;
    return p_->Size(bytes, result, query);
}

LCodecResult LCodecStream::Convert(LCodecStreamHeader& header, unsigned flags) {
    if (!header.pbDst || (header.cbSrcLength && !header.pbSrc)) return LCodecResult::Failed;
    return p_->Convert(header, flags);
}

// ---- the format chooser's list ----

namespace {

const LCodecFormatTag kTags[] = {
    {1, "PCM", "pcm", false, {8, 16, 24, 32}},
    {3, "IEEE Float", "float", false, {32, 64}},
    {6, "A-Law", "alaw", false, {8}},
    {7, "u-Law", "mulaw", false, {8}},
    {0x11, "IMA ADPCM", "ima-adpcm", false, {4}},
    {2, "MS ADPCM", "ms-adpcm", false, {4}},
    {0x31, "GSM 6.10", "gsm", false, {0}},
    {0x55,
     "MPEG Layer-3",
     "mp3",
     true,
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {0x50,
     "MPEG Layer-2",
     "mp2",
     true,
     {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384}},
};

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

std::string Thousands(uint32_t v) {
    std::string s = std::to_string(v);
    for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3)
        s.insert(static_cast<size_t>(i), ",");
    return s;
}

}  // namespace

std::span<const LCodecFormatTag> CodecFormatTags() {
    return kTags;
}

const LCodecFormatTag* FindCodecFormatTag(uint16_t tag) {
    for (const LCodecFormatTag& t : kTags)
        if (t.wFormatTag == tag) return &t;
    return nullptr;
}

std::vector<uint8_t> CodecSuggestRecord(uint16_t tag, uint32_t rate, uint16_t channels,
                                        uint32_t bits) {
    if (!channels || !rate || rate > kMaxRate) return {};
    uint32_t align = 0, avg = 0;
    const uint32_t adpcmBlock = 256u * channels * std::clamp(rate / 11025u, 1u, 4u);
    switch (tag) {
        case 1:
        case 3:
            align = channels * (bits / 8);
            break;
        case 6:
        case 7:
            align = channels;
            bits = 8;
            break;
        case 0x11:
        case 2:
            align = adpcmBlock;
            bits = 4;
            break;
        case 0x31:
            align = 65;
            avg = 1625;  // 13 kbit/s
            bits = 0;
            break;
        case 0x55:
        case 0x50:
            align = 1;
            avg = bits * 125;
            bits = 0;
            break;
        default:
            return {};
    }
    if (align == 0 || align > 0xFFFF) return {};
    std::vector<uint8_t> want;
    Put16(want, tag);
    Put16(want, channels);
    Put32(want, rate);
    Put32(want, avg ? avg : rate * align);
    Put16(want, align);
    Put16(want, bits);
    Put16(want, 0);
    LCodecRecord r;
    if (!LCodecRecord::Parse(want, r)) return {};
    av::CodecContextPtr ctx;
    std::vector<uint8_t> record;
    av_log_set_level(DebugEnabled() ? AV_LOG_WARNING : AV_LOG_QUIET);
    if (OpenEncoder(r, ctx, &record) != LCodecResult::Ok) return {};
    return record;
}

std::string CodecDescribeRecord(std::span<const uint8_t> record) {
    LCodecRecord r;
    if (!LCodecRecord::Parse(record, r)) return {};
    uint16_t tag = r.wFormatTag;
    if (tag == 0xFFFE && r.cbSize >= 22) tag = Le16(r.pExtra + 6);
    const LCodecFormatTag* t = FindCodecFormatTag(tag);
    char name[32];
    std::snprintf(name, sizeof name, "Format 0x%04X", tag);
    std::string s = t ? t->szName : name;
    s += ", " + Thousands(r.nSamplesPerSec) + " Hz";
    if (t && t->bBitRate)
        s += ", " + std::to_string((r.nAvgBytesPerSec * 8 + 500) / 1000) + " kBit/s";
    else if (r.wBitsPerSample)
        s += ", " + std::to_string(r.wBitsPerSample) + " Bit";
    s += r.nChannels == 1   ? ", Mono"
         : r.nChannels == 2 ? ", Stereo"
                            : ", " + std::to_string(r.nChannels) + " Channels";
    s += ", " + std::to_string((r.nAvgBytesPerSec + 500) / 1000) + " kB/s";
    return s;
}

}  // namespace sonvex
