#include "support/Dialog.h"

#include <cstdlib>

namespace sonvex {

LControl* LDialog::Control(int id) {
    for (auto& c : controls_)
        if (c.id == id) return &c;
    return nullptr;
}

LControl& LDialog::AddControl(int id, LControl::Kind kind, std::string label) {
    if (LControl* c = Control(id)) return *c;
    LControl c;
    c.id = id;
    c.kind = kind;
    c.szLabel = std::move(label);
    controls_.push_back(std::move(c));
    return controls_.back();
}

void LDialog::SetText(int id, const std::string& text) {
    if (LControl* c = Control(id)) c->szText = text;
}

std::string LDialog::GetText(int id) {
    LControl* c = Control(id);
    return c ? c->szText : std::string();
}

void LDialog::SetCheck(int id, bool checked) {
    LControl* c = Control(id);
    if (!c) return;
    if (checked && c->kind == LControl::Kind::Radio)
        for (auto& o : controls_)
            if (o.kind == LControl::Kind::Radio && o.iGroup == c->iGroup) o.bChecked = false;
    c->bChecked = checked;
}

bool LDialog::IsChecked(int id) {
    LControl* c = Control(id);
    return c && c->bChecked;
}

void LDialog::Enable(int id, bool enabled) {
    if (LControl* c = Control(id)) c->bEnabled = enabled;
}

bool LDialog::IsEnabled(int id) {
    LControl* c = Control(id);
    return c && c->bEnabled;
}

void LDialog::ComboFill(int id, const std::vector<std::string>& items) {
    if (LControl* c = Control(id)) {
        c->items = items;
        c->iSel = -1;
    }
}

void LDialog::ComboSetSel(int id, int sel) {
    LControl* c = Control(id);
    if (c && sel >= -1 && sel < static_cast<int>(c->items.size())) c->iSel = sel;
}

int LDialog::ComboGetSel(int id) {
    LControl* c = Control(id);
    return c ? c->iSel : -1;
}

}  // namespace sonvex
