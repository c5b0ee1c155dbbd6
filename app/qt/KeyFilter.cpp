#include "app/qt/KeyFilter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "app/KeyTable.h"

namespace sonvex {

int KeyCodeWithModifiers(const QKeyEvent& e) {
    const int k = e.key();
    int code = 0;
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9))
        code = k;  // the same values as the key codes
    else if (k >= Qt::Key_F1 && k <= Qt::Key_F24)
        code = VK_F1 + (k - Qt::Key_F1);
    else if (k == Qt::Key_Delete)
        code = VK_DELETE;
    else if (k == Qt::Key_Return || k == Qt::Key_Enter)
        code = VK_RETURN;
    else if (k == Qt::Key_Escape)
        code = VK_ESCAPE;
    if (!code) return 0;
    const auto m = e.modifiers();
    if (m & Qt::AltModifier) code += kKeyAlt;
    if (m & Qt::ControlModifier) code += kKeyCtrl;
    if (m & Qt::ShiftModifier) code += kKeyShift;
    return code;
}

KeyFilter::KeyFilter(QWidget* window, std::function<bool(int)> handler)
    : QObject(window), pWindow_(window), handler_(std::move(handler)) {
    qApp->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject* o, QEvent* e) {
    if (e->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w->window() != pWindow_) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    // Repeats go to the controls only.
    if (k->isAutoRepeat()) return false;
    const int code = KeyCodeWithModifiers(*k);
    return code != 0 && handler_(code);
}

}  // namespace sonvex
