#include "shell/receive_view.h"
#include "shell/receive_view_parts.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>

namespace vantor {

using namespace receive_view;

// --- layout ----------------------------------------------------------------------------

qreal ReceiveView::layoutWidth() const {
    return std::max<qreal>(viewport()->width() - 2 * kMargin, 1);
}

void ReceiveView::dropLayouts() const {
    laid_.clear();
    laidChars_ = 0;
}

const ReceiveView::Laid& ReceiveView::laid(std::uint64_t line) const {
    const std::u16string_view text = text_.line(line);
    auto found = laid_.find(line);
    // A stored line only ever grows, and only while it is the last one.
    if (found != laid_.end() && found->second.length == text.size())
        return found->second;
    if (found != laid_.end())
        laidChars_ -= found->second.length + kLayoutCost;
    if (laidChars_ + text.size() + kLayoutCost > kMaxLaidChars)
        dropLayouts();
    Laid& entry = laid_[line];
    entry.length = text.size();
    laidChars_ += text.size() + kLayoutCost;
    entry.layout = std::make_unique<QTextLayout>(toQString(text), font(), viewport());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(kTabStop);
    entry.layout->setTextOption(option);
    entry.layout->setCacheEnabled(true);
    entry.layout->beginLayout();
    qreal y = 0;
    for (QTextLine row = entry.layout->createLine(); row.isValid();
         row = entry.layout->createLine()) {
        row.setLineWidth(layoutWidth());
        row.setPosition(QPointF(0, y));
        y += row.height();
    }
    entry.layout->endLayout();
    entry.height = y > 0 ? y : QFontMetricsF(font()).height();
    return entry;
}

int ReceiveView::rows(std::uint64_t line) const {
    return std::max(laid(line).layout->lineCount(), 1);
}

int ReceiveView::pageRows() const {
    const qreal row = QFontMetricsF(font()).height();
    return std::max(int((viewport()->height() - 2 * kMargin) / row), 1);
}

// The row at the top when the last row of the text is at the bottom.
ReceiveView::Row ReceiveView::lastPageTop() const {
    qreal room = viewport()->height() - 2 * kMargin;
    for (std::uint64_t line = text_.endLine(); line-- > text_.firstLine();) {
        const Laid& l = laid(line);
        if (l.height <= room) {
            room -= l.height;
            continue;
        }
        const int count = l.layout->lineCount();
        for (int r = 0; r < count; ++r) {
            if (l.height - l.layout->lineAt(r).y() <= room)
                return {line, r};
        }
        // Not even one row fits.
        return line + 1 < text_.endLine() ? Row{line + 1, 0} : Row{line, std::max(count - 1, 0)};
    }
    return {text_.firstLine(), 0};
}

ReceiveView::Row ReceiveView::topRow() const {
    if (follow_ || top_.line >= text_.endLine())
        return lastPageTop();
    if (top_.line < text_.firstLine())
        return {text_.firstLine(), 0};
    return {top_.line, std::min(top_.row, rows(top_.line) - 1)};
}

std::vector<ReceiveView::Placed> ReceiveView::placed() const {
    std::vector<Placed> out;
    const qreal height = viewport()->height();
    if (follow_) {
        qreal y = height - kMargin;
        for (std::uint64_t line = text_.endLine(); line-- > text_.firstLine() && y > 0;) {
            y -= laid(line).height;
            out.push_back({line, y});
        }
        std::reverse(out.begin(), out.end());
        // Text shorter than the pane starts at the top, as in any text box.
        if (!out.empty() && out.front().line == text_.firstLine() && out.front().y > kMargin) {
            const qreal shift = out.front().y - kMargin;
            for (Placed& p : out)
                p.y -= shift;
        }
        return out;
    }
    const Row top = topRow();
    qreal y = kMargin - laid(top.line).layout->lineAt(top.row).y();
    for (std::uint64_t line = top.line; line < text_.endLine() && y < height; ++line) {
        out.push_back({line, y});
        y += laid(line).height;
    }
    return out;
}

// --- scrolling -------------------------------------------------------------------------

void ReceiveView::scheduleRefresh() {
    if (std::exchange(refreshPending_, true))
        return;
    // Once per turn of the event loop, however many pieces of text came in it.
    QMetaObject::invokeMethod(this, &ReceiveView::refresh, Qt::QueuedConnection);
    viewport()->update();
}

void ReceiveView::refresh() {
    refreshPending_ = false;
    const Row last = lastPageTop();
    if (!follow_ && !(topRow() < last))
        follow_ = true;
    QScrollBar* bar = verticalScrollBar();
    settingBar_ = true;
    bar->setRange(0, int(last.line - text_.firstLine()));
    bar->setPageStep(pageRows());
    bar->setValue(follow_ ? bar->maximum() : int(topRow().line - text_.firstLine()));
    settingBar_ = false;
    viewport()->update();
}

void ReceiveView::scrollTo(Row top) {
    if (!(top < lastPageTop())) {
        follow();
        return;
    }
    follow_ = false;
    top_ = top;
    refresh();
}

void ReceiveView::follow() {
    follow_ = true;
    refresh();
}

void ReceiveView::scrollRows(int n) {
    Row t = topRow();
    t.row += n;
    while (t.row < 0 && t.line > text_.firstLine())
        t.row += rows(--t.line);
    while (t.row >= rows(t.line) && t.line + 1 < text_.endLine())
        t.row -= rows(t.line++);
    t.row = std::clamp(t.row, 0, rows(t.line) - 1);
    scrollTo(t);
}

void ReceiveView::scrollContentsBy(int, int) {
    if (settingBar_)
        return;
    const QScrollBar* bar = verticalScrollBar();
    if (bar->value() >= bar->maximum())
        return follow();
    // The bar's range may be a turn of the event loop behind the text.
    const Row last = lastPageTop();
    const std::uint64_t line = text_.firstLine() + std::uint64_t(bar->value());
    if (line >= last.line)
        return follow();
    follow_ = false;
    top_ = {line, 0};
    viewport()->update();
}

void ReceiveView::wheelEvent(QWheelEvent* event) {
    // Touchpads and smooth wheels send parts of a notch; they add up to rows.
    wheelRest_ += event->angleDelta().y() * QApplication::wheelScrollLines();
    const int rows = wheelRest_ / 120;
    wheelRest_ -= rows * 120;
    if (rows != 0)
        scrollRows(-rows);
    event->accept();
}

ReceiveView::Row ReceiveView::rowOf(std::uint64_t offset) const {
    const std::uint64_t line = text_.lineAt(offset);
    const QTextLayout* layout = laid(line).layout.get();
    const QTextLine row = layout->lineForTextPosition(int(offset - text_.lineStart(line)));
    return {line, row.isValid() ? row.lineNumber() : std::max(layout->lineCount() - 1, 0)};
}

void ReceiveView::showOffset(std::uint64_t offset) {
    const Row target = rowOf(offset);
    const Row top = topRow();
    if (target < top)
        return scrollTo(target);
    // Below the last whole row: bring it to the bottom.
    Row bottom = top;
    bottom.row += pageRows() - 1;
    while (bottom.row >= rows(bottom.line) && bottom.line + 1 < text_.endLine())
        bottom.row -= rows(bottom.line++);
    if (!(bottom < target))
        return;
    top_ = target;
    follow_ = false;
    scrollRows(1 - pageRows());
}

// --- painting --------------------------------------------------------------------------

void ReceiveView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    QTextCharFormat selected;
    selected.setBackground(palette().brush(group, QPalette::Highlight));
    selected.setForeground(palette().brush(group, QPalette::HighlightedText));
    const std::uint64_t from = selectionStart(), to = selectionEnd();
    for (const Placed& p : placed()) {
        const Laid& l = laid(p.line);
        const std::uint64_t start = text_.lineStart(p.line), stop = start + l.length;
        QList<QTextLayout::FormatRange> ranges;
        if (from < to && from <= stop && to > start) {
            const std::uint64_t a = std::max(from, start), b = std::min(to, stop);
            if (b > a)
                ranges.append({int(a - start), int(b - a), selected});
            // A selected line break shows as a selected blank at the end of its row.
            if (to > stop && p.line + 1 < text_.endLine() && text_.lineStart(p.line + 1) > stop) {
                const QTextLine last = l.layout->lineAt(l.layout->lineCount() - 1);
                const QRectF blank(kMargin + last.naturalTextWidth(), p.y + last.y(),
                                   QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' ')),
                                   last.height());
                painter.fillRect(blank, selected.background());
            }
        }
        l.layout->draw(&painter, QPointF(kMargin, p.y), ranges);
    }
}

void ReceiveView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    dropLayouts(); // the rows wrap at the new width
    refresh();
}

void ReceiveView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        dropLayouts();
        refresh();
    }
}

void ReceiveView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update(); // the selection's colour
}

void ReceiveView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    dragging_ = false;
    dragScroll_.stop();
    viewport()->update();
}

} // namespace vantor
