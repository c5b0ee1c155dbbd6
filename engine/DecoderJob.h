// A decoder job turns an input file into a temporary PCM WAV file under a progress dialog.
#pragma once

#include <string>

#include "support/ProgressDialog.h"

namespace sonvex {

class LDecoderJob : public LProgressDialog {
public:
    LDecoderJob(std::string title, std::string inputPath, std::string tempWavPath)
        : LProgressDialog(std::move(title)),
          szInputPath(std::move(inputPath)),
          szTempWavPath(std::move(tempWavPath)) {}

    const std::string& InputPath() const { return szInputPath; }
    const std::string& TempWavPath() const { return szTempWavPath; }

protected:
    std::string szInputPath;
    std::string szTempWavPath;
};

// The job for a format that no decoder of this build reads: it fails, saying so unless the
// opener reports the failure itself.
class LMissingDecoder final : public LDecoderJob {
public:
    LMissingDecoder(std::string title, std::string inputPath, std::string tempWavPath, bool bReport)
        : LDecoderJob(std::move(title), std::move(inputPath), std::move(tempWavPath)),
          bReport_(bReport) {}

protected:
    int Work() override;

private:
    bool bReport_;
};

}  // namespace sonvex
