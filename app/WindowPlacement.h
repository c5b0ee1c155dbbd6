// The main window's rectangle and maximised state as stored in section "MainDialog".
#pragma once

namespace sonvex {

struct LRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const LRect&) const = default;
};

struct LWindowPlacement {
    LRect rect{160, 80, 500, 400};
    bool bMaximized = false;
};

// The stored placement (defaults 160, 80, 500, 400, not maximised).
LWindowPlacement ReadWindowPlacement();
// The rectangle moved and shrunk into the area: size clamped to the area's, then the left
// and top edges moved in, then the right and bottom edges.
LRect ClampToArea(LRect r, const LRect& area);
// Stores the placement when the window closes: maximised stores "Maximized" only; minimised
// stores nothing; otherwise "Maximized" = 0 and the rectangle, its right edge first clamped
// to the area's right edge.
enum class LWindowState { Normal, Maximized, Minimized };
void StoreWindowPlacement(LWindowState state, LRect rect, const LRect& area);

}  // namespace sonvex
