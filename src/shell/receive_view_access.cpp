#include "shell/receive_view.h"
#include "shell/receive_view_parts.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace vantor {

using namespace receive_view;

namespace {

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

void receive_view::installAccessibility() {
    static const bool factory = (QAccessible::installFactory(accessibleView), true);
    Q_UNUSED(factory);
}

} // namespace vantor
