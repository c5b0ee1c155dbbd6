// DCT dictation files: a header with recording information, optional attachments, and the
// audio as a complete WAV file. The decoder job validates the header and copies the embedded
// WAV byte for byte to a temporary WAV path.
#pragma once

#include <string>

#include "support/ProgressDialog.h"

namespace sonvex {

class LDCTDecode : public LProgressDialog {
public:
    LDCTDecode(std::string inputPath, std::string tempWavPath)
        : LProgressDialog("Loading DCT file"),
          szInputPath_(std::move(inputPath)),
          szTempWavPath_(std::move(tempWavPath)) {}

    static constexpr int kCopyBlockBytes = 32768;

protected:
    int Work() override;

private:
    std::string szInputPath_;
    std::string szTempWavPath_;
};

// The name and web page of the maker's program for encrypted dictation files.
extern const char* const kDCTTranscriptionProgram;
std::string DCTTranscriptionPage();

}  // namespace sonvex
