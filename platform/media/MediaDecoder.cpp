#include "platform/media/MediaDecoder.h"

#include <sys/stat.h>

#include "platform/Debug.h"
#include "platform/codec/AvHandles.h"

namespace sonvex {

namespace {
constexpr int kMaxBadPackets = 64;  // packets in a row the decoder may refuse
}

struct LMediaDecoder::Impl {
    av::InputFormatPtr fmt;
    av::CodecContextPtr ctx;
    av::PacketPtr pkt;
    av::FramePtr frame;
    av::S16Converter conv;
    int iStream = -1;
    AVRational timeBase{1, 1};
    double dSeconds = 0;
    bool bDraining = false;
    bool bDone = false;
    int nBad = 0;
    std::vector<uint8_t> first;  // the samples decoded while opening

    // Takes the frames the decoder has ready: Ok with samples, End when it has none now.
    LMediaResult Receive(std::vector<uint8_t>& out, int channels, int rate) {
        const size_t before = out.size();
        for (;;) {
            const int r = avcodec_receive_frame(ctx.get(), frame.get());
            if (r == AVERROR(EAGAIN)) break;
            if (r == AVERROR_EOF) {
                bDone = true;
                break;
            }
            if (r < 0) {
                if (++nBad > kMaxBadPackets) return LMediaResult::Failed;
                continue;
            }
            nBad = 0;
            if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
                dSeconds = static_cast<double>(frame->best_effort_timestamp) * av_q2d(timeBase);
            const bool ok = (channels == 0 || (frame->ch_layout.nb_channels == channels &&
                                               frame->sample_rate == rate)) &&
                            conv.Append(frame.get(), frame->ch_layout.nb_channels, out);
            av_frame_unref(frame.get());
            if (!ok) {
                DebugLog("LMediaDecoder the stream changes its format part-way");
                return LMediaResult::Failed;
            }
            if (channels == 0) break;  // opening: the first frame fixes the format
        }
        return out.size() > before ? LMediaResult::Ok : LMediaResult::End;
    }

    // Feeds packets until the decoder gives samples or the stream ends.
    LMediaResult Next(std::vector<uint8_t>& out, int channels, int rate) {
        while (!bDone) {
            LMediaResult r = Receive(out, channels, rate);
            if (r != LMediaResult::End) return r;
            if (bDone || bDraining) break;
            const int read = av_read_frame(fmt.get(), pkt.get());
            if (read == AVERROR_EOF || (read < 0 && avio_feof(fmt->pb))) {
                bDraining = true;
                avcodec_send_packet(ctx.get(), nullptr);
                continue;
            }
            if (read < 0) return LMediaResult::Failed;
            if (pkt->stream_index == iStream) {
                const int sent = avcodec_send_packet(ctx.get(), pkt.get());
                if (sent < 0 && sent != AVERROR(EAGAIN) && ++nBad > kMaxBadPackets) {
                    av_packet_unref(pkt.get());
                    return LMediaResult::Failed;
                }
            }
            av_packet_unref(pkt.get());
        }
        return LMediaResult::End;
    }
};

LMediaDecoder::LMediaDecoder() = default;
LMediaDecoder::~LMediaDecoder() = default;

bool LMediaDecoder::HasDemuxer(const char* name) {
    return av_find_input_format(name) != nullptr;
}

LMediaResult LMediaDecoder::Open(const std::string& path) {
    p_.reset();
    nChannels_ = nRate_ = 0;
    dDuration_ = 0;
    av_log_set_level(DebugEnabled() ? AV_LOG_WARNING : AV_LOG_QUIET);
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return LMediaResult::CannotOpen;
    auto p = std::make_unique<Impl>();
    // Local files only: a playlist or reference inside the file never reaches further.
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    AVFormatContext* fc = nullptr;
    const int opened = avformat_open_input(&fc, ("file:" + path).c_str(), nullptr, &opts);
    av_dict_free(&opts);
    if (opened < 0) {
        DebugLog("LMediaDecoder::Open no demuxer opens %s", path.c_str());
        return opened == AVERROR(EACCES) || opened == AVERROR(ENOENT) ? LMediaResult::CannotOpen
                                                                      : LMediaResult::NotMedia;
    }
    p->fmt.reset(fc);
    if (avformat_find_stream_info(fc, nullptr) < 0) return LMediaResult::NotMedia;
    const AVCodec* codec = nullptr;
    const int s = av_find_best_stream(fc, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (s == AVERROR_STREAM_NOT_FOUND) return LMediaResult::NoAudio;
    if (s < 0 || !codec) return LMediaResult::NoCodec;
    for (unsigned i = 0; i < fc->nb_streams; ++i)
        if (static_cast<int>(i) != s) fc->streams[i]->discard = AVDISCARD_ALL;
    p->iStream = s;
    p->timeBase = fc->streams[s]->time_base;
    p->ctx.reset(avcodec_alloc_context3(codec));
    p->pkt.reset(av_packet_alloc());
    p->frame.reset(av_frame_alloc());
    if (!p->ctx || !p->pkt || !p->frame) return LMediaResult::Failed;
    if (avcodec_parameters_to_context(p->ctx.get(), fc->streams[s]->codecpar) < 0 ||
        avcodec_open2(p->ctx.get(), codec, nullptr) < 0)
        return LMediaResult::NoCodec;
    if (fc->duration > 0) dDuration_ = static_cast<double>(fc->duration) / AV_TIME_BASE;
    // The first samples fix the output format.
    const LMediaResult r = p->Next(p->first, 0, 0);
    if (r != LMediaResult::Ok) return r == LMediaResult::End ? LMediaResult::NoAudio : r;
    nChannels_ = p->conv.Channels();
    nRate_ = p->conv.Rate();
    if (nRate_ <= 0) return LMediaResult::NoCodec;
    p_ = std::move(p);
    return LMediaResult::Ok;
}

LMediaResult LMediaDecoder::Decode(std::vector<uint8_t>& out, double* pSeconds) {
    if (!p_) return LMediaResult::Failed;
    LMediaResult r = LMediaResult::Ok;
    if (!p_->first.empty()) {
        out.insert(out.end(), p_->first.begin(), p_->first.end());
        p_->first.clear();
    } else {
        r = p_->Next(out, nChannels_, nRate_);
    }
    if (pSeconds) *pSeconds = p_->dSeconds;
    return r;
}

}  // namespace sonvex
