// Choosing the WAV output format. Without a codec manager the choice is among PCM formats.
#pragma once

#include "formats/wav/WaveFormat.h"
#include "support/Dialog.h"

namespace sonvex {

class LWaveFileFormat : public LDialog {
public:
    enum : int { IDC_RATE = 201, IDC_CHANNELS = 202, IDC_BITS = 203 };

    // Shows the chooser with an initial record; on OK the record holds the choice.
    static bool Choose(WAVEFORMATEX& format, const char* title);

    LWaveFileFormat(WAVEFORMATEX& format, const char* title);
    void InitDialog() override;
    bool CmOk() override;

private:
    WAVEFORMATEX& format_;
};

}  // namespace sonvex
