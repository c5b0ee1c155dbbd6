#include "engine/OutputFormats.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "encoders/Components.h"
#include "encoders/Mp3Encoder.h"
#include "encoders/OggFlacAacEncoders.h"
#include "formats/aiff/AifFile.h"
#include "formats/au/AuFile.h"
#include "formats/gsm/GsmFile.h"
#include "formats/raw/RawFile.h"
#include "formats/wav/WaveFile.h"
#include "formats/wav/WaveFormatDialog.h"
#include "platform/Debug.h"
#include "support/File.h"

namespace sonvex {

namespace {

constexpr size_t kStoredRecordBytes = 1024;
constexpr int kStoredRecordBudgetMs = 100;

// One output format: its extension, whether it is built in (needs no component), and its
// operations. A format whose writer is not part of this build has no opener.
struct FormatRow {
    std::string_view ext;
    bool bBuiltIn;
    const char* szComponent;  // encoder component, for formats written by a helper program
    LSoundSinkRef (*open)(const std::string& path, int32_t rate, int channels);
    int (*checkSettings)(int32_t rate, int channels);
};

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
LSoundSinkRef OpenGsm(const std::string& path, int32_t, int) {
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

LSoundSinkRef OpenMp3(const std::string& path, int32_t rate, int channels) {
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

const FormatRow kRows[] = {
    {".wav", true, nullptr, OpenWavSink, CheckWavSettings},
    {".au", true, nullptr, OpenAu, NoOptions},
    {".aif", true, nullptr, OpenAiff, NoOptions},
    {".aiff", true, nullptr, OpenAiff, NoOptions},
    {".gsm", true, nullptr, OpenGsm, NoOptions},
    {".vox", true, nullptr, OpenVox, CheckVox},
    {".raw", true, nullptr, OpenRaw, CheckRaw},
    {".mp3", false, "mp3el", OpenMp3, CheckMp3},
    {".ogg", false, "oggenc", OpenOgg, CheckOgg},
    {".flac", false, "flacenc", OpenFlac, CheckFlac},
    {".aac", false, "aacenc", OpenAac, CheckAac},
    {".m4a", false, "aacenc", OpenAac, CheckAac},
};

const FormatRow* FindRow(std::string_view ext) {
    for (const auto& r : kRows)
        if (CaseInsensitiveEqual(r.ext, ext)) return &r;
    return nullptr;
}

}  // namespace

std::string StoredWaveFormatPath() {
    std::string p = LFile::GetUserDataFolder();
    LFile::FilePathCat(p, "WavCodec.wff");
    return p;
}

WAVEFORMATEX ReadStoredWaveFormat(int32_t rate, int channels) {
    std::vector<uint8_t> block(kStoredRecordBytes, 0);
    std::vector<uint8_t> def =
        WAVEFORMATEX::Pcm16(static_cast<uint32_t>(rate), static_cast<uint16_t>(channels))
            .Serialize();
    std::memcpy(block.data(), def.data(), def.size());
    LFile f;
    if (OpenWithRetry(f, StoredWaveFormatPath(), LFile::Mode::Read, kStoredRecordBudgetMs))
        f.Read(block.data(), kStoredRecordBytes);
    const uint16_t cb = GetLE16(block.data() + 16);
    const size_t n = std::min(kStoredRecordBytes, WAVEFORMATEX::kFixedBytes + cb);
    WAVEFORMATEX w = WAVEFORMATEX::Parse(block.data(), n);
    // A stored record no WAV file could carry is ignored rather than written into a file.
    if (w.nChannels < 1 || w.nChannels > 255 || w.nSamplesPerSec < 1 || w.nSamplesPerSec > 196000)
        return WAVEFORMATEX::Parse(def.data(), def.size());
    return w;
}

bool WriteStoredWaveFormat(const WAVEFORMATEX& format) {
    std::vector<uint8_t> block(kStoredRecordBytes, 0);
    std::vector<uint8_t> rec = format.Serialize();
    std::memcpy(block.data(), rec.data(), std::min(rec.size(), kStoredRecordBytes));
    if (!MakeFolders(LFile::GetUserDataFolder())) return false;
    LFile f;
    if (!OpenWithRetry(f, StoredWaveFormatPath(), LFile::Mode::ExclusiveRewrite,
                       kStoredRecordBudgetMs))
        return false;
    return f.WriteExact(block.data(), static_cast<int64_t>(block.size()));
}

bool LGenSinkIsSupported(std::string_view format) {
    const FormatRow* r = FindRow(format);
    if (!r) return false;
    if (r->bBuiltIn) return r->open != nullptr;
    std::string path;
    if (GetComponentPath(r->szComponent, path)) return true;
    LProcessGetComponentPath job(r->szComponent);
    return job.Run() == LPROCESS_OK;
}

bool LGenSinkIsEncoder(std::string_view format) {
    const FormatRow* r = FindRow(format);
    return r && !r->bBuiltIn;
}

int LGenSinkCheckSettings(std::string_view format, int32_t rate, int channels) {
    const FormatRow* r = FindRow(format);
    if (!r || !r->checkSettings) {
        DebugLog("LGenSinkCheckSettings file type not supported: %.*s",
                 static_cast<int>(format.size()), format.data());
        return 0;
    }
    return r->checkSettings(rate, channels);
}

LSoundSinkRef LGenSinkOpenSink(const std::string& path, int32_t rate, int channels) {
    const std::string ext = GetExtension(LFile::_GetFileFromPath(path));
    const FormatRow* r = ext.empty() ? nullptr : FindRow(ext);
    if (!r || !r->open) {
        DebugLog("LGenSinkOpenSink file type not supported: %s", ext.c_str());
        return {};
    }
    return r->open(path, rate, channels);
}

}  // namespace sonvex
