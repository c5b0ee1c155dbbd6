#include "formats/dct/DCTDecode.h"

#include <sys/stat.h>

#include <cstdint>
#include <vector>

#include "platform/Debug.h"
#include "support/File.h"
#include "support/Settings.h"

namespace sonvex {

const char* const kDCTTranscriptionProgram = "Verrowave Transcribe";

std::string DCTTranscriptionPage() {
    return WebPageAddress("transcribe");
}

namespace {

// Little-endian fields read in order; a short read leaves the preset value.
class LHeaderReader {
public:
    explicit LHeaderReader(LFile& file) : file_(file) {}

    void U8(uint32_t& v) { Get(v, 1); }
    void U16(uint32_t& v) { Get(v, 2); }
    void U32(uint32_t& v) { Get(v, 4); }
    void Skip(int64_t n) {
        if (n > 0) file_.Seek(n, LFile::Origin::Current);
    }
    // A 1-byte length n followed by n bytes.
    void SkipShortString() {
        uint32_t n = 0;
        U8(n);
        Skip(n);
    }

private:
    void Get(uint32_t& v, int n) {
        uint8_t b[4];
        if (file_.Read(b, n) < n) return;
        uint32_t x = 0;
        for (int i = n - 1; i >= 0; --i) x = (x << 8) | b[i];
        v = x;
    }
    LFile& file_;
};

const char* const kCorrupt = "DCT File is corrupt";

}  // namespace

int LDCTDecode::Work() {
    SetStatusText(0, "Loading DCT File");
    SetStatusText(1, szInputPath_);
    SetProgress(0);

    LFile in;
    if (!in.Open(szInputPath_, LFile::Mode::Read)) {
        DebugLog("LDCTDecode::Work unable to open file: %s", szInputPath_.c_str());
        return LPROCESS_FAILED;
    }
    SetProgress(0.03);
    const uint32_t fileSize = static_cast<uint32_t>(in.GetFileSizeBytes());
    LHeaderReader rd(in);

    uint32_t version = 0xFFFF;
    rd.U16(version);
    if (version > 3) {
        ReportError("DCT File load error");
        return LPROCESS_FAILED;
    }
    uint32_t fileLength = 0;
    rd.U32(fileLength);
    if (fileLength != fileSize) {
        ReportError(kCorrupt);
        return LPROCESS_FAILED;
    }
    uint32_t flags = 0;
    rd.U32(flags);
    if (version >= 2 && (flags & 2)) {
        ReportError(std::string("You cannot load encrypted files with this software. Download ") +
                    kDCTTranscriptionProgram + " from " + DCTTranscriptionPage() +
                    " to open encrypted files.");
        return LPROCESS_FAILED;
    }
    rd.Skip(8);
    if (version >= 3) {
        uint32_t flatDataSize = 0;
        rd.U32(flatDataSize);
        if (flatDataSize >= fileLength) {
            ReportError(kCorrupt);
            return LPROCESS_FAILED;
        }
        rd.Skip(flatDataSize);
    }
    rd.Skip(4);
    for (int i = 0; i < 11; ++i) rd.SkipShortString();
    rd.Skip(1);
    SetProgress(0.06);

    uint32_t notesLength = 0;
    rd.U32(notesLength);
    if (notesLength > fileLength) {
        ReportError(
            "Unable to load dct file because of file corruption (notes error). Please ask the "
            "dictator to send it again.");
        return LPROCESS_FAILED;
    }
    if (flags & 4) {
        uint32_t nAttachments = 0;
        rd.U8(nAttachments);
        for (uint32_t i = 0; i < nAttachments; ++i) {
            rd.SkipShortString();
            uint32_t attachmentLength = 0;
            rd.U32(attachmentLength);
            if (attachmentLength > fileLength) {
                ReportError(
                    "Unable to load dct file because of file corruption (attachment too large). "
                    "Please ask the dictator to send it again.");
                return LPROCESS_FAILED;
            }
            rd.Skip(attachmentLength);
        }
    }
    uint32_t audioSize = 0;
    if (version >= 1) {
        uint32_t nChans = 1;
        rd.U8(nChans);
        if (nChans == 0) {
            ReportError(
                "Unable to load dct file because of file corruption (zero channels error). "
                "Please ask the dictator to send it again.");
            return LPROCESS_FAILED;
        }
        rd.U32(audioSize);
    } else {
        int64_t here = in.Tell();
        audioSize = here < fileSize ? static_cast<uint32_t>(fileSize - here) : 0;
    }

    LFile out;
    if (!out.Open(szTempWavPath_, LFile::Mode::ExclusiveRewrite))
        DebugLog("LDCTDecode::Work unable to create %s", szTempWavPath_.c_str());
    else
        fchmod(out.Fd(), 0600);  // a full copy of the user's audio

    SetProgress(0.10);
    std::vector<uint8_t> buffer(kCopyBlockBytes);
    uint64_t remaining = audioSize;
    uint64_t copied = 0;
    for (;;) {
        if (PumpMessages()) return LPROCESS_STOPPED;
        int64_t want =
            remaining < kCopyBlockBytes ? static_cast<int64_t>(remaining) : kCopyBlockBytes;
        int64_t got = in.Read(buffer.data(), want);
        if (got > 0 && !out.WriteExact(buffer.data(), got)) {
            DebugLog("LDCTDecode::Work cannot write %s", szTempWavPath_.c_str());
            return LPROCESS_FAILED;
        }
        copied += static_cast<uint64_t>(got > 0 ? got : 0);
        if (audioSize > 0)
            SetProgress(0.10 + 0.90 * static_cast<double>(copied) / static_cast<double>(audioSize));
        if (got < kCopyBlockBytes) return LPROCESS_OK;
        remaining -= kCopyBlockBytes;
    }
}

}  // namespace sonvex
