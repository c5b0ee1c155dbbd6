#include "app/qt/SplashAbout.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "app/qt/Icons.h"
#include "platform/desktop/Desktop.h"
#include "support/WebAddresses.h"

namespace sonvex {

namespace {
constexpr int kPicture = 96;
constexpr int kMargin = 16;
}  // namespace

SplashAboutPainter::SplashAboutPainter(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
}

QStringList SplashAboutPainter::Lines() {
    return {tr("Audio file converter"), tr("Version %1").arg(QStringLiteral(SONVEX_VERSION)),
            tr("WAV, MP3, AU, AIFF, GSM, VOX, raw, Ogg, FLAC, AAC and M4A"),
            tr("Copyright Verrowave")};
}

QSize SplashAboutPainter::sizeHint() const {
    int w = 0;
    for (const QString& l : Lines()) w = std::max(w, fontMetrics().horizontalAdvance(l));
    const int h = 16 + 8 + fontMetrics().height() * static_cast<int>(Lines().size());
    return {kPicture + 3 * kMargin + w, std::max(kPicture, h) + 2 * kMargin};
}

void SplashAboutPainter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    AppIcon().paint(&p, QRect(kMargin, kMargin, kPicture, kPicture));
    const int x = kPicture + 2 * kMargin;
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(16);
    p.setFont(bold);
    p.drawText(QPoint(x, kMargin + 16), tr("Sonvex"));
    p.setFont(font());
    int y = kMargin + 16 + 8;
    for (const QString& l : Lines()) {
        y += fontMetrics().height();
        p.drawText(QPoint(x, y), l);
    }
}

SplashWindow::SplashWindow(int ms) : QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(2, 2, 2, 2);
    v->addWidget(new SplashAboutPainter(this));
    adjustSize();
    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    QTimer::singleShot(ms, this, &QWidget::close);
}

void SplashWindow::mousePressEvent(QMouseEvent*) {
    close();
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Sonvex"));
    setWindowIcon(AppIcon());
    auto* v = new QVBoxLayout(this);
    v->addWidget(new SplashAboutPainter(this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* web = buttons->addButton(tr("Go to &Web Page..."), QDialogButtonBox::ActionRole);
    connect(web, &QPushButton::clicked, this, [] { OpenUrl(std::string(kMakerWebSite)); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    v->addWidget(buttons);
    v->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace sonvex
