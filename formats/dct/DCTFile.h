// DCT dictation files: the recorder's header (version, flags, notes, attachments), then a WAV
// file, which is read in place.
#pragma once

#include <string>

#include "audio/SoundSource.h"
#include "support/ByteSource.h"

namespace sonvex {

class LDCTFile {
public:
    // The source of the embedded WAV. On failure a null source: ErrorState 4 when the file
    // cannot be opened, else 3, and *pMessage (when given) the text to show for a header the
    // dictation rules refuse (empty when the WAV reader's own message applies).
    static LSoundSourceRef OpenSource(const std::string& path, std::string* pMessage = nullptr);
    static LSoundSourceRef OpenSource(LByteSource&& bytes, std::string* pMessage = nullptr);
};

// The name and web page of the maker's program for encrypted dictation files.
extern const char* const kDCTTranscriptionProgram;
std::string DCTTranscriptionPage();

}  // namespace sonvex
