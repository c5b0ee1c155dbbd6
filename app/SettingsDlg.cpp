#include "app/SettingsDlg.h"

#include <algorithm>
#include <thread>

#include "player/SoundPlayer.h"
#include "support/Help.h"
#include "support/Settings.h"

namespace sonvex {

namespace {
struct Policy {
    int id;
    const char* szKey;
    bool bDefault;
};
constexpr Policy kPolicies[] = {
    {LSettingsDlg::IDC_PROMPT, "AlwaysPrompt", true},
    {LSettingsDlg::IDC_OVERWRITE, "AlwaysOverwrite", false},
    {LSettingsDlg::IDC_NEVER, "NeverOverwrite", false},
    {LSettingsDlg::IDC_CANCELALL, "CancelAll", false},
};
}  // namespace

LSettingsDlg::LSettingsDlg() : LDialog("Program Settings") {
    using K = LControl::Kind;
    AddControl(IDC_DEVICE, K::Combo, "Sound Play Device");
    AddControl(IDC_NOTE, K::Static, "When converting, if destination file already exists...");
    AddControl(IDC_PROMPT, K::Radio, "Always Prompt Me for Action").iGroup = 1;
    AddControl(IDC_OVERWRITE, K::Radio, "Always Overwrite").iGroup = 1;
    AddControl(IDC_NEVER, K::Radio, "Never Overwrite").iGroup = 1;
    AddControl(IDC_CANCELALL, K::Radio, "Cancel All Conversions").iGroup = 1;
    AddControl(IDC_KEEPTAGS, K::Check, "Keep Tags and Cover Art");
    AddControl(IDC_THREADS, K::Combo, "Files Converted at Once");
}

std::vector<std::string> LSettingsDlg::ThreadChoices() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> v{"One per Processor Core (" + std::to_string(cores) + ")"};
    const int stored = SettingsReadInt("Settings", "ConvertThreads", 0);
    for (int n = 1; n <= std::max({16, static_cast<int>(cores), stored}); ++n)
        v.push_back(std::to_string(n));
    return v;
}

std::vector<std::string> LSettingsDlg::DeviceList() {
    // Entry 0 is "[Default Sound Out]", then the output devices the sound layer lists.
    std::vector<std::string> v;
    for (int i = 0; i <= LSoundPlayDevice::GetCount(); ++i)
        v.push_back(LSoundPlayDevice::GetText(i));
    return v;
}

void LSettingsDlg::InitDialog() {
    ComboFill(IDC_DEVICE, DeviceList());
    ComboSetSel(IDC_DEVICE, SettingsReadInt("Settings", "SoundOutDevice", 0));
    SetCheck(IDC_KEEPTAGS, SettingsReadFlag("Settings", "KeepTags", true));
    ComboFill(IDC_THREADS, ThreadChoices());
    ComboSetSel(IDC_THREADS, std::max(0, SettingsReadInt("Settings", "ConvertThreads", 0)));
    // The first true flag is the policy in force; it is the one shown.
    for (const auto& p : kPolicies) SetCheck(p.id, false);
    for (const auto& p : kPolicies) {
        if (SettingsReadFlag("Settings", p.szKey, p.bDefault)) {
            SetCheck(p.id, true);
            break;
        }
    }
}

bool LSettingsDlg::CmOk() {
    SettingsWriteInt("Settings", "SoundOutDevice", ComboGetSel(IDC_DEVICE));
    for (const auto& p : kPolicies) SettingsWriteFlag("Settings", p.szKey, IsChecked(p.id));
    SettingsWriteFlag("Settings", "KeepTags", IsChecked(IDC_KEEPTAGS));
    SettingsWriteInt("Settings", "ConvertThreads", std::max(0, ComboGetSel(IDC_THREADS)));
    return true;
}

void LSettingsDlg::CmHelp() {
    OpenHelp(kHelpProgramSettings);
}

}  // namespace sonvex
