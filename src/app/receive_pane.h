#pragma once
// The receive pane. Text only ever grows at its end, so appending is done in place
// (never by rebuilding the whole text), which keeps a long session fast.

#include "text_codec.h"

#include <QByteArray>
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

    // While held, shown text is collected, and of several replacements only the last is
    // kept; it all goes in when the hold ends or the pane is used otherwise. A burst of
    // datagrams lays the pane out once, not once per datagram.
    void holdShown() { holding_ = true; }
    void releaseShown();
    // Puts held text in now, keeping the hold.
    void flush() { putHeld(); }

private:
    void insert(QByteArrayView bytes);
    void putHeld();

    QPlainTextEdit* pane_;
    const TextCodec& codec_;
    // A CR LF split between two pieces of text is still one line break.
    bool endsWithCr_ = false;
    bool holding_ = false;
    QByteArray held_;
    bool heldReplaces_ = false; // held_ is the whole new text
    bool heldShown_ = false;    // the caret goes to the end after it
};

} // namespace vantor
