#include "app/qt/PlayStatus.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>

#include "app/qt/LevelMeter.h"

namespace sonvex {

namespace {
constexpr int kNameWidth = 260;  // pixels; longer names are shortened in the middle
constexpr int kMsPerHour = 3600000;
}  // namespace

QString PlayTimeText(int32_t ms, bool bHours) {
    const int32_t s = std::max<int32_t>(ms, 0) / 1000;
    const QChar zero('0');
    if (bHours)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, zero)
            .arg(s % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, zero);
}

PlayStatus::PlayStatus(const MainDialog& dlg, QWidget* parent) : QWidget(parent), dlg_(dlg) {
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(8);
    pText_ = new QLabel(this);
    pMeter_ = new LevelMeter(this);
    h->addWidget(pText_, 1);
    h->addWidget(pMeter_);
    hide();
}

QString PlayStatus::Text() const {
    return pText_->text();
}

void PlayStatus::OnPlay(int) {
    const int row = dlg_.PlayingRow();
    const std::string path = row >= 0 && row < dlg_.RowCount() ? dlg_.RowPath(row) : std::string();
    szName_ = pText_->fontMetrics().elidedText(QFileInfo(QString::fromStdString(path)).fileName(),
                                               Qt::ElideMiddle, kNameWidth);
    nLengthMs_ = dlg_.PlayingLengthMs();
    // Wide enough for any position, so the text does not shift while it counts.
    const bool bHours = nLengthMs_ >= kMsPerHour;
    QString widest = PlayTimeText(nLengthMs_, bHours);
    for (QChar& c : widest)
        if (c.isDigit()) c = QLatin1Char('0');
    pText_->setMinimumWidth(pText_->fontMetrics().horizontalAdvance(
        tr("Playing %1  %2 / %3").arg(szName_, widest, PlayTimeText(nLengthMs_, bHours))));
    pMeter_->Clear();
    OnPosition(0, 0);
    show();
    if (onChanged_) onChanged_();
}

void PlayStatus::OnStop(int) {
    hide();
    pText_->clear();
    pMeter_->Clear();
    if (onChanged_) onChanged_();
}

void PlayStatus::OnPosition(int, int32_t ms) {
    const bool bHours = nLengthMs_ >= kMsPerHour;
    pText_->setText(tr("Playing %1  %2 / %3")
                        .arg(szName_, PlayTimeText(ms, bHours), PlayTimeText(nLengthMs_, bHours)));
}

void PlayStatus::OnLevels(const LSoundLevels& levels, int) {
    pMeter_->SetLevels(levels);
}

}  // namespace sonvex
