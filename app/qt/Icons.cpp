#include "app/qt/Icons.h"

#include <QPainter>
#include <QPainterPath>
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
    // A play mark in a disc: blue on a plain row, inverted on a selected one.
    static const QIcon icon = [] {
        const QColor blue(0x2b, 0x6c, 0xb0);
        QIcon i;
        for (int size : {16, 24, 32})
            for (auto mode : {QIcon::Normal, QIcon::Selected}) {
                QPixmap pm(size, size);
                pm.fill(Qt::transparent);
                QPainter p(&pm);
                p.setRenderHint(QPainter::Antialiasing);
                p.scale(size / 16.0, size / 16.0);
                p.setPen(Qt::NoPen);
                p.setBrush(mode == QIcon::Selected ? QColor(Qt::white) : blue);
                p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
                QPainterPath play;
                play.moveTo(6.2, 4.6);
                play.lineTo(11.6, 8);
                play.lineTo(6.2, 11.4);
                play.closeSubpath();
                p.fillPath(play, mode == QIcon::Selected ? blue : QColor(Qt::white));
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
