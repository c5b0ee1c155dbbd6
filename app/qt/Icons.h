// The program's icons: the desktop theme's where it has them, our own drawings otherwise.
#pragma once

#include <QIcon>

namespace sonvex {

QIcon AppIcon();
// Status of a row: 0 waiting, 1 converting, 2 converted, 3 skipped or failed.
QIcon StatusIcon(int status);
// The mark of the row being played.
QIcon PlayingIcon();
// A toolbar icon by its theme name (list-add, list-remove, media-playback-start,
// media-playback-stop, configure, document-save-as, help-contents).
QIcon ToolIcon(const char* themeName);

}  // namespace sonvex
