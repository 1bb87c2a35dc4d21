#include "shell/receive_view.h"
#include "shell/receive_view_parts.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>

namespace vantor {

using namespace receive_view;

ReceiveView::ReceiveView(QWidget* parent, std::size_t limit)
    : QAbstractScrollArea(parent), text_(limit) {
    installAccessibility();
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

} // namespace vantor
