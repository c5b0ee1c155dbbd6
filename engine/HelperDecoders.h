// Decoder jobs for inputs decoded by helper programs: the component writes a PCM WAV file at
// the temporary path, which the caller then opens with the WAV reader.
#pragma once

#include <string>

#include "encoders/Components.h"
#include "engine/DecoderJob.h"
#include "support/Process.h"

namespace sonvex {

// Starts the command line (no standard streams of ours, own process group) and waits for it
// in half-second slices, moving the progress bar toward 100%: LPROCESS_OK when it exited with
// status 0, LPROCESS_STOPPED on Cancel, LPROCESS_FAILED when it cannot start, fails or
// outlives the budget. A cancelled or late process is ended with its process group.
int ProcessRunCommandLineProcess(LProgressDialog& pd, const LCommandLine& commandLine,
                                 int budgetMs);

// A decoder job that runs a decoder component.
class LHelperDecodeBase : public LDecoderJob {
public:
    // How long the decoder process may run (one hour), and how a missing one is installed.
    int iTimeBudgetMs = 3600000;
    LInstallOptions installOptions;

protected:
    LHelperDecodeBase(std::string title, std::string inputPath, std::string tempWavPath,
                      const char* statusText, const char* component)
        : LDecoderJob(std::move(title), std::move(inputPath), std::move(tempWavPath)),
          pszStatus(statusText),
          pszComponent(component) {}

    int Work() override;
    virtual LCommandLine BuildCommandLine(const std::string& componentPath) const = 0;

private:
    const char* pszStatus;
    const char* pszComponent;
};

// "\"%s\" -d  -o \"%s\" \"%s\"" with component "aacdec".
class LAACDecode : public LHelperDecodeBase {
public:
    LAACDecode(std::string inputPath, std::string tempWavPath,
               std::string title = "Loading AAC file")
        : LHelperDecodeBase(std::move(title), std::move(inputPath), std::move(tempWavPath),
                            "Decoding AAC file", "aacdec") {}
    static LCommandLine CommandLine(const std::string& component, const std::string& wav,
                                    const std::string& input);

protected:
    LCommandLine BuildCommandLine(const std::string& c) const override {
        return CommandLine(c, szTempWavPath, szInputPath);
    }
};

// "\"%s\" -o \"%s\" \"%s\"" with component "oggdec".
class LOggDecode : public LHelperDecodeBase {
public:
    LOggDecode(std::string inputPath, std::string tempWavPath,
               std::string title = "Loading OGG file")
        : LHelperDecodeBase(std::move(title), std::move(inputPath), std::move(tempWavPath),
                            "Decoding Ogg file", "oggdec") {}
    static LCommandLine CommandLine(const std::string& component, const std::string& wav,
                                    const std::string& input);

protected:
    LCommandLine BuildCommandLine(const std::string& c) const override {
        return CommandLine(c, szTempWavPath, szInputPath);
    }
};

// "\"%s\" -d -o \"%s\" \"%s\"" with component "flacdec".
class LFLACDecode : public LHelperDecodeBase {
public:
    LFLACDecode(std::string inputPath, std::string tempWavPath,
                std::string title = "Loading FLAC file")
        : LHelperDecodeBase(std::move(title), std::move(inputPath), std::move(tempWavPath),
                            "Decoding FLAC file", "flacdec") {}
    static LCommandLine CommandLine(const std::string& component, const std::string& wav,
                                    const std::string& input);

protected:
    LCommandLine BuildCommandLine(const std::string& c) const override {
        return CommandLine(c, szTempWavPath, szInputPath);
    }
};

}  // namespace sonvex
