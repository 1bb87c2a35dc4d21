#include "shell/progress_bar.h"

#include <QPainter>

namespace vantor {

void ProgressBar::setText(const QString& text) {
    text_ = text;
    update();
}

void ProgressBar::setValue(qint64 value) {
    value_ = value;
    update();
}

void ProgressBar::setMaximum(qint64 maximum) {
    maximum_ = maximum;
    update();
}

double ProgressBar::fraction() const {
    if (maximum_ <= 0)
        return value_ > 0 ? 1.0 : 0.0;
    return qBound(0.0, static_cast<double>(value_) / static_cast<double>(maximum_), 1.0);
}

void ProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(frame, palette().base());
    QRect filled = frame.adjusted(1, 1, 0, 0);
    filled.setWidth(static_cast<int>(filled.width() * fraction()));
    painter.fillRect(filled, QColor(0, 120, 215));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(frame, Qt::AlignCenter, text_);
}

} // namespace vantor
