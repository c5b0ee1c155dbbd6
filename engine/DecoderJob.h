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

}  // namespace sonvex
