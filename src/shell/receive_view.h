#pragma once
// The receive pane's widget. A text widget that lays out all of its text holds several
// bytes of memory per byte shown and slows down as it fills; this one keeps the newest
// text in a bounded store of lines and lays out and paints only the lines on screen, as
// a terminal keeps its scrollback. The vertical scroll bar counts stored lines.
//
// Positions are offsets into the kept text, a line break counting as one character.

#include "core/pane_text.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

class QTextLayout;

namespace vantor {

class ReceiveView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ReceiveView(QWidget* parent = nullptr,
                         std::size_t limit = core::PaneText::kDefaultLimit);
    ~ReceiveView() override;

    // Text added at the end. A caret at the end stays at the end; the view stays where
    // it is unless it follows the end.
    void append(QStringView text);
    // The whole text replaced: the caret goes to its start, and so does the view.
    void setPlainText(QStringView text);
    void clear();
    // The caret to the end, without a selection, and the view follows the end from now
    // on, until the operator scrolls away.
    void moveCaretToEnd();

    QString toPlainText() const;
    QString text(qint64 from, qint64 to) const;
    qint64 characterCount() const;
    qint64 caretPosition() const;
    void setCaretPosition(qint64 position, bool keepAnchor = false);
    QString selectedText() const;
    void selectAll();
    void copy() const;
    bool isReadOnly() const { return true; }
    bool followsEnd() const { return follow_; }
    // Where the character at `position` is drawn, in the viewport; empty when off screen.
    QRect characterRect(qint64 position) const { return rectAt(absolute(position)); }
    qint64 positionAt(QPoint point) const { return qint64(offsetAt(point) - text_.begin()); }
    const core::PaneText& store() const { return text_; }

signals:
    // Text was added, replaced or cleared.
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class ReceiveViewAccessible;

    // A visual row: a stored line and one of the rows it wraps into.
    struct Row {
        std::uint64_t line = 0;
        int row = 0;
        bool operator<(const Row& o) const {
            return line < o.line || (line == o.line && row < o.row);
        }
    };
    struct Laid {
        std::unique_ptr<QTextLayout> layout;
        std::size_t length = 0;
        qreal height = 0;
    };
    // A line on screen and the top of its layout in viewport coordinates.
    struct Placed {
        std::uint64_t line;
        qreal y;
    };

    const Laid& laid(std::uint64_t line) const;
    int rows(std::uint64_t line) const;
    std::vector<Placed> placed() const;
    Row lastPageTop() const;
    Row topRow() const;
    int pageRows() const;
    void scrollRows(int n);
    void scrollTo(Row top);
    void follow();
    void showOffset(std::uint64_t offset);
    void refresh();
    void scheduleRefresh();
    void afterChange(std::uint64_t oldBegin, std::uint64_t oldEnd);

    std::uint64_t offsetAt(QPoint point) const;
    QRect rectAt(std::uint64_t offset) const;
    Row rowOf(std::uint64_t offset) const;
    std::uint64_t stepRows(std::uint64_t offset, int n) const;
    std::uint64_t stepChar(std::uint64_t offset, int n) const;
    void moveCaret(std::uint64_t offset, bool keepAnchor);
    bool selectByKey(const QKeyEvent* event);
    bool scrollByKey(const QKeyEvent* event);
    void selectWordAt(std::uint64_t offset);
    void copyToSelectionClipboard() const;
    std::uint64_t selectionStart() const { return std::min(anchor(), caret()); }
    std::uint64_t selectionEnd() const { return std::max(anchor(), caret()); }
    // Kept as absolute offsets; text dropped from the front moves them forward.
    std::uint64_t caret() const { return std::max(caret_, text_.begin()); }
    std::uint64_t anchor() const { return std::max(anchor_, text_.begin()); }
    std::uint64_t absolute(qint64 position) const;
    qreal layoutWidth() const;
    void dropLayouts() const;

    core::PaneText text_;
    std::uint64_t caret_ = 0;
    std::uint64_t anchor_ = 0;
    bool follow_ = true;
    Row top_;
    bool refreshPending_ = false;
    bool settingBar_ = false;
    bool dragging_ = false;
    QPoint dragAt_;
    int wheelRest_ = 0; // eighths of a degree, times the rows a notch scrolls
    QBasicTimer dragScroll_;
    mutable std::unordered_map<std::uint64_t, Laid> laid_;
    mutable std::size_t laidChars_ = 0;
};

} // namespace vantor
