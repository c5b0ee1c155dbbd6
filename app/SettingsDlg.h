// "Program Settings": the sound device for playing, the policy for an output that exists and
// whether tags are kept.
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
    };
    LSettingsDlg();

    void InitDialog() override;
    bool CmOk() override;
    void CmHelp() override;

    // The device list: "[Default Sound Out]", then one entry per wave-output device.
    static std::vector<std::string> DeviceList();
};

}  // namespace sonvex
