#include "app/WindowPlacement.h"

#include <algorithm>

#include "support/Settings.h"

namespace sonvex {

LWindowPlacement ReadWindowPlacement() {
    LWindowPlacement p;
    p.rect.x = SettingsReadInt("MainDialog", "X", 160);
    p.rect.y = SettingsReadInt("MainDialog", "Y", 80);
    p.rect.w = SettingsReadInt("MainDialog", "Width", 500);
    p.rect.h = SettingsReadInt("MainDialog", "Height", 400);
    p.bMaximized = SettingsReadFlag("MainDialog", "Maximized", false);
    return p;
}

LRect ClampToArea(LRect r, const LRect& area) {
    r.w = std::clamp(r.w, 1, std::max(area.w, 1));
    r.h = std::clamp(r.h, 1, std::max(area.h, 1));
    r.x = std::max(r.x, area.x);
    r.y = std::max(r.y, area.y);
    // Right and bottom edges in 64 bits: a stored value may be near the int limits.
    if (static_cast<long long>(r.x) + r.w > static_cast<long long>(area.x) + area.w)
        r.x = area.x + area.w - r.w;
    if (static_cast<long long>(r.y) + r.h > static_cast<long long>(area.y) + area.h)
        r.y = area.y + area.h - r.h;
    return r;
}

void StoreWindowPlacement(LWindowState state, LRect rect, const LRect& area) {
    if (state == LWindowState::Maximized) {
        SettingsWriteFlag("MainDialog", "Maximized", true);
        return;
    }
    if (state == LWindowState::Minimized) return;
    const int right = std::min(rect.x + rect.w, area.x + area.w);
    SettingsWriteFlag("MainDialog", "Maximized", false);
    SettingsWriteInt("MainDialog", "X", rect.x);
    SettingsWriteInt("MainDialog", "Y", rect.y);
    SettingsWriteInt("MainDialog", "Width", right - rect.x);
    SettingsWriteInt("MainDialog", "Height", rect.h);
}

}  // namespace sonvex
