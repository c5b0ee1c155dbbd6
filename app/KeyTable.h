// The main window's keys: a key code with modifier bits, looked up in the key table.
#pragma once

namespace sonvex {

// Modifier bits added to a key code.
inline constexpr int kKeyAlt = 0x10000, kKeyCtrl = 0x20000, kKeyShift = 0x40000;
// Key codes of the keys the tables use (letters and digits are their upper-case characters).
inline constexpr int VK_RETURN = 0x0D, VK_ESCAPE = 0x1B, VK_DELETE = 0x2E, VK_F1 = 0x70,
                     VK_F3 = 0x72, VK_F4 = 0x73, VK_F9 = 0x78, VK_F10 = 0x79;
inline constexpr int CM_HELP_CONTENTS = 9001, CM_HELP_ABOUT = 9020;

// What a key pressed in the main window does: a command id; kKeySwallowed for Enter and
// Escape (they neither close the window nor press a button); 0 for keys left to the controls.
inline constexpr int kKeySwallowed = -1;
int MainDialogKeyCommand(int keyWithModifiers);

}  // namespace sonvex
