#include "platform/codec/AvHandles.h"

#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace sonvex::av {

bool S16Converter::Append(const AVFrame* frame, int channels, std::vector<uint8_t>& out) {
    if (frame->ch_layout.nb_channels != channels || frame->nb_samples <= 0) return false;
    if (!swr_ || iFormat_ != frame->format || nChannels_ != channels) {
        // The same layout on both sides: the samples are converted, never mixed.
        AVChannelLayout layout;
        av_channel_layout_default(&layout, channels);
        // Only the sample format changes; any rate, the same on both sides, does.
        const int rate = frame->sample_rate > 0 ? frame->sample_rate : 44100;
        SwrContext* s = nullptr;
        const int r =
            swr_alloc_set_opts2(&s, &layout, AV_SAMPLE_FMT_S16, rate, &layout,
                                static_cast<AVSampleFormat>(frame->format), rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        swr_.reset(s);
        if (r < 0 || !s || swr_init(s) < 0) {
            swr_.reset();
            return false;
        }
        iFormat_ = frame->format;
        nChannels_ = channels;
    }
    nRate_ = frame->sample_rate;
    const size_t at = out.size();
    const size_t bytes = static_cast<size_t>(frame->nb_samples) * static_cast<size_t>(channels) * 2;
    out.resize(at + bytes);
    uint8_t* dst = out.data() + at;
    const int n = swr_convert(swr_.get(), &dst, frame->nb_samples,
                              const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (n < 0) {
        out.resize(at);
        return false;
    }
    out.resize(at + static_cast<size_t>(n) * static_cast<size_t>(channels) * 2);
    return true;
}

}  // namespace sonvex::av
