#include "engine/PlatformDecoders.h"

#include <cstring>
#include <vector>

#include "components/dss32-src/Dss32.h"
#include "formats/wav/WaveFormat.h"
#include "platform/Debug.h"
#include "platform/SharedLibrary.h"
#include "platform/media/MediaDecoder.h"
#include "support/File.h"
#include "support/WebAddresses.h"

namespace sonvex {

namespace {

constexpr size_t kWriteBytes = 1 << 18;
constexpr uint32_t kStreaming = 0xFFFFFFFF;

// The head: "RIFF", size, "WAVE", "fmt ", fmt size, the record, "data", data size.
std::vector<uint8_t> WavHead(const WAVEFORMATEX& format, uint32_t riff, uint32_t fmtSize,
                             uint32_t data) {
    const std::vector<uint8_t> record = format.Serialize();
    std::vector<uint8_t> h(28 + record.size());
    std::memcpy(&h[0], "RIFF", 4);
    SetLE32(&h[4], riff);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    SetLE32(&h[16], fmtSize);
    std::memcpy(&h[20], record.data(), record.size());
    const size_t at = 20 + record.size();
    std::memcpy(&h[at], "data", 4);
    SetLE32(&h[at + 4], data);
    return h;
}

}  // namespace

int ProcessMediaToWav(LProgressDialog& pd, LMediaDecoder& decoder, const std::string& wavPath) {
    const WAVEFORMATEX format = WAVEFORMATEX::Pcm16(static_cast<uint32_t>(decoder.SampleRate()),
                                                    static_cast<uint16_t>(decoder.Channels()));
    LFile file;
    if (!file.Open(wavPath, LFile::Mode::Write)) {
        DebugLog("LDxLoadToWav unable to create %s", wavPath.c_str());
        return LPROCESS_FAILED;
    }
    std::vector<uint8_t> head = WavHead(format, kStreaming, 18, kStreaming);
    if (!file.WriteExact(head.data(), static_cast<int64_t>(head.size()))) return LPROCESS_FAILED;
    const double total = decoder.Duration() >= 1 ? static_cast<int64_t>(decoder.Duration()) : 1;
    uint64_t bytes = 0;
    std::vector<uint8_t> pending;
    pending.reserve(2 * kWriteBytes);
    int result = LPROCESS_OK;
    for (;;) {
        double seconds = 0;
        const LMediaResult r = decoder.Decode(pending, &seconds);
        if (r == LMediaResult::Failed) {
            DebugLog("LDxLoadToWav the decoder failed part-way");
            result = LPROCESS_FAILED;
            break;
        }
        if (pending.size() < kWriteBytes && r != LMediaResult::End) continue;
        if (!pending.empty() &&
            !file.WriteExact(pending.data(), static_cast<int64_t>(pending.size()))) {
            result = LPROCESS_FAILED;
            break;
        }
        bytes += pending.size();
        pending.clear();
        if (r == LMediaResult::End) break;
        // After each written block: Cancel, and the progress of the media time.
        if (pd.PumpMessages()) {
            result = LPROCESS_STOPPED;
            break;
        }
        pd.SetProgress(static_cast<double>(static_cast<int64_t>(seconds)) / total);
    }
    // The final sizes; data past what 32 bits hold keeps the streaming size.
    const uint32_t data = bytes >= kStreaming - 46 ? kStreaming : static_cast<uint32_t>(bytes);
    head = WavHead(format, data == kStreaming ? kStreaming : data + 38 + format.cbSize,
                   18u + format.cbSize, data);
    file.Seek(0);
    if (!file.WriteExact(head.data(), static_cast<int64_t>(head.size()))) result = LPROCESS_FAILED;
    return result;
}

int LDxLoadToWav::Work() {
    SetStatusText(0, "Decoding with DirectX");
    SetStatusText(1, LFile::_GetFileFromPath(szInputPath));
    LMediaDecoder decoder;
    const LMediaResult r = decoder.Open(szInputPath);
    if (r != LMediaResult::Ok) {
        DebugLog("LDxLoadToWav::Work cannot decode %s (%d)", szInputPath.c_str(),
                 static_cast<int>(r));
        return LPROCESS_FAILED;  // the opener says why
    }
    return ProcessMediaToWav(*this, decoder, szTempWavPath);
}

int LReadAudioDecode::Work() {
    SetStatusText(0, "Decoding Real Audio");
    SetStatusText(1, LFile::_GetFileFromPath(szInputPath));
    if (!LMediaDecoder::HasDemuxer("rm")) {
        ReportError(
            "Unable to load the RealAudio decoder.\r\n\r\nThis software requires the FFmpeg "
            "libraries of your distribution (libavformat, libavcodec) to load these files. Please "
            "install an up-to-date version of them; see " +
            std::string(kCodecSupportPage) + ".");
        return LPROCESS_FAILED;
    }
    SetProgress(0.1);
    LMediaDecoder decoder;
    if (decoder.Open(szInputPath) != LMediaResult::Ok) {
        ReportError(
            "Unable to open the file with the RealAudio decoder.\r\n\r\nThis might mean you do "
            "not have the codec installed.\r\n\r\nTo resolve this, install the FFmpeg libraries "
            "of your distribution with their codecs; see " +
            std::string(kCodecSupportPage) + ".");
        return LPROCESS_FAILED;
    }
    return ProcessMediaToWav(*this, decoder, szTempWavPath);
}

namespace {

const char kDssNotOpened[] =
    "Unable to open DSS file.\r\nThis means the file might not be a true DSS file or the file is "
    "corrupt.";

}  // namespace

int LDSSDecode::Work() {
    SetStatusText(0, "Decoding DSS File");
    SetStatusText(1, szInputPath);
    SetProgress(0);
    std::string component;
    const int found = ProcessGetComponentPath(*this, "dss32", component, installOptions);
    if (found != LPROCESS_OK) return found;
    // The library keeps the configuration word's address until it is unloaded.
    uint32_t config = DSS32_CONFIG_DEFAULT;
    LSharedLibrary library;
    // A bare name would be searched for in the system's folders, not where it was found.
    if (component.find('/') == std::string::npos) component = "./" + component;
    const auto cannotLoad = [&] {
        ReportError("Unable to load the DSS decoder library \"" + component + "\".");
        return LPROCESS_FAILED;
    };
    if (!library.Load(component)) return cannotLoad();
    const auto init = reinterpret_cast<DSSInitDecoderFn>(library.Symbol("DSSInitDecoder"));
    const auto start = reinterpret_cast<DSSStartDecodingFn>(library.Symbol("DSSStartDecoding"));
    const auto decode = reinterpret_cast<DSSDecodeToPCMFn>(library.Symbol("DSSDecodeToPCM"));
    const auto folder = reinterpret_cast<DSSActiveFolderFn>(library.Symbol("DSSActiveFolder"));
    const auto file = reinterpret_cast<DSSActiveFileFn>(library.Symbol("DSSActiveFile"));
    if (!init || !start || !decode || !folder || !file || init(0, &config) != 0)
        return cannotLoad();

    folder(LFile::_GetFolderFromPath(szInputPath).c_str(), 0);
    uint32_t length = 0;
    uint8_t type = 0;
    if (file(szInputPath.c_str(), &length, &type) != 0) {
        ReportError(kDssNotOpened);
        return LPROCESS_FAILED;
    }
    if (length == 0) length = 1;

    const WAVEFORMATEX format = WAVEFORMATEX::Pcm16(type == 2 ? 8000 : 11025, 1);
    LFile wav;
    std::vector<uint8_t> head = WavHead(format, kStreaming, 18, kStreaming);
    if (!wav.Open(szTempWavPath, LFile::Mode::Write) ||
        !wav.WriteExact(head.data(), static_cast<int64_t>(head.size()))) {
        DebugLog("LDSSDecode unable to create %s", szTempWavPath.c_str());
        return LPROCESS_FAILED;
    }
    if (type == 2) config &= ~DSS32_CONFIG_WIDE;
    if (type == 3) config |= DSS32_CONFIG_WIDE;
    if (start(0) != 0) {
        ReportError("Unable to start decoding DSS file.");
        return LPROCESS_FAILED;
    }

    int result = LPROCESS_OK;
    uint64_t bytes = 0;
    uint64_t position = 0;
    std::vector<uint8_t> pending;
    pending.reserve(kWriteBytes + 660);
    const auto flush = [&] {
        const bool ok =
            pending.empty() || wav.WriteExact(pending.data(), static_cast<int64_t>(pending.size()));
        bytes += pending.size();
        pending.clear();
        return ok;
    };
    for (;;) {
        const void* buffer = nullptr;
        int kind = 0;
        const int more = decode(&buffer, &kind);
        if (!buffer) break;
        const size_t n = kind != 0 ? (type == 3 ? 660 : 480) : 528;
        const auto* p = static_cast<const uint8_t*>(buffer);
        pending.insert(pending.end(), p, p + n);
        position += kind != 0 ? 30 : 24;
        if (pending.size() >= kWriteBytes && !flush()) {
            result = LPROCESS_FAILED;
            break;
        }
        if (!more) break;
        if (PumpMessages()) {
            result = LPROCESS_STOPPED;
            break;
        }
        const double progress = static_cast<double>(position) / length;
        SetProgress(progress);
        if (progress > 4.0) break;
    }
    if (result != LPROCESS_FAILED && !flush()) result = LPROCESS_FAILED;
    const uint32_t data = bytes >= kStreaming - 38 ? kStreaming : static_cast<uint32_t>(bytes);
    head = WavHead(format, data == kStreaming ? kStreaming : data + 38, 18, data);
    wav.Seek(0);
    if (!wav.WriteExact(head.data(), static_cast<int64_t>(head.size()))) result = LPROCESS_FAILED;
    if (result == LPROCESS_FAILED) DebugLog("LDSSDecode cannot write %s", szTempWavPath.c_str());
    // A file with nothing to decode is no conversion.
    if (result == LPROCESS_OK && bytes == 0) {
        ReportError(kDssNotOpened);
        result = LPROCESS_FAILED;
    }
    return result;
}

int LVoiceItDecode::Work() {
    SetStatusText(0, "Decoding VoiceIt File");
    SetStatusText(1, szInputPath);
    SetProgress(0);
    LSharedLibrary library;
    if (!library.Load(szLibrary)) {
        ReportError("Unable to load the VoiceIt library " + szLibrary +
                    ".\r\n\r\nPlease download and install the VoiceIt addon from " +
                    std::string(kVoiceItPage) + ".");
        return LPROCESS_FAILED;
    }
    // The library's own name for it is "_Sr_CvtSri2WaveFile@8"; an ELF name has no "@".
    using Convert = int (*)(const char*, const char*);
    const auto convert = reinterpret_cast<Convert>(library.Symbol("Sr_CvtSri2WaveFile"));
    if (!convert) return LPROCESS_FAILED;
    if (PumpMessages()) return LPROCESS_STOPPED;
    return convert(szInputPath.c_str(), szTempWavPath.c_str()) == 0 ? LPROCESS_OK : LPROCESS_FAILED;
}

}  // namespace sonvex
