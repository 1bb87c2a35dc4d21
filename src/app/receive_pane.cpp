#include "receive_pane.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace vantor {

void ReceivePane::show(QByteArrayView bytes) {
    append(bytes);
    moveCaretToEnd();
}

void ReceivePane::append(QByteArrayView bytes) {
    if (endsWithCr_ && bytes.startsWith('\n'))
        bytes = bytes.sliced(1);
    if (bytes.isEmpty())
        return;
    endsWithCr_ = bytes.endsWith('\r');
    QTextCursor end(pane_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(codec_.toText(bytes));
}

void ReceivePane::replace(QByteArrayView bytes) {
    endsWithCr_ = bytes.endsWith('\r');
    pane_->setPlainText(codec_.toText(bytes));
}

void ReceivePane::moveCaretToEnd() {
    QTextCursor cursor = pane_->textCursor();
    cursor.movePosition(QTextCursor::End);
    pane_->setTextCursor(cursor);
}

void ReceivePane::clear() {
    endsWithCr_ = false;
    pane_->clear();
}

} // namespace vantor
