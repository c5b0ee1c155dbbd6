#include "engine/OutputFormats.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "encoders/Components.h"
#include "engine/FormatRegistry.h"
#include "platform/Debug.h"
#include "support/File.h"

namespace sonvex {

namespace {

constexpr size_t kStoredRecordBytes = 1024;
constexpr int kStoredRecordBudgetMs = 100;

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

std::vector<std::string_view> FormatBoxFormats() {
    std::vector<std::string_view> v;
    for (const LOutputFormat& f : OutputFormats())
        if (f.bInFormatBox) v.push_back(f.ext);
    return v;
}

bool LGenSinkIsSupported(std::string_view format) {
    const LOutputFormat* r = FindOutputFormat(format);
    if (!r) return false;
    if (!r->szComponent) return r->open != nullptr;
    std::string path;
    if (GetComponentPath(r->szComponent, path)) return true;
    LProcessGetComponentPath job(r->szComponent);
    return job.Run() == LPROCESS_OK;
}

bool LGenSinkIsEncoder(std::string_view format) {
    const LOutputFormat* r = FindOutputFormat(format);
    return r && r->szComponent;
}

int LGenSinkCheckSettings(std::string_view format, int32_t rate, int channels) {
    const LOutputFormat* r = FindOutputFormat(format);
    if (!r || !r->checkSettings) {
        DebugLog("LGenSinkCheckSettings file type not supported: %.*s",
                 static_cast<int>(format.size()), format.data());
        return 0;
    }
    return r->checkSettings(rate, channels);
}

LSoundSinkRef LGenSinkOpenSink(const std::string& path, int32_t rate, int channels) {
    const std::string ext = GetExtension(LFile::_GetFileFromPath(path));
    const LOutputFormat* r = ext.empty() ? nullptr : FindOutputFormat(ext);
    if (!r || !r->open) {
        DebugLog("LGenSinkOpenSink file type not supported: %s", ext.c_str());
        return {};
    }
    return r->open(path, rate, channels);
}

}  // namespace sonvex
