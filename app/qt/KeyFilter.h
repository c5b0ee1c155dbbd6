// Keys of a window as key codes with modifier bits (app/KeyTable.h): a filter that offers
// every key press in the window to a handler before the controls see it.
#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;
class QWidget;

namespace sonvex {

// The key code of a Qt key event plus the modifier bits; 0 for keys without a code.
int KeyCodeWithModifiers(const QKeyEvent& e);

class KeyFilter : public QObject {
    Q_OBJECT
public:
    // handler(code) returns whether it consumed the key.
    KeyFilter(QWidget* window, std::function<bool(int)> handler);
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    QWidget* pWindow_;
    std::function<bool(int)> handler_;
};

}  // namespace sonvex
