#include "engine/SourceOpener.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "engine/FormatRegistry.h"
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
const char kCannotOpen[] = "Cannot open the file \"%s\".";

bool HasExt(const std::string& ext, std::initializer_list<const char*> list) {
    for (const char* e : list)
        if (CaseInsensitiveEqual(ext, e)) return true;
    return false;
}

// The message for a directly opened format whose source carries an ErrorState.
using MessageFor = const char* (*)(int errorState);

// explained: the reader's own text for its refusal, when it has one.
int OpenDirect(LSoundSourceRef& source, LSoundSourceRef opened, const std::string& path,
               const LUiContext& context, MessageFor message, const std::string& explained = {}) {
    source = opened;
    if (source->ErrorState == LSRC_OK) return LPROCESS_OK;
    context.ShowError(explained.empty() ? FormatMessage(message(source->ErrorState), path)
                                        : explained);
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

// True for an Ogg file whose first stream is Opus or FLAC, which the Ogg decoder component
// (Vorbis) refuses.
bool OggHoldsOpusOrFlac(const std::string& path) {
    LFile f;
    uint8_t b[96] = {};
    if (!f.Open(path, LFile::Mode::Read) || f.Read(b, sizeof b) < 36 ||
        std::memcmp(b, "OggS", 4) != 0)
        return false;
    const std::string head(reinterpret_cast<const char*>(b), sizeof b);
    return head.find("OpusHead") != std::string::npos || head.find(
                                                             "\x7F"
                                                             "FLAC") != std::string::npos;
}

// Runs a decoder job into a temporary WAV and opens the result.
int OpenDecoded(LSoundSourceRef& source, const std::string& path, const LUiContext& context,
                const LInputFormat& format, std::string* pTempPath, bool bQuiet = false) {
    const std::string ext = SourceExtension(path);
    LLockFile lock;
    std::string temp;
    if (!AllocateTempWav(lock, temp)) {
        context.ShowError(FormatMessage(kCannotOpen, path));
        return LPROCESS_FAILED;
    }
    const bool bMedia = &format == &MediaDecoderFormat();
    std::unique_ptr<LProgressDialog> job = format.decoder(path, temp);
    int result = job->Run();
    if (result == LPROCESS_OK && !DecodedWavIsWhole(temp)) {
        DebugLog("OpenDecoded %s: the decoded file is shorter than its header says", temp.c_str());
        context.ShowError(FormatMessage(kCannotOpen, path));
        result = LPROCESS_FAILED;
    }
    if (result != LPROCESS_OK) {
        unlink(temp.c_str());
        if (bQuiet) return result;
        if (result == LPROCESS_FAILED && format.szFailureMessage) {
            context.ShowError(FormatMessage(format.szFailureMessage, path));
        } else if (result == LPROCESS_FAILED && bMedia) {
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

std::string TempWavFolder() {
    const std::string folder = LFile::GetTempFolder() + "/sonvex-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    // A link or another user's folder put there in advance is not ours to write in.
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 0077) != 0) {
        DebugLog("TempWavFolder %s is not a private folder of this user", folder.c_str());
        return {};
    }
    return folder;
}

bool AllocateTempWav(LLockFile& lock, std::string& path) {
    const std::string folder = TempWavFolder();
    if (folder.empty()) return false;
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
    const LInputFormat* format = FindInputFormat(path);
    if (!format) return OpenDecoded(source, path, context, MediaDecoderFormat(), pTempPath);
    switch (format->kind) {
        case LInputKind::Direct: {
            std::string explained;
            LSoundSourceRef opened = format->openExplained ? format->openExplained(path, &explained)
                                                           : format->open(path);
            // AIFF and AU files in a sample format or variant our readers do not take (24-bit,
            // float, AIFF-C, little-endian AU) go to the media decoder; a file it cannot read
            // either keeps the reader's message.
            const bool bFallback =
                (format->szName == "AIFF" || format->szName == "AU") &&
                (opened->ErrorState == LSRC_UNSUPPORTED || opened->ErrorState == LSRC_CORRUPT);
            if (bFallback) {
                const int r =
                    OpenDecoded(source, path, context, MediaDecoderFormat(), pTempPath, true);
                if (r != LPROCESS_FAILED) return r;
            }
            return OpenDirect(source, opened, path, context, format->message, explained);
        }
        case LInputKind::Raw: {
            LRawSettings settings = ReadRawSettings(format->szRawSection);
            if (context.TakePrompt() &&
                LRawSettingsDialog(settings, format->szRawSection).DoModal() != IDOK)
                return LPROCESS_STOPPED;
            return OpenDirect(source, LRawFile::OpenSource(path, settings), path, context,
                              format->message);
        }
        case LInputKind::Decoded:
            if (format->szName == "Ogg Vorbis" && OggHoldsOpusOrFlac(path))
                return OpenDecoded(source, path, context, MediaDecoderFormat(), pTempPath);
            break;
    }
    return OpenDecoded(source, path, context, *format, pTempPath);
}

}  // namespace sonvex
