#include "engine/FormatRegistry.h"

#include "encoders/AacEncoder.h"
#include "encoders/FlacEncoder.h"
#include "encoders/Mp3Encoder.h"
#include "encoders/OggEncoder.h"
#include "engine/DecoderJob.h"
#include "engine/HelperDecoders.h"
#include "engine/OutputFormats.h"
#include "engine/PlatformDecoders.h"
#include "engine/SourceOpener.h"
#include "formats/aiff/AifFile.h"
#include "formats/au/AuFile.h"
#include "formats/dct/DCTFile.h"
#include "formats/gsm/GsmFile.h"
#include "formats/mp3/MP3Source.h"
#include "formats/raw/RawFile.h"
#include "formats/wav/WaveFile.h"
#include "formats/wav/WaveFormatDialog.h"
#include "support/File.h"
#include "support/WebAddresses.h"

namespace sonvex {

namespace {

// ---- messages ----

const char kCheckExists[] =
    "Cannot open the file \"%s\". Check it exists and you have read access.";
const char kCorrupt[] = "Cannot open the file \"%s\" because it is corrupt.";
// The design sends the user to a Windows player here; on Linux the codecs come with FFmpeg.
const char* NoCodecMessage() {
    static const std::string text =
        "Cannot open the file \"%s\" because the required codec is not installed on this "
        "computer.\r\n\r\nInstall the FFmpeg libraries of your distribution (libavcodec) with "
        "their codecs, then reattempt to load it; see " +
        std::string(kCodecSupportPage) + ".";
    return text.c_str();
}
const char kCannotOpen[] = "Cannot open the file \"%s\".";
const char kNotLayer3[] =
    "Cannot open the file \"%s\". It is possibly either corrupt or not a true layer-3 MPEG file.";
const char kWmaFailed[] =
    "Cannot open file \"%s\". It is possible that the file does not exist, it is corrupt or the "
    "file is protected with Digital Rights Management (DRM) which limits the recording to "
    "limited players.";

const char* WavMessage(int e) {
    return e == LSRC_CORRUPT       ? kCorrupt
           : e == LSRC_CANNOT_OPEN ? kCheckExists
           : e == LSRC_UNSUPPORTED ? NoCodecMessage()
                                   : kCannotOpen;
}
const char* Mp3Message(int e) {
    return e == LSRC_CANNOT_OPEN ? kCheckExists : kNotLayer3;
}
const char* AiffAuMessage(int e) {
    return e == LSRC_CANNOT_OPEN ? kCheckExists : kCorrupt;
}
const char* ExistsMessage(int) {
    return kCheckExists;
}

// ---- readers and decoder jobs ----

LSoundSourceRef OpenMp3(const std::string& path) {
    return LSoundSourceRef(new LMP3Source(path));
}
LSoundSourceRef OpenDct(const std::string& path, std::string* pMessage) {
    return LDCTFile::OpenSource(path, pMessage);
}
LSoundSourceRef OpenGsm(const std::string& path) {
    return LSoundSourceRef(new LGSMFileSource(path));
}

template <typename Job>
std::unique_ptr<LProgressDialog> Decoder(const std::string& path, const std::string& temp) {
    return std::make_unique<Job>(path, temp);
}

template <typename Job, const char* kTitle>
std::unique_ptr<LProgressDialog> Titled(const std::string& path, const std::string& temp) {
    return std::make_unique<Job>(path, temp, kTitle);
}

constexpr char kWmaTitle[] = "Loading WMA file";
constexpr char kDssTitle[] = "Loading DSS file";

constexpr std::string_view kWav[] = {".wav"};
constexpr std::string_view kMp3[] = {".mp3"};
constexpr std::string_view kAiff[] = {".aif", ".aiff"};
constexpr std::string_view kAu[] = {".au", ".snd"};
constexpr std::string_view kGsm[] = {".gsm"};
constexpr std::string_view kVox[] = {".vox"};
constexpr std::string_view kRaw[] = {".raw", ".snd"};
constexpr std::string_view kWma[] = {".wma"};
constexpr std::string_view kDss[] = {".dss"};
constexpr std::string_view kReal[] = {".ra", ".ram", ".rm"};
constexpr std::string_view kAac[] = {".aac", ".m4a"};
constexpr std::string_view kOgg[] = {".ogg"};
constexpr std::string_view kFlac[] = {".flac"};
constexpr std::string_view kSri[] = {".sri"};
constexpr std::string_view kDct[] = {".dct"};

// ".au" always; ".snd" only with the AU magic (else it is headerless raw).
bool AcceptsAu(const std::string& path) {
    return !CaseInsensitiveEqual(SourceExtension(path), ".snd") || LAuFile::HasMagic(path);
}

using K = LInputKind;
const LInputFormat kInputs[] = {
    {"WAV", kWav, K::Direct, LWaveFile::OpenSource, WavMessage, nullptr, nullptr, nullptr, nullptr},
    {"MP3", kMp3, K::Direct, OpenMp3, Mp3Message, nullptr, nullptr, nullptr, nullptr},
    {"AIFF", kAiff, K::Direct, LAifFile::OpenSource, AiffAuMessage, nullptr, nullptr, nullptr,
     nullptr},
    {"AU", kAu, K::Direct, LAuFile::OpenSource, AiffAuMessage, nullptr, nullptr, nullptr,
     AcceptsAu},
    {"GSM", kGsm, K::Direct, OpenGsm, ExistsMessage, nullptr, nullptr, nullptr, nullptr},
    {"VOX", kVox, K::Raw, nullptr, ExistsMessage, "VoxAudio", nullptr, nullptr, nullptr},
    {"Raw", kRaw, K::Raw, nullptr, ExistsMessage, "RawAudio", nullptr, nullptr, nullptr},
    {"WMA", kWma, K::Decoded, nullptr, nullptr, nullptr, Titled<LDxLoadToWav, kWmaTitle>,
     kWmaFailed, nullptr},
    {"DSS", kDss, K::Decoded, nullptr, nullptr, nullptr, Titled<LDSSDecode, kDssTitle>, nullptr,
     nullptr},
    {"RealAudio", kReal, K::Decoded, nullptr, nullptr, nullptr, Decoder<LReadAudioDecode>, nullptr,
     nullptr},
    {"AAC", kAac, K::Decoded, nullptr, nullptr, nullptr, Decoder<LAACDecode>, nullptr, nullptr},
    {"Ogg Vorbis", kOgg, K::Decoded, nullptr, nullptr, nullptr, Decoder<LOggDecode>, nullptr,
     nullptr},
    {"FLAC", kFlac, K::Decoded, nullptr, nullptr, nullptr, Decoder<LFLACDecode>, nullptr, nullptr},
    {"SRI", kSri, K::Decoded, nullptr, nullptr, nullptr, Decoder<LVoiceItDecode>, nullptr, nullptr},
    {"DCT", kDct, K::Direct, nullptr, WavMessage, nullptr, nullptr, nullptr, nullptr, OpenDct},
};

const LInputFormat kMediaDecoder = {
    "Media", {}, K::Decoded, nullptr, nullptr, nullptr, Decoder<LDxLoadToWav>, nullptr, nullptr};

// ---- writers ----

LSoundSinkRef OpenWavSink(const std::string& path, int32_t rate, int channels) {
    return LWaveFile::OpenSink(path, ReadStoredWaveFormat(rate, channels));
}

int CheckWavSettings(int32_t rate, int channels) {
    WAVEFORMATEX w = ReadStoredWaveFormat(rate, channels);
    if (w.wFormatTag == WAVE_FORMAT_PCM) {
        if (rate) w.nSamplesPerSec = static_cast<uint32_t>(rate);
        if (channels) w.nChannels = static_cast<uint16_t>(channels);
    }
    if (!LWaveFileFormat::Choose(w, "Select Wave File Format")) return 0;
    return WriteStoredWaveFormat(w) ? 1 : 0;
}

int NoOptions(int32_t, int) {
    return 1;
}

LSoundSinkRef OpenAu(const std::string& path, int32_t rate, int channels) {
    return LAuFile::OpenSink(path, rate, channels);
}
LSoundSinkRef OpenAiff(const std::string& path, int32_t rate, int channels) {
    return LAifFile::OpenSink(path, rate, channels);
}
LSoundSinkRef OpenGsmSink(const std::string& path, int32_t, int) {
    return LSoundSinkRef(new LGSMFileSink(path));
}
LSoundSinkRef OpenVox(const std::string& path, int32_t, int) {
    return LRawFile::OpenSink(path, ReadRawSettings("VoxAudio"));
}
LSoundSinkRef OpenRaw(const std::string& path, int32_t, int) {
    return LRawFile::OpenSink(path, ReadRawSettings("RawAudio"));
}

int CheckVox(int32_t, int) {
    LRawSettings s = ReadRawSettings("VoxAudio");
    return LRawSettingsDialog(s, "VoxAudio").DoModal() == IDOK ? 1 : 0;
}
int CheckRaw(int32_t rate, int channels) {
    LRawSettings s = ReadRawSettings("RawAudio");
    if (rate) s.SampleRate = rate;
    if (channels) s.nChans = static_cast<uint8_t>(channels);
    return LRawSettingsDialog(s, "RawAudio").DoModal() == IDOK ? 1 : 0;
}

LSoundSinkRef OpenMp3Sink(const std::string& path, int32_t rate, int channels) {
    return LMP3EncodePipe::OpenMp3Sink(path, ReadMp3Settings(), rate, channels);
}
LSoundSinkRef OpenOgg(const std::string& path, int32_t, int) {
    return LOggEncodePipe::OpenOggSink(path, ReadOggSettings());
}
LSoundSinkRef OpenFlac(const std::string& path, int32_t, int) {
    return LFlacEncodePipe::OpenFlacSink(path, ReadFlacSettings());
}
LSoundSinkRef OpenAac(const std::string& path, int32_t, int) {
    return LAACEncodePipe::OpenAACSink(path, ReadAACSettings());
}

// Rate and channel hints replace the stored values where given.
template <typename Settings>
void ApplyHints(Settings& s, int32_t rate, int channels) {
    if (rate) s.iSampleRate = rate;
    if (channels) s.uChannels = static_cast<uint8_t>(channels);
}

int CheckMp3(int32_t, int) {
    LMp3Settings s = ReadMp3Settings();
    return ShowMp3Settings(s) == IDOK ? 1 : 0;
}
int CheckOgg(int32_t rate, int channels) {
    LOggSettings s = ReadOggSettings();
    ApplyHints(s, rate, channels);
    return ShowOggSettings(s) == IDOK ? 1 : 0;
}
int CheckFlac(int32_t rate, int channels) {
    LFlacSettings s = ReadFlacSettings();
    ApplyHints(s, rate, channels);
    return ShowFlacSettings(s) == IDOK ? 1 : 0;
}
int CheckAac(int32_t rate, int channels) {
    LAACSettings s = ReadAACSettings();
    ApplyHints(s, rate, channels);
    return ShowAACSettings(s) == IDOK ? 1 : 0;
}

// The format box order.
const LOutputFormat kOutputs[] = {
    {".wav", nullptr, true, OpenWavSink, CheckWavSettings},
    {".mp3", "mp3el", true, OpenMp3Sink, CheckMp3},
    {".au", nullptr, true, OpenAu, NoOptions},
    {".aiff", nullptr, true, OpenAiff, NoOptions},
    {".gsm", nullptr, true, OpenGsmSink, NoOptions},
    {".vox", nullptr, true, OpenVox, CheckVox},
    {".raw", nullptr, true, OpenRaw, CheckRaw},
    {".ogg", "oggenc", true, OpenOgg, CheckOgg},
    {".flac", "flacenc", true, OpenFlac, CheckFlac},
    {".aac", "aacenc", true, OpenAac, CheckAac},
    {".m4a", "aacenc", true, OpenAac, CheckAac},
    {".aif", nullptr, false, OpenAiff, NoOptions},
};

}  // namespace

std::span<const LInputFormat> InputFormats() {
    return kInputs;
}

const LInputFormat& MediaDecoderFormat() {
    return kMediaDecoder;
}

const LInputFormat* FindInputFormat(const std::string& path) {
    const std::string ext = SourceExtension(path);
    if (ext.empty()) return nullptr;
    for (const LInputFormat& f : kInputs)
        for (std::string_view e : f.exts)
            if (CaseInsensitiveEqual(e, ext) && (!f.accepts || f.accepts(path))) return &f;
    return nullptr;
}

std::span<const LOutputFormat> OutputFormats() {
    return kOutputs;
}

const LOutputFormat* FindOutputFormat(std::string_view ext) {
    for (const LOutputFormat& f : kOutputs)
        if (CaseInsensitiveEqual(f.ext, ext)) return &f;
    return nullptr;
}

}  // namespace sonvex
