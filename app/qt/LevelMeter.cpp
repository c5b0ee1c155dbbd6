#include "app/qt/LevelMeter.h"

#include <QPainter>
#include <algorithm>

namespace sonvex {

namespace {

constexpr int kSegmentDb = 3;
constexpr int kSegments = (LevelMeter::kFullScale - LevelMeter::kFloor) / kSegmentDb;
constexpr int kSegmentWidth = 5;
constexpr int kBarHeight = 5;
constexpr int kGap = 1;

QString DbText(int level) {
    return level <= -127 ? QStringLiteral("-\u221e")
                         : QString::number(level - LevelMeter::kFullScale);
}

}  // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tr("Level meter"));
    Clear();
}

int LevelMeter::LitSegments(int level) {
    // A segment lights once the level reaches its lower end.
    return std::clamp((level - kFloor) / kSegmentDb + (level >= kFloor ? 1 : 0), 0, kSegments);
}

void LevelMeter::SetLevels(const LSoundLevels& levels) {
    const int left = levels.nCount > 0 ? levels.iLevel[0] : -127;
    const int right = levels.nCount > 1 ? levels.iLevel[1] : left;
    if (left == iLevel_[0] && right == iLevel_[1]) return;
    iLevel_[0] = left;
    iLevel_[1] = right;
    setToolTip(
        tr("Level: left %1 dB, right %2 dB (0 dB is full scale)").arg(DbText(left), DbText(right)));
    update();
}

void LevelMeter::Clear() {
    LSoundLevels silence;
    silence.nCount = 2;
    silence.iLevel[0] = silence.iLevel[1] = -127;
    SetLevels(silence);
}

QSize LevelMeter::sizeHint() const {
    return {2 + kSegments * (kSegmentWidth + kGap) - kGap + 2, 2 + 2 * kBarHeight + kGap + 2};
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    // A sunken well in the base colour, as an entry field is drawn.
    const QRect well =
        QRect(QPoint(0, 0), sizeHint()).translated(0, (height() - sizeHint().height()) / 2);
    p.fillRect(well, pal.color(QPalette::Base));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(well.adjusted(0, 0, -1, -1));
    QColor dark = pal.color(QPalette::WindowText);
    dark.setAlpha(28);
    const QColor green(0x3c, 0xa0, 0x3c), yellow(0xe0, 0xb0, 0x20), red(0xd8, 0x3a, 0x30);
    for (int c = 0; c < 2; ++c) {
        const int lit = LitSegments(iLevel_[c]);
        const int y = well.top() + 2 + c * (kBarHeight + kGap);
        for (int s = 0; s < kSegments; ++s) {
            const int from = kFloor + s * kSegmentDb;
            const QColor on = from >= kHot ? red : from >= kWarn ? yellow : green;
            p.fillRect(well.left() + 2 + s * (kSegmentWidth + kGap), y, kSegmentWidth, kBarHeight,
                       s < lit ? on : dark);
        }
    }
}

}  // namespace sonvex
