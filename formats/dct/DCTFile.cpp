#include "formats/dct/DCTFile.h"

#include <cstdint>

#include "formats/wav/WaveFile.h"
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
    explicit LHeaderReader(LByteSource& file) : file_(file) {}

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
    LByteSource& file_;
};

const char* const kCorrupt = "DCT File is corrupt";

}  // namespace

LSoundSourceRef LDCTFile::OpenSource(const std::string& path, std::string* pMessage) {
    if (pMessage) pMessage->clear();
    LByteSource in = LByteSource::OpenFile(path);
    if (!in.IsOpen()) {
        DebugLog("LDCTFile::OpenSource unable to open file: %s", path.c_str());
        return MakeErrorSource(LSRC_CANNOT_OPEN);
    }
    return OpenSource(std::move(in), pMessage);
}

LSoundSourceRef LDCTFile::OpenSource(LByteSource&& in, std::string* pMessage) {
    if (pMessage) pMessage->clear();
    const auto refuse = [pMessage](const std::string& text) {
        DebugLog("LDCTFile::OpenSource %s", text.c_str());
        if (pMessage) *pMessage = text;
        return MakeErrorSource(LSRC_CORRUPT);
    };
    const uint32_t fileSize = static_cast<uint32_t>(in.GetFileSizeBytes());
    LHeaderReader rd(in);

    uint32_t version = 0xFFFF;
    rd.U16(version);
    if (version > 3) {
        return refuse("DCT File load error");
    }
    uint32_t fileLength = 0;
    rd.U32(fileLength);
    if (fileLength != fileSize) {
        return refuse(kCorrupt);
    }
    uint32_t flags = 0;
    rd.U32(flags);
    if (version >= 2 && (flags & 2)) {
        return refuse(std::string("You cannot load encrypted files with this software. Download ") +
                      kDCTTranscriptionProgram + " from " + DCTTranscriptionPage() +
                      " to open encrypted files.");
    }
    rd.Skip(8);
    if (version >= 3) {
        uint32_t flatDataSize = 0;
        rd.U32(flatDataSize);
        if (flatDataSize >= fileLength) {
            return refuse(kCorrupt);
        }
        rd.Skip(flatDataSize);
    }
    rd.Skip(4);
    for (int i = 0; i < 11; ++i) rd.SkipShortString();
    rd.Skip(1);

    uint32_t notesLength = 0;
    rd.U32(notesLength);
    if (notesLength > fileLength) {
        return refuse(
            "Unable to load dct file because of file corruption (notes error). Please ask the "
            "dictator to send it again.");
    }
    if (flags & 4) {
        uint32_t nAttachments = 0;
        rd.U8(nAttachments);
        for (uint32_t i = 0; i < nAttachments; ++i) {
            rd.SkipShortString();
            uint32_t attachmentLength = 0;
            rd.U32(attachmentLength);
            if (attachmentLength > fileLength) {
                return refuse(
                    "Unable to load dct file because of file corruption (attachment too large). "
                    "Please ask the dictator to send it again.");
            }
            rd.Skip(attachmentLength);
        }
    }
    uint32_t audioSize = 0;
    if (version >= 1) {
        uint32_t nChans = 1;
        rd.U8(nChans);
        if (nChans == 0) {
            return refuse(
                "Unable to load dct file because of file corruption (zero channels error). "
                "Please ask the dictator to send it again.");
        }
        rd.U32(audioSize);
    } else {
        int64_t here = in.Tell();
        audioSize = here < fileSize ? static_cast<uint32_t>(fileSize - here) : 0;
    }

    // The embedded WAV is read where it lies.
    const int64_t start = in.Tell();
    return LWaveFile::OpenSource(std::move(in).Window(start, audioSize));
}

}  // namespace sonvex
