#include "shell/port_box.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

namespace vantor {

namespace {
constexpr int kArrowWidth = 10;
// QLineEdit keeps this much room inside its contents on either side of the text.
constexpr int kTextMargin = 2;
} // namespace

PortBox::PortBox(QWidget* parent) : QLineEdit(parent), arrow_(new QToolButton(this)) {
    arrow_->setArrowType(Qt::DownArrow);
    arrow_->setAutoRaise(true);
    arrow_->setFocusPolicy(Qt::NoFocus);
    arrow_->setCursor(Qt::ArrowCursor);
    setTextMargins(0, 0, kArrowWidth, 0);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& name) {
        setToolTip(name);
        setAccessibleDescription(name);
    });
}

void PortBox::setArrowAction(QAction* action) {
    arrow_->setDefaultAction(action);
}

QRect PortBox::contents() const {
    QStyleOptionFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
}

QRect PortBox::textRect() const {
    return contents().marginsRemoved(textMargins()).adjusted(kTextMargin, 0, -kTextMargin, 0);
}

QString PortBox::shownText() const {
    if (hasFocus())
        return text();
    return fontMetrics().elidedText(text(), Qt::ElideLeft, textRect().width());
}

void PortBox::paintEvent(QPaintEvent* event) {
    const QString shown = shownText();
    if (shown == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(textRect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

void PortBox::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    const QRect c = contents();
    arrow_->setGeometry(c.right() - kArrowWidth + 1, c.top(), kArrowWidth, c.height());
}

} // namespace vantor
