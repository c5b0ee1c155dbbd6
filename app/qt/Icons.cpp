#include "app/qt/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <QString>

// Resources of a static library are registered by hand.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace sonvex {

namespace {
QIcon Bundled(const QString& name) {
    static const bool bInit = (InitIconResources(), true);
    (void)bInit;
    return QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
}
}  // namespace

QIcon AppIcon() {
    return QIcon::fromTheme(QStringLiteral("sonvex"), Bundled(QStringLiteral("sonvex")));
}

QIcon StatusIcon(int status) {
    static const char* const kNames[] = {"status-waiting", "status-converting", "status-converted",
                                         "status-failed"};
    if (status < 0 || status > 3) status = 0;
    return Bundled(QString::fromLatin1(kNames[status]));
}

QIcon PlayingIcon() {
    // A loudspeaker sounding (unlike the converting arrow): blue on a plain row, white on a
    // selected one.
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32})
            for (auto mode : {QIcon::Normal, QIcon::Selected}) {
                const QColor ink =
                    mode == QIcon::Selected ? QColor(Qt::white) : QColor(0x2b, 0x6c, 0xb0);
                QPixmap pm(size, size);
                pm.fill(Qt::transparent);
                QPainter p(&pm);
                p.setRenderHint(QPainter::Antialiasing);
                p.scale(size / 16.0, size / 16.0);
                QPainterPath cone;
                cone.moveTo(1.5, 5.5);
                cone.lineTo(4.5, 5.5);
                cone.lineTo(8, 2.5);
                cone.lineTo(8, 13.5);
                cone.lineTo(4.5, 10.5);
                cone.lineTo(1.5, 10.5);
                cone.closeSubpath();
                p.fillPath(cone, ink);
                p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap));
                p.setBrush(Qt::NoBrush);
                p.drawArc(QRectF(5, 5, 6, 6), -55 * 16, 110 * 16);
                p.drawArc(QRectF(2.5, 2.5, 11, 11), -55 * 16, 110 * 16);
                p.end();
                i.addPixmap(pm, mode);
            }
        return i;
    }();
    return icon;
}

QIcon ToolIcon(const char* themeName) {
    const QString name = QString::fromLatin1(themeName);
    return QIcon::fromTheme(name, Bundled(name));
}

}  // namespace sonvex
