// The media decoder: the best audio stream of any file FFmpeg's demuxers open (WMA in ASF,
// RealMedia, MP4, Matroska, Ogg, CAF, the audio of a video), decoded to interleaved 16-bit
// PCM with the stream's own channels and rate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sonvex {

enum class LMediaResult {
    Ok,
    End,         // the stream has no more samples
    CannotOpen,  // the file is missing or unreadable
    NotMedia,    // no demuxer recognises the file
    NoAudio,     // no audio stream
    NoCodec,     // no decoder for the audio stream
    Failed,      // the decoder or the demuxer broke down part-way
};

class LMediaDecoder {
public:
    LMediaDecoder();
    ~LMediaDecoder();
    LMediaDecoder(const LMediaDecoder&) = delete;
    LMediaDecoder& operator=(const LMediaDecoder&) = delete;

    // Opens the file (local files only) and decodes up to the first samples, which fix the
    // channels and rate. Ok, or why not.
    LMediaResult Open(const std::string& path);
    int Channels() const { return nChannels_; }
    int SampleRate() const { return nRate_; }
    // The duration in seconds; 0 when unknown.
    double Duration() const { return dDuration_; }
    // Appends the next decoded samples (a packet's worth or more) to out; End when there are no
    // more. pSeconds receives the media time of the latest samples.
    LMediaResult Decode(std::vector<uint8_t>& out, double* pSeconds = nullptr);

    // True when the libraries can read the named container ("rm", "asf").
    static bool HasDemuxer(const char* name);

    struct Impl;

private:
    std::unique_ptr<Impl> p_;
    int nChannels_ = 0;
    int nRate_ = 0;
    double dDuration_ = 0;
};

}  // namespace sonvex
