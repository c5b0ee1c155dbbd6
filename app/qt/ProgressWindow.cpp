#include "app/qt/ProgressWindow.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/Icons.h"

namespace sonvex {

QtProgressWindow::QtProgressWindow(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    setWindowIcon(AppIcon());
    setModal(false);
    auto* v = new QVBoxLayout(this);
    for (auto*& l : pLines_) {
        l = new QLabel(this);
        l->setTextFormat(Qt::PlainText);
        l->setMinimumWidth(fontMetrics().averageCharWidth() * 60);
        // Long paths are shortened in the middle by SetLine, never wrapped.
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        v->addWidget(l);
    }
    pBar_ = new QProgressBar(this);
    pBar_->setRange(0, 100);
    pBar_->setValue(0);
    v->addWidget(pBar_);
    auto* h = new QHBoxLayout;
    auto* name = new QLabel(tr("Sonvex"), this);
    name->setEnabled(false);
    h->addWidget(name);
    h->addStretch();
    pCancel_ = new QPushButton(tr("Cancel"), this);
    connect(pCancel_, &QPushButton::clicked, this, &QtProgressWindow::reject);
    h->addWidget(pCancel_);
    v->addLayout(h);
}

void QtProgressWindow::SetLine(int line, const QString& text) {
    QLabel* l = pLines_[line];
    l->setToolTip(text);
    // Each line of the text (one per file of a parallel batch) is shortened on its own.
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& s : lines) s = l->fontMetrics().elidedText(s, Qt::ElideMiddle, l->width());
    l->setText(lines.join(QLatin1Char('\n')));
}

void QtProgressWindow::SetPercent(int percent) {
    pBar_->setValue(std::clamp(percent, 0, 100));
}

int QtProgressWindow::Percent() const {
    return pBar_->value();
}

QString QtProgressWindow::Line(int line) const {
    return pLines_[line]->toolTip();
}

void QtProgressWindow::reject() {
    bCancelled_ = true;
    hide();
}

}  // namespace sonvex
