#include "shell/indicator.h"

#include <QPainter>

namespace vantor {

Indicator::Indicator(QWidget* parent) : QWidget(parent), fill_(255, 255, 0) {}

void Indicator::setFillColor(const QColor& color) {
    if (color == fill_)
        return;
    fill_ = color;
    update();
}

void Indicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill_);
    const int side = qMin(width(), height()) - 2;
    painter.drawEllipse(QRect((width() - side) / 2, (height() - side) / 2, side, side));
}

} // namespace vantor
