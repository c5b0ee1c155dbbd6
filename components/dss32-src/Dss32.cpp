// The DSS decoder component over FFmpeg: libavformat's "dss" reader, the "dss_sp" decoder for
// SP files and "g723_1" for LP files. Decoded samples pass through a queue and leave it in
// frames of the length the interface promises, whatever lengths the decoder delivers.
#include "components/dss32-src/Dss32.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/codec/AvHandles.h"

#define DSS32_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using FormatPtr = sonvex::av::InputFormatPtr;
using CodecPtr = sonvex::av::CodecContextPtr;
using sonvex::av::FramePtr;
using sonvex::av::PacketPtr;

// Reads in a row that may fail before the stream counts as ended.
constexpr int kMaxRetries = 64;

void Debug(const char* text, const std::string& detail = {}) {
    static const bool bOn = [] {
        const char* v = std::getenv("SONVEX_DEBUG");
        return v && std::strcmp(v, "1") == 0;
    }();
    if (bOn) std::fprintf(stderr, "dss32: %s %s\n", text, detail.c_str());
}

// True when the path names a regular file that starts like a DSS file: version 2 or 3, then
// "dss".
bool HasDssMagic(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    unsigned char b[4] = {};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    const size_t n = std::fread(b, 1, sizeof b, f);
    std::fclose(f);
    return n == 4 && (b[0] == 2 || b[0] == 3) && std::memcmp(b + 1, "dss", 3) == 0;
}

// Opens the file with the DSS reader alone (no other reader ever sees it) and checks that it
// holds one mono stream in a codec and rate this library reports; the type in *pType.
FormatPtr OpenDss(const std::string& path, int* pType) {
    if (!HasDssMagic(path)) return {};
    const AVInputFormat* dss = av_find_input_format("dss");
    if (!dss) return {};
    // The local file alone, whatever its name looks like.
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, ("file:" + path).c_str(), dss, &opts);
    av_dict_free(&opts);
    if (opened < 0) return {};
    FormatPtr fmt(raw);
    if (fmt->nb_streams != 1) return {};
    const AVCodecParameters* par = fmt->streams[0]->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_AUDIO || par->ch_layout.nb_channels != 1) return {};
    if (par->codec_id == AV_CODEC_ID_DSS_SP && par->sample_rate == 11025)
        *pType = DSS32_TYPE_SP;
    else if (par->codec_id == AV_CODEC_ID_G723_1 && par->sample_rate == 8000)
        *pType = DSS32_TYPE_LP;
    else
        return {};
    return fmt;
}

// The next packet of the file; false at its end (a damaged frame ends it too, as it ends
// FFmpeg's own reading).
bool NextPacket(AVFormatContext* fmt, AVPacket* pkt) {
    for (int tries = 0; tries < kMaxRetries; ++tries) {
        const int r = av_read_frame(fmt, pkt);
        if (r == AVERROR(EAGAIN)) continue;
        return r >= 0;
    }
    return false;
}

struct Decoder {
    uint32_t* pConfig = nullptr;
    std::string szFolder;
    std::string szPath;  // the active file
    int iType = 0;
    // While decoding:
    FormatPtr fmt;
    CodecPtr codec;
    PacketPtr pkt;
    FramePtr frame;
    std::vector<int16_t> queue;  // decoded samples not yet handed out, from iHead on
    size_t iHead = 0;
    std::vector<int16_t> out;  // the frame handed out
    bool bDraining = false;
    bool bDone = false;

    void StopDecoding() {
        frame.reset();
        pkt.reset();
        codec.reset();
        fmt.reset();
        queue.clear();
        iHead = 0;
        bDraining = bDone = false;
    }

    int FrameSamples() const {
        return iType == DSS32_TYPE_LP ? DSS32_LP_SAMPLES : DSS32_SP_SAMPLES;
    }

    bool Start() {
        StopDecoding();
        int type = 0;
        fmt = OpenDss(szPath, &type);
        if (!fmt || type != iType) return false;
        const AVCodec* c = avcodec_find_decoder(fmt->streams[0]->codecpar->codec_id);
        if (!c) return false;
        codec.reset(avcodec_alloc_context3(c));
        pkt.reset(av_packet_alloc());
        frame.reset(av_frame_alloc());
        if (!codec || !pkt || !frame ||
            avcodec_parameters_to_context(codec.get(), fmt->streams[0]->codecpar) < 0 ||
            avcodec_open2(codec.get(), c, nullptr) < 0) {
            StopDecoding();
            return false;
        }
        out.assign(static_cast<size_t>(FrameSamples()), 0);
        return true;
    }

    // Moves the decoder's next frame into the queue, feeding it packets as it needs them;
    // sets bDone at the end. A packet the decoder refuses is passed over, as FFmpeg's own
    // decoding does.
    void Pull() {
        for (int errors = 0; !bDone;) {
            const int r = avcodec_receive_frame(codec.get(), frame.get());
            if (r == 0) {
                Append(*frame);
                av_frame_unref(frame.get());
                return;
            }
            if (r == AVERROR_EOF) {
                bDone = true;
                return;
            }
            if (r != AVERROR(EAGAIN) && ++errors > kMaxRetries) {
                Debug("the decoder keeps failing");
                bDone = true;
                return;
            }
            if (bDraining) continue;
            if (!NextPacket(fmt.get(), pkt.get())) {
                bDraining = true;
                avcodec_send_packet(codec.get(), nullptr);
                continue;
            }
            if (avcodec_send_packet(codec.get(), pkt.get()) < 0) Debug("a frame is refused");
            av_packet_unref(pkt.get());
        }
    }

    void Append(const AVFrame& f) {
        const auto format = static_cast<AVSampleFormat>(f.format);
        if ((format != AV_SAMPLE_FMT_S16 && format != AV_SAMPLE_FMT_S16P) ||
            f.ch_layout.nb_channels != 1 || f.nb_samples < 0) {
            Debug("the decoder delivers another sample format");
            bDone = true;
            return;
        }
        const auto* s = reinterpret_cast<const int16_t*>(f.data[0]);
        queue.insert(queue.end(), s, s + f.nb_samples);
    }

    // The next frame of FrameSamples() samples, or null at the end. Only a last frame that
    // the decoder leaves short is completed with silence; FFmpeg's SP and LP decoders deliver
    // whole frames, so that never happens with them.
    const int16_t* Next() {
        if (!fmt) return nullptr;
        const size_t want = out.size();
        while (queue.size() - iHead < want && !bDone) Pull();
        const size_t have = std::min(queue.size() - iHead, want);
        if (have == 0) return nullptr;
        if (have < want) Debug("a short last frame is completed with silence");
        std::copy(queue.begin() + static_cast<std::ptrdiff_t>(iHead),
                  queue.begin() + static_cast<std::ptrdiff_t>(iHead + have), out.begin());
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(have), out.end(), 0);
        iHead += have;
        if (iHead >= queue.size() / 2) {
            queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(iHead));
            iHead = 0;
        }
        return out.data();
    }
};

std::mutex g_mutex;
Decoder g_decoder;

}  // namespace

DSS32_EXPORT int DSSInitDecoder(int, uint32_t* pConfig) {
    if (!pConfig) return 1;
    std::lock_guard<std::mutex> lock(g_mutex);
    const char* debug = std::getenv("SONVEX_DEBUG");
    av_log_set_level(debug && std::strcmp(debug, "1") == 0 ? AV_LOG_WARNING : AV_LOG_QUIET);
    g_decoder.StopDecoding();
    g_decoder.szPath.clear();
    g_decoder.iType = 0;
    g_decoder.pConfig = pConfig;
    return 0;
}

DSS32_EXPORT int DSSActiveFolder(const char* folder, int) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_decoder.szFolder = folder ? folder : "";
    return 0;
}

// The length is that of the frames the file holds, found by reading them once (without
// decoding): the progress of a caller that counts 24 or 30 ms per frame ends at 1.
DSS32_EXPORT int DSSActiveFile(const char* path, uint32_t* pLengthMs, uint8_t* pFileType) {
    if (!path || !pLengthMs || !pFileType) return 1;
    std::lock_guard<std::mutex> lock(g_mutex);
    Decoder& d = g_decoder;
    if (!d.pConfig) return 1;
    d.StopDecoding();
    d.szPath.clear();
    std::string full = path;
    if (full.find('/') == std::string::npos && !d.szFolder.empty())
        full = d.szFolder + (d.szFolder.back() == '/' ? "" : "/") + full;
    int type = 0;
    FormatPtr fmt = OpenDss(full, &type);
    if (!fmt) {
        Debug("not a DSS file this library decodes:", full);
        return 1;
    }
    PacketPtr pkt(av_packet_alloc());
    if (!pkt) return 1;
    uint64_t frames = 0;
    while (NextPacket(fmt.get(), pkt.get())) {
        ++frames;
        av_packet_unref(pkt.get());
    }
    if (frames == 0) {
        Debug("no frames in", full);
        return 1;
    }
    const uint64_t ms = frames * (type == DSS32_TYPE_LP ? 30 : 24);
    *pLengthMs = ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
    *pFileType = static_cast<uint8_t>(type);
    d.szPath = full;
    d.iType = type;
    return 0;
}

DSS32_EXPORT int DSSStartDecoding(int) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_decoder.szPath.empty()) return 1;
    return g_decoder.Start() ? 0 : 1;
}

DSS32_EXPORT int DSSDecodeToPCM(const void** ppBuffer, int* pFrameKind) {
    if (!ppBuffer || !pFrameKind) return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    *ppBuffer = nullptr;
    *pFrameKind = g_decoder.iType == DSS32_TYPE_LP ? DSS32_KIND_LP : DSS32_KIND_SP;
    const int16_t* frame = g_decoder.Next();
    if (!frame) {
        g_decoder.StopDecoding();
        return 0;
    }
    *ppBuffer = frame;
    return 1;
}
