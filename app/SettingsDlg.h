// "Program Settings": the sound device for playing, the policy for an output that exists,
// whether tags are kept and how many files a batch converts at once.
#pragma once

#include <string>
#include <vector>

#include "support/Dialog.h"

namespace sonvex {

class LSettingsDlg : public LDialog {
public:
    enum : int {
        IDC_DEVICE = 101,
        IDC_PROMPT = 102,
        IDC_OVERWRITE = 103,
        IDC_NEVER = 104,
        IDC_CANCELALL = 105,
        IDC_NOTE = 106,
        IDC_KEEPTAGS = 107,
        IDC_THREADS = 108,
    };
    LSettingsDlg();

    void InitDialog() override;
    bool CmOk() override;
    void CmHelp() override;

    // The device list: "[Default Sound Out]", then one entry per wave-output device.
    static std::vector<std::string> DeviceList();
    // The choices for "ConvertThreads": entry 0 is one per processor core (stored as 0),
    // entry n converts n files at once.
    static std::vector<std::string> ThreadChoices();
};

}  // namespace sonvex
