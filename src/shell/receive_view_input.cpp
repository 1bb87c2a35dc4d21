#include "shell/receive_view.h"
#include "shell/receive_view_parts.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <functional>

namespace vantor {

using namespace receive_view;

// --- the caret, the selection, the mouse and the keys ------------------------------------

std::uint64_t ReceiveView::offsetAt(QPoint point) const {
    const std::vector<Placed> lines = placed();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Laid& l = laid(lines[i].line);
        if (point.y() >= lines[i].y + l.height && i + 1 < lines.size())
            continue;
        const qreal y = point.y() - lines[i].y;
        int r = 0;
        while (r + 1 < l.layout->lineCount() && y >= l.layout->lineAt(r + 1).y())
            ++r;
        const int position =
            l.layout->lineCount() > 0 ? l.layout->lineAt(r).xToCursor(point.x() - kMargin) : 0;
        return text_.lineStart(lines[i].line) + std::uint64_t(position);
    }
    return text_.end();
}

QRect ReceiveView::rectAt(std::uint64_t offset) const {
    for (const Placed& p : placed()) {
        const Laid& l = laid(p.line);
        const std::uint64_t start = text_.lineStart(p.line);
        if (offset < start || offset > start + l.length || l.layout->lineCount() == 0)
            continue;
        // Where a long line was split, the offset is the next stored line's first.
        if (offset == start + l.length && p.line + 1 < text_.endLine() &&
            text_.lineStart(p.line + 1) == offset)
            continue;
        const int local = int(offset - start);
        QTextLine row = l.layout->lineForTextPosition(local);
        if (!row.isValid())
            row = l.layout->lineAt(l.layout->lineCount() - 1);
        const QString text = l.layout->text();
        const QChar c = local < text.size() ? text[local] : QLatin1Char(' ');
        return QRectF(kMargin + row.cursorToX(local), p.y + row.y(),
                      QFontMetricsF(font()).horizontalAdvance(c), row.height())
            .toAlignedRect();
    }
    return QRect();
}

std::uint64_t ReceiveView::stepChar(std::uint64_t offset, int n) const {
    std::uint64_t line = text_.lineAt(offset);
    int local = int(offset - text_.lineStart(line));
    const int length = int(laid(line).length);
    if (n > 0 && local >= length) // over the break; a split point belongs to the next line
        return line + 1 < text_.endLine() ? text_.lineStart(line + 1) : offset;
    if (n < 0 && local == 0) {
        if (line == text_.firstLine())
            return offset;
        --line;
        local = int(laid(line).length);
        if (text_.lineStart(line) + std::uint64_t(local) < offset)
            return offset - 1; // over the break
    }
    const QTextLayout* layout = laid(line).layout.get();
    const int moved =
        n > 0 ? layout->nextCursorPosition(local) : layout->previousCursorPosition(local);
    return text_.lineStart(line) + std::uint64_t(moved);
}

std::uint64_t ReceiveView::stepRows(std::uint64_t offset, int n) const {
    Row r = rowOf(offset);
    const QTextLayout* layout = laid(r.line).layout.get();
    const qreal x = layout->lineAt(r.row).cursorToX(int(offset - text_.lineStart(r.line)));
    r.row += n;
    while (r.row < 0 && r.line > text_.firstLine())
        r.row += rows(--r.line);
    while (r.row >= rows(r.line) && r.line + 1 < text_.endLine())
        r.row -= rows(r.line++);
    if (r.row < 0)
        return text_.begin();
    if (r.row >= rows(r.line))
        return text_.end();
    const QTextLayout* target = laid(r.line).layout.get();
    return text_.lineStart(r.line) + std::uint64_t(target->lineAt(r.row).xToCursor(x));
}

void ReceiveView::moveCaret(std::uint64_t offset, bool keepAnchor) {
    caret_ = std::clamp(offset, text_.begin(), text_.end());
    if (!keepAnchor)
        anchor_ = caret_;
    showOffset(caret_);
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent event(this, int(caretPosition()));
        QAccessible::updateAccessibility(&event);
    }
}

void ReceiveView::selectWordAt(std::uint64_t offset) {
    const std::uint64_t line = text_.lineAt(offset);
    const std::u16string_view text = text_.line(line);
    std::size_t a = std::size_t(offset - text_.lineStart(line)), b = std::min(a + 1, text.size());
    if (b < text.size() && QChar::isLowSurrogate(text[b]))
        ++b; // both halves of a pair
    if (a < text.size() && isWordCharacter(text[a])) {
        while (a > 0 && isWordCharacter(text[a - 1]))
            --a;
        while (b < text.size() && isWordCharacter(text[b]))
            ++b;
    }
    anchor_ = text_.lineStart(line) + a;
    caret_ = text_.lineStart(line) + b;
    viewport()->update();
}

void ReceiveView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (!selectByKey(event) && !scrollByKey(event))
        return QAbstractScrollArea::keyPressEvent(event);
    event->accept();
}

// The keys that extend the selection, each with where it takes the caret.
bool ReceiveView::selectByKey(const QKeyEvent* event) {
    using K = QKeySequence;
    const std::uint64_t at = caret();
    const std::uint64_t line = text_.lineAt(at);
    const std::pair<K::StandardKey, std::function<std::uint64_t()>> keys[] = {
        {K::SelectNextChar, [&] { return stepChar(at, 1); }},
        {K::SelectPreviousChar, [&] { return stepChar(at, -1); }},
        {K::SelectNextLine, [&] { return stepRows(at, 1); }},
        {K::SelectPreviousLine, [&] { return stepRows(at, -1); }},
        {K::SelectNextPage, [&] { return stepRows(at, pageRows()); }},
        {K::SelectPreviousPage, [&] { return stepRows(at, -pageRows()); }},
        {K::SelectStartOfLine, [&] { return text_.lineStart(line); }},
        {K::SelectEndOfLine, [&] { return text_.lineStart(line) + text_.line(line).size(); }},
        {K::SelectStartOfDocument, [&] { return text_.begin(); }},
        {K::SelectEndOfDocument, [&] { return text_.end(); }},
    };
    for (const auto& [key, to] : keys) {
        if (event->matches(key)) {
            moveCaret(to(), true);
            return true;
        }
    }
    return false;
}

// The keys that move the view and leave the caret, as in a terminal's scrollback.
bool ReceiveView::scrollByKey(const QKeyEvent* event) {
    using K = QKeySequence;
    const std::pair<K::StandardKey, std::function<void()>> keys[] = {
        {K::MoveToNextLine, [&] { scrollRows(1); }},
        {K::MoveToPreviousLine, [&] { scrollRows(-1); }},
        {K::MoveToNextPage, [&] { scrollRows(pageRows()); }},
        {K::MoveToPreviousPage, [&] { scrollRows(-pageRows()); }},
        {K::MoveToStartOfDocument,
         [&] {
             scrollTo({text_.firstLine(), 0});
         }},
        {K::MoveToEndOfDocument, [&] { follow(); }},
    };
    for (const auto& [key, act] : keys) {
        if (event->matches(key)) {
            act();
            return true;
        }
    }
    return false;
}

void ReceiveView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    moveCaret(offsetAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
    dragging_ = true;
}

void ReceiveView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return;
    dragAt_ = event->position().toPoint();
    // Above or below the pane the text scrolls under the pointer while it is held there.
    if (dragAt_.y() < 0 || dragAt_.y() >= viewport()->height())
        dragScroll_.start(kDragScrollMs, this);
    else
        dragScroll_.stop();
    caret_ = offsetAt(dragAt_);
    viewport()->update();
}

void ReceiveView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != dragScroll_.timerId())
        return QAbstractScrollArea::timerEvent(event);
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        // The release went elsewhere, to a box that opened meanwhile.
        dragging_ = false;
        dragScroll_.stop();
        return;
    }
    scrollRows(dragAt_.y() < 0 ? -1 : 1);
    caret_ = offsetAt(dragAt_);
    viewport()->update();
}

void ReceiveView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mouseReleaseEvent(event);
    dragging_ = false;
    dragScroll_.stop();
    copyToSelectionClipboard();
}

void ReceiveView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mouseDoubleClickEvent(event);
    selectWordAt(offsetAt(event->position().toPoint()));
    copyToSelectionClipboard();
}

void ReceiveView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("&Copy"), this, [this] { copy(); });
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(selectionEnd() > selectionStart());
    menu.addSeparator();
    QAction* all = menu.addAction(tr("Select All"), this, [this] { selectAll(); });
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(characterCount() > 0);
    menu.exec(event->globalPos());
}

} // namespace vantor
