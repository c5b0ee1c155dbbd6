// The splash window shown at start and the about box: the program's picture, its name in bold
// and a few lines of text.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QWidget>

namespace sonvex {

// Paints the picture, the name and the lines.
class SplashAboutPainter : public QWidget {
    Q_OBJECT
public:
    explicit SplashAboutPainter(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    static QStringList Lines();

protected:
    void paintEvent(QPaintEvent*) override;
};

// Centred on the screen; closes itself after ms or on a click.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(int ms = 7000);

protected:
    void mousePressEvent(QMouseEvent*) override;
};

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace sonvex
