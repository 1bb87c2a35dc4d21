#include "receive_pane.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include <utility>

namespace vantor {

namespace {
// Held text goes in at least this often, so a long burst never piles up.
constexpr qsizetype kMaxHeld = 256 * 1024;
} // namespace

void ReceivePane::show(QByteArrayView bytes) {
    if (holding_) {
        held_.append(bytes);
        heldShown_ = true;
        if (held_.size() >= kMaxHeld)
            putHeld();
        return;
    }
    append(bytes);
    moveCaretToEnd();
}

void ReceivePane::releaseShown() {
    holding_ = false;
    putHeld();
}

void ReceivePane::putHeld() {
    if (std::exchange(heldReplaces_, false)) {
        endsWithCr_ = held_.endsWith('\r');
        pane_->setPlainText(codec_.toText(std::exchange(held_, QByteArray())));
    } else if (!held_.isEmpty()) {
        insert(std::exchange(held_, QByteArray()));
    }
    if (std::exchange(heldShown_, false))
        moveCaretToEnd();
}

void ReceivePane::append(QByteArrayView bytes) {
    putHeld();
    insert(bytes);
}

void ReceivePane::insert(QByteArrayView bytes) {
    if (endsWithCr_ && bytes.startsWith('\n')) {
        // That LF closed the CR LF; a further LF is a break of its own.
        bytes = bytes.sliced(1);
        endsWithCr_ = false;
    }
    if (bytes.isEmpty())
        return;
    endsWithCr_ = bytes.endsWith('\r');
    QTextCursor end(pane_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(codec_.toText(bytes));
}

void ReceivePane::replace(QByteArrayView bytes) {
    if (holding_) {
        held_ = bytes.toByteArray();
        heldReplaces_ = true;
        heldShown_ = false;
        return;
    }
    putHeld();
    endsWithCr_ = bytes.endsWith('\r');
    pane_->setPlainText(codec_.toText(bytes));
}

void ReceivePane::moveCaretToEnd() {
    putHeld();
    QTextCursor cursor = pane_->textCursor();
    cursor.movePosition(QTextCursor::End);
    pane_->setTextCursor(cursor);
}

void ReceivePane::clear() {
    held_.clear();
    heldReplaces_ = heldShown_ = false;
    endsWithCr_ = false;
    pane_->clear();
}

} // namespace vantor
