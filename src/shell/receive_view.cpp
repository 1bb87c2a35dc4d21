#include "shell/receive_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>

namespace vantor {

namespace {
// As a plain text box lays out its text: a margin round it and tabs every 80 pixels.
constexpr qreal kMargin = 4;
constexpr qreal kTabStop = 80;
// Layouts kept, in characters: a laid-out character costs tens of bytes, so this is
// kept to a few screens' worth. A flood lays out each line it shows once. A layout also
// costs something of its own, counted as this many characters, so that a flood of empty
// lines is bounded too.
constexpr std::size_t kMaxLaidChars = 256 * 1024;
constexpr std::size_t kLayoutCost = 256;
constexpr int kDragScrollMs = 50;

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

bool isWordCharacter(char16_t c) {
    return QChar(c).isLetterOrNumber() || c == u'_';
}

// One stored line as a text of its own, so that Qt's rules for characters, words and
// sentences look at that line only, never at megabytes of text.
class LineText : public QAccessibleTextInterface {
public:
    explicit LineText(QString text) : text_(std::move(text)) {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override { return text_.mid(start, end - start); }
    int characterCount() const override { return int(text_.size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = *end = 0;
        return QString();
    }

private:
    QString text_;
};

enum class Side { Before, At, After };

} // namespace

// What a screen reader reads: the kept text, the caret and the selection, through the
// same text interface as Qt's own text boxes offer.
class ReceiveViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ReceiveViewAccessible(ReceiveView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = s.multiLine = s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? view()->toPlainText() : QAccessibleWidget::text(t);
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index == 0 && selectionCount() == 1) {
            *start = relative(view()->selectionStart());
            *end = relative(view()->selectionEnd());
        }
    }
    int selectionCount() const override {
        return view()->selectionEnd() > view()->selectionStart() ? 1 : 0;
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { view()->setCaretPosition(view()->caretPosition()); }
    void setSelection(int, int start, int end) override {
        view()->setCaretPosition(start);
        view()->setCaretPosition(end, true);
    }
    int cursorPosition() const override { return int(view()->caretPosition()); }
    void setCursorPosition(int position) override { view()->setCaretPosition(position); }
    QString text(int start, int end) const override { return view()->text(start, end); }
    int characterCount() const override { return int(view()->characterCount()); }
    QRect characterRect(int offset) const override {
        const QRect r = view()->characterRect(offset);
        return r.isValid() ? QRect(view()->viewport()->mapToGlobal(r.topLeft()), r.size()) : r;
    }
    int offsetAtPoint(const QPoint& point) const override {
        return relative(view()->offsetAt(view()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int start, int) override { view()->showOffset(view()->absolute(start)); }
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return QString();
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        return around(offset, type, Side::Before, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        return around(offset, type, Side::At, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        return around(offset, type, Side::After, start, end);
    }

private:
    // A reader asks for the line at the caret whenever it moves, so this looks at one
    // stored line, not at the whole text.
    QString around(int offset, QAccessible::TextBoundaryType type, Side side, int* start,
                   int* end) const {
        *start = *end = -1;
        const core::PaneText& text = view()->text_;
        if (type == QAccessible::NoBoundary) {
            if (side != Side::At)
                return QString();
            *start = 0;
            *end = characterCount();
            return view()->toPlainText();
        }
        std::uint64_t line = text.lineAt(view()->absolute(offset));
        if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) {
            if (side == Side::Before && line-- == text.firstLine())
                return QString();
            if (side == Side::After && ++line == text.endLine())
                return QString();
            *start = relative(text.lineStart(line));
            *end = *start + int(text.line(line).size());
            return toQString(text.line(line));
        }
        const LineText local(toQString(text.line(line)));
        const int at = int(view()->absolute(offset) - text.lineStart(line));
        int from = -1, to = -1;
        const QString found = side == Side::Before ? local.textBeforeOffset(at, type, &from, &to)
                              : side == Side::At   ? local.textAtOffset(at, type, &from, &to)
                                                   : local.textAfterOffset(at, type, &from, &to);
        if (from >= 0) {
            *start = relative(text.lineStart(line)) + from;
            *end = relative(text.lineStart(line)) + to;
        }
        return found;
    }

    ReceiveView* view() const { return static_cast<ReceiveView*>(widget()); }
    int relative(std::uint64_t offset) const { return int(offset - view()->text_.begin()); }
};

namespace {
QAccessibleInterface* accessibleView(const QString& key, QObject* object) {
    if (key == QLatin1String(ReceiveView::staticMetaObject.className()) && object)
        return new ReceiveViewAccessible(static_cast<ReceiveView*>(object));
    return nullptr;
}
} // namespace

ReceiveView::ReceiveView(QWidget* parent, std::size_t limit)
    : QAbstractScrollArea(parent), text_(limit) {
    static const bool factory = (QAccessible::installFactory(accessibleView), true);
    Q_UNUSED(factory);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // lines wrap at the width
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
}

ReceiveView::~ReceiveView() = default;

void ReceiveView::append(QStringView text) {
    if (text.isEmpty())
        return;
    const std::uint64_t oldBegin = text_.begin(), oldEnd = text_.end();
    text_.append({text.utf16(), std::size_t(text.size())});
    if (caret_ >= oldEnd)
        caret_ = text_.end();
    if (anchor_ >= oldEnd)
        anchor_ = text_.end();
    afterChange(oldBegin, oldEnd);
}

void ReceiveView::setPlainText(QStringView text) {
    const QString old = QAccessible::isActive() ? toPlainText() : QString();
    text_.replace({text.utf16(), std::size_t(text.size())});
    caret_ = anchor_ = text_.begin();
    follow_ = false;
    top_ = {text_.firstLine(), 0};
    dropLayouts();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, 0, old, toPlainText());
        QAccessible::updateAccessibility(&event);
    }
    emit changed();
    refresh();
}

void ReceiveView::clear() {
    setPlainText({});
}

void ReceiveView::moveCaretToEnd() {
    caret_ = anchor_ = text_.end();
    follow_ = true;
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent event(this, int(caretPosition()));
        QAccessible::updateAccessibility(&event);
    }
    scheduleRefresh();
}

void ReceiveView::afterChange(std::uint64_t oldBegin, std::uint64_t oldEnd) {
    if (QAccessible::isActive()) {
        if (text_.begin() > oldBegin) {
            QAccessibleTextRemoveEvent removed(this, 0, toQString(text_.droppedSince(oldBegin)));
            QAccessible::updateAccessibility(&removed);
        }
        const std::uint64_t from = std::max(oldEnd, text_.begin());
        QAccessibleTextInsertEvent inserted(this, int(from - text_.begin()),
                                            toQString(text_.text(from, text_.end())));
        QAccessible::updateAccessibility(&inserted);
    }
    emit changed();
    scheduleRefresh();
}

QString ReceiveView::toPlainText() const {
    return toQString(text_.text(text_.begin(), text_.end()));
}

std::uint64_t ReceiveView::absolute(qint64 position) const {
    return text_.begin() + std::uint64_t(std::clamp<qint64>(position, 0, characterCount()));
}

QString ReceiveView::text(qint64 from, qint64 to) const {
    return toQString(text_.text(absolute(from), absolute(to)));
}

qint64 ReceiveView::characterCount() const {
    return qint64(text_.end() - text_.begin());
}

qint64 ReceiveView::caretPosition() const {
    return qint64(caret() - text_.begin());
}

void ReceiveView::setCaretPosition(qint64 position, bool keepAnchor) {
    moveCaret(absolute(position), keepAnchor);
}

QString ReceiveView::selectedText() const {
    return toQString(text_.text(selectionStart(), selectionEnd()));
}

void ReceiveView::selectAll() {
    anchor_ = text_.begin();
    caret_ = text_.end();
    viewport()->update();
    copyToSelectionClipboard();
}

void ReceiveView::copy() const {
    if (selectionEnd() > selectionStart())
        QGuiApplication::clipboard()->setText(selectedText());
}

void ReceiveView::copyToSelectionClipboard() const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && selectionEnd() > selectionStart())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

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
    using K = QKeySequence;
    const std::uint64_t at = caret();
    const std::uint64_t line = text_.lineAt(at);
    if (event->matches(K::Copy))
        copy();
    else if (event->matches(K::SelectAll))
        selectAll();
    else if (event->matches(K::SelectNextChar))
        moveCaret(stepChar(at, 1), true);
    else if (event->matches(K::SelectPreviousChar))
        moveCaret(stepChar(at, -1), true);
    else if (event->matches(K::SelectNextLine))
        moveCaret(stepRows(at, 1), true);
    else if (event->matches(K::SelectPreviousLine))
        moveCaret(stepRows(at, -1), true);
    else if (event->matches(K::SelectNextPage))
        moveCaret(stepRows(at, pageRows()), true);
    else if (event->matches(K::SelectPreviousPage))
        moveCaret(stepRows(at, -pageRows()), true);
    else if (event->matches(K::SelectStartOfLine))
        moveCaret(text_.lineStart(line), true);
    else if (event->matches(K::SelectEndOfLine))
        moveCaret(text_.lineStart(line) + text_.line(line).size(), true);
    else if (event->matches(K::SelectStartOfDocument))
        moveCaret(text_.begin(), true);
    else if (event->matches(K::SelectEndOfDocument))
        moveCaret(text_.end(), true);
    else if (event->matches(K::MoveToNextLine))
        scrollRows(1);
    else if (event->matches(K::MoveToPreviousLine))
        scrollRows(-1);
    else if (event->matches(K::MoveToNextPage))
        scrollRows(pageRows());
    else if (event->matches(K::MoveToPreviousPage))
        scrollRows(-pageRows());
    else if (event->matches(K::MoveToStartOfDocument))
        scrollTo({text_.firstLine(), 0});
    else if (event->matches(K::MoveToEndOfDocument))
        follow();
    else
        return QAbstractScrollArea::keyPressEvent(event);
    event->accept();
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
