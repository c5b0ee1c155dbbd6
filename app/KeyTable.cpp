#include "app/KeyTable.h"

#include "app/MainDialog.h"

namespace sonvex {

int MainDialogKeyCommand(int key) {
    struct Entry {
        int key;
        int command;
    };
    static constexpr Entry kTable[] = {
        {kKeyAlt + 'A', MainDialog::CM_ADD},
        {kKeyCtrl + VK_DELETE, MainDialog::CM_REMOVE},
        {VK_F9, MainDialog::CM_PLAY},
        {VK_F10, MainDialog::CM_STOP},
        {kKeyCtrl + 'A', MainDialog::CM_SELECTALL},
        {kKeyCtrl + 'S', MainDialog::CM_SETTINGS},
        {VK_F3, MainDialog::CM_CONVERT},
        {kKeyAlt + VK_F4, MainDialog::CM_EXIT},
        {VK_F1, CM_HELP_CONTENTS},
    };
    for (const auto& e : kTable)
        if (e.key == key) return e.command;
    // Enter and Escape with any modifier.
    const int bare = key & 0xFFFF;
    if (bare == VK_RETURN || bare == VK_ESCAPE) return kKeySwallowed;
    return 0;
}

}  // namespace sonvex
