#include "app/qt/Icons.h"

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

QIcon ToolIcon(const char* themeName) {
    const QString name = QString::fromLatin1(themeName);
    return QIcon::fromTheme(name, Bundled(name));
}

}  // namespace sonvex
