// Decoder jobs over the platform's media decoder (platform/media): WMA and every extension no
// other reader claims (LDxLoadToWav), RealAudio (LReadAudioDecode). Each writes the temporary
// WAV as the platform's sample grabber would: 16-bit PCM in the stream's own channels and rate.
// DSS files go through the decoder library "dss32" (LDSSDecode), VoiceIt files through the
// VoiceIt library (LVoiceItDecode).
#pragma once

#include <string>

#include "encoders/Components.h"
#include "engine/DecoderJob.h"

namespace sonvex {

class LMediaDecoder;

class LDxLoadToWav : public LDecoderJob {
public:
    LDxLoadToWav(std::string inputPath, std::string tempWavPath,
                 std::string title = "Loading with DirectX")
        : LDecoderJob(std::move(title), std::move(inputPath), std::move(tempWavPath)) {}

protected:
    int Work() override;
};

class LReadAudioDecode : public LDecoderJob {
public:
    LReadAudioDecode(std::string inputPath, std::string tempWavPath,
                     std::string title = "Loading RealAudio file")
        : LDecoderJob(std::move(title), std::move(inputPath), std::move(tempWavPath)) {}

protected:
    int Work() override;
};

// DSS dictation files through the component "dss32" (installed on demand), a library whose
// functions are looked up by name; it hands out frames of 16-bit mono PCM that are written
// behind a 46-byte WAV head (8000 Hz for LP files, 11025 Hz otherwise).
class LDSSDecode : public LDecoderJob {
public:
    LDSSDecode(std::string inputPath, std::string tempWavPath,
               std::string title = "Loading DSS file")
        : LDecoderJob(std::move(title), std::move(inputPath), std::move(tempWavPath)) {}

    LInstallOptions installOptions;

protected:
    int Work() override;
};

// VoiceIt ".sri" files through the VoiceIt library's one function, Sr_CvtSri2WaveFile(input
// path, WAV path) returning 0 on success.
class LVoiceItDecode : public LDecoderJob {
public:
    LVoiceItDecode(std::string inputPath, std::string tempWavPath,
                   std::string title = "Loading SRI file")
        : LDecoderJob(std::move(title), std::move(inputPath), std::move(tempWavPath)) {}

    // The library, by name or path.
    std::string szLibrary = "libSrPump.so";

protected:
    int Work() override;
};

// Decodes an opened media decoder into the temporary WAV (head with 0xFFFFFFFF sizes while
// decoding, final sizes at the end), with progress from the media time over the duration
// and Cancel: LPROCESS_OK, LPROCESS_STOPPED, or LPROCESS_FAILED when the file cannot be
// written or the decoder breaks down.
int ProcessMediaToWav(LProgressDialog& pd, LMediaDecoder& decoder, const std::string& wavPath);

}  // namespace sonvex
