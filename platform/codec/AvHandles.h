// One owner per FFmpeg object: unique_ptr types whose deleters call FFmpeg's own free
// functions. Included inside platform/ and by the FFmpeg-based components.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace sonvex::av {

struct CodecContextFree {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFree {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ParserFree {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct SwrFree {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
struct InputFormatClose {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct OutputFormatFree {
    void operator()(AVFormatContext* p) const { avformat_free_context(p); }
};
struct DictFree {
    void operator()(AVDictionary* p) const { av_dict_free(&p); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using ParserPtr = std::unique_ptr<AVCodecParserContext, ParserFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatClose>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;

// Interleaved 16-bit PCM from decoded frames of any sample format, channel for channel (no
// mixing, no rate change): what FFmpeg's own conversion to 16 bits gives.
class S16Converter {
public:
    // Appends the frame's samples; false when the frame has another channel count or cannot be
    // converted.
    bool Append(const AVFrame* frame, int channels, std::vector<uint8_t>& out);
    // Those of the latest frame.
    int Channels() const { return nChannels_; }
    int Rate() const { return nRate_; }

private:
    SwrPtr swr_;
    int iFormat_ = -1;
    int nChannels_ = 0;
    int nRate_ = 0;
};

}  // namespace sonvex::av
