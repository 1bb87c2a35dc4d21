#pragma once
// The receive pane. Text only ever grows at its end, so appending is done in place
// (never by rebuilding the whole text), which keeps a long session fast.

#include "text_codec.h"

#include <QByteArrayView>

class QPlainTextEdit;

namespace vantor {

class ReceivePane {
public:
    ReceivePane(QPlainTextEdit* pane, const TextCodec& codec) : pane_(pane), codec_(codec) {}

    // Received text shown as it came, with the caret moved to the end to keep it in view.
    void show(QByteArrayView bytes);
    // Text added at the end; the caret stays where it is.
    void append(QByteArrayView bytes);
    // The whole text replaced.
    void replace(QByteArrayView bytes);
    void moveCaretToEnd();
    void clear();

private:
    QPlainTextEdit* pane_;
    const TextCodec& codec_;
    // A CR LF split between two pieces of text is still one line break.
    bool endsWithCr_ = false;
};

} // namespace vantor
