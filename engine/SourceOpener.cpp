#include "engine/SourceOpener.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "engine/HelperDecoders.h"
#include "engine/DecoderJob.h"
#include "formats/aiff/AifFile.h"
#include "formats/au/AuFile.h"
#include "formats/dct/DCTDecode.h"
#include "formats/gsm/GsmFile.h"
#include "formats/mp3/MP3Source.h"
#include "formats/raw/RawFile.h"
#include "formats/wav/WaveFile.h"
#include "formats/wav/WaveFormat.h"
#include "platform/Debug.h"
#include "support/ProgressDialog.h"
#include "support/WebAddresses.h"

namespace sonvex {

namespace {

const char kCheckExists[] =
    "Cannot open the file \"%s\". Check it exists and you have read access.";
const char kCorrupt[] = "Cannot open the file \"%s\" because it is corrupt.";
const char kNoAcmCodec[] =
    "Cannot open the file \"%s\" because the required ACM codec is not installed on this "
    "PC.\r\n\r\nOpen the file with Windows Media Player to auto-install the codec then reattempt "
    "to load it.";
const char kCannotOpen[] = "Cannot open the file \"%s\".";
const char kNotLayer3[] =
    "Cannot open the file \"%s\". It is possibly either corrupt or not a true layer-3 MPEG file.";
const char kWmaFailed[] =
    "Cannot open file \"%s\". It is possible that the file does not exist, it is corrupt or the "
    "file is protected with Digital Rights Management (DRM) which limits the recording to "
    "limited players.";

// The message for a directly opened format whose source carries an ErrorState.
using MessageFor = const char* (*)(int errorState);

const char* WavMessage(int e) {
    return e == LSRC_CORRUPT       ? kCorrupt
           : e == LSRC_CANNOT_OPEN ? kCheckExists
           : e == LSRC_UNSUPPORTED ? kNoAcmCodec
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

bool HasExt(const std::string& ext, std::initializer_list<const char*> list) {
    for (const char* e : list)
        if (CaseInsensitiveEqual(ext, e)) return true;
    return false;
}

int OpenDirect(LSoundSourceRef& source, LSoundSourceRef opened, const std::string& path,
               const LUiContext& context, MessageFor message) {
    source = opened;
    if (source->ErrorState == LSRC_OK) return LPROCESS_OK;
    context.ShowError(FormatMessage(message(source->ErrorState), path));
    return LPROCESS_FAILED;
}

// False when a decoded WAV holds fewer data bytes than its header declares (the decoder was
// cut short, or the temporary folder is full). Streamed sizes (0, 0xFFFFFFFF) are whole.
bool DecodedWavIsWhole(const std::string& path) {
    LFile f;
    if (!f.Open(path, LFile::Mode::Read)) return true;  // the reader reports it
    const int64_t size = f.GetFileSizeBytes();
    uint8_t h[12];
    if (!f.ReadExact(h, 12) || std::memcmp(h, "RIFF", 4) != 0) return true;
    for (int64_t at = 12; at + 8 <= size;) {
        f.Seek(at);
        if (!f.ReadExact(h, 8)) break;
        const uint32_t n = GetLE32(h + 4);
        if (std::memcmp(h, "data", 4) == 0)
            return n == 0 || n == 0xFFFFFFFFu || at + 8 + static_cast<int64_t>(n) <= size;
        at += 8 + static_cast<int64_t>(n) + (n & 1);
    }
    return true;
}

// Runs a decoder job into a temporary WAV and opens the result.
int OpenDecoded(LSoundSourceRef& source, const std::string& path, const LUiContext& context,
                const std::string& ext, std::string* pTempPath) {
    LLockFile lock;
    std::string temp;
    if (!AllocateTempWav(lock, temp)) {
        context.ShowError(FormatMessage(kCannotOpen, path));
        return LPROCESS_FAILED;
    }
    bool bDirectX = false;
    std::unique_ptr<LProgressDialog> job;
    if (HasExt(ext, {".wma"})) {
        job = std::make_unique<LMissingDecoder>("Loading WMA file", path, temp, false);
    } else if (HasExt(ext, {".dss"})) {
        job = std::make_unique<LMissingDecoder>("Loading DSS file", path, temp, true);
    } else if (HasExt(ext, {".ra", ".ram", ".rm"})) {
        job = std::make_unique<LMissingDecoder>("Loading RealAudio file", path, temp, true);
    } else if (HasExt(ext, {".aac", ".m4a"})) {
        job = std::make_unique<LAACDecode>(path, temp);
    } else if (HasExt(ext, {".ogg"})) {
        job = std::make_unique<LOggDecode>(path, temp);
    } else if (HasExt(ext, {".flac"})) {
        job = std::make_unique<LFLACDecode>(path, temp);
    } else if (HasExt(ext, {".sri"})) {
        job = std::make_unique<LMissingDecoder>("Loading SRI file", path, temp, true);
    } else if (HasExt(ext, {".dct"})) {
        job = std::make_unique<LDCTDecode>(path, temp);
    } else {
        bDirectX = true;
        job = std::make_unique<LMissingDecoder>("Loading with DirectX", path, temp, false);
    }
    int result = job->Run();
    if (result == LPROCESS_OK && !DecodedWavIsWhole(temp)) {
        DebugLog("OpenDecoded %s: the decoded file is shorter than its header says", temp.c_str());
        context.ShowError(FormatMessage(kCannotOpen, path));
        result = LPROCESS_FAILED;
    }
    if (result != LPROCESS_OK) {
        unlink(temp.c_str());
        if (result == LPROCESS_FAILED && HasExt(ext, {".wma"})) {
            context.ShowError(FormatMessage(kWmaFailed, path));
        } else if (result == LPROCESS_FAILED && bDirectX) {
            if (!PathExists(path)) {
                context.ShowError(FormatMessage(kCheckExists, path));
            } else if (HasExt(ext, {".msv", ".dvf"})) {
                context.ShowError(
                    FormatMessage(
                        "Cannot open the file \"%s\" because the codec is not installed. Please "
                        "download the Sony codec following the links from ",
                        path) +
                    std::string(kSonyCodecPage) + ".");
            } else {
                context.ShowError(
                    FormatMessage("Cannot open the file \"%s\" as audio. It is possible you "
                                  "don't have a suitable audio codec installed. Please see ",
                                  path) +
                    std::string(kAudioFormatsPage) + " for more information");
            }
        }
        return result;
    }
    source = LWaveFile::OpenSource(temp);
    if (pTempPath) *pTempPath = temp;
    return LPROCESS_OK;
}

}  // namespace

std::string SourceExtension(const std::string& path) {
    size_t dot = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '.') dot = i;
        if (IsPathSeparator(path[i])) dot = std::string::npos;
    }
    if (dot == std::string::npos || dot == 0) return {};
    return path.substr(dot);
}

bool AllocateTempWav(LLockFile& lock, std::string& path) {
    const std::string folder = LFile::GetTempFolder();
    for (unsigned n = 1; n <= 100000; ++n) {
        std::string candidate = folder;
        if (!LFile::FilePathCat(candidate, "Temp" + std::to_string(n) + ".wav")) return false;
        if (!lock.Lock(candidate)) continue;  // another instance is using this number
        if (!PathExists(candidate)) {
            path = candidate;
            return true;
        }
        if (TestFileOpen(candidate)) continue;  // still open somewhere
        if (unlink(candidate.c_str()) == 0) {
            path = candidate;
            return true;
        }
    }
    lock.Release();
    return false;
}

int LGenSourceOpen(LSoundSourceRef& source, const std::string& path, const LUiContext& context,
                   std::string* pTempPath) {
    if (pTempPath) pTempPath->clear();
    const std::string ext = SourceExtension(path);
    if (HasExt(ext, {".wav"}))
        return OpenDirect(source, LWaveFile::OpenSource(path), path, context, WavMessage);
    if (HasExt(ext, {".mp3"}))
        return OpenDirect(source, LSoundSourceRef(new LMP3Source(path)), path, context, Mp3Message);
    if (HasExt(ext, {".aif", ".aiff"}))
        return OpenDirect(source, LAifFile::OpenSource(path), path, context, AiffAuMessage);
    if (HasExt(ext, {".au"}) || (HasExt(ext, {".snd"}) && LAuFile::HasMagic(path)))
        return OpenDirect(source, LAuFile::OpenSource(path), path, context, AiffAuMessage);
    if (HasExt(ext, {".gsm"}))
        return OpenDirect(source, LSoundSourceRef(new LGSMFileSource(path)), path, context,
                          ExistsMessage);
    if (HasExt(ext, {".vox", ".raw", ".snd"})) {
        const char* section = HasExt(ext, {".vox"}) ? "VoxAudio" : "RawAudio";
        LRawSettings settings = ReadRawSettings(section);
        if (context.TakePrompt() && LRawSettingsDialog(settings, section).DoModal() != IDOK)
            return LPROCESS_STOPPED;
        return OpenDirect(source, LRawFile::OpenSource(path, settings), path, context,
                          ExistsMessage);
    }
    return OpenDecoded(source, path, context, ext, pTempPath);
}

}  // namespace sonvex
