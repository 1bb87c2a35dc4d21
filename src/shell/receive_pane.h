#pragma once
// The receive pane as the handlers use it: wire bytes in, shown through the code page.

#include "shell/receive_view.h"
#include "shell/text_codec.h"

#include <QByteArrayView>

namespace vantor {

class ReceivePane {
public:
    ReceivePane(ReceiveView* view, const TextCodec& codec) : view_(view), codec_(codec) {}

    // Received text shown as it came, with the caret moved to the end to keep it in view.
    void show(QByteArrayView bytes) {
        append(bytes);
        moveCaretToEnd();
    }
    // Text added at the end; the caret stays where it is.
    void append(QByteArrayView bytes) { view_->append(codec_.toText(bytes)); }
    // The whole text replaced.
    void replace(QByteArrayView bytes) { view_->setPlainText(codec_.toText(bytes)); }
    void moveCaretToEnd() { view_->moveCaretToEnd(); }
    void clear() { view_->clear(); }

private:
    ReceiveView* view_;
    const TextCodec& codec_;
};

} // namespace vantor
