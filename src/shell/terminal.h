#pragma once
// What every subsystem of the window reaches: the controls, the shared state, the log,
// the code page, the dialogs, the receive pane and the gate.

#include "shell/controls.h"
#include "shell/dialogs.h"
#include "shell/gate.h"
#include "shell/receive_pane.h"
#include "shell/shared_state.h"
#include "shell/terminal_log.h"
#include "shell/text_codec.h"

#include <QByteArray>

namespace vantor {

struct Terminal {
    Controls& controls;
    SharedState& state;
    TerminalLog& log;
    TextCodec& codec;
    Dialogs& dialogs;
    ReceivePane& pane;
    Gate& gate;

    // The console line as bytes, and set from bytes.
    QByteArray consoleBytes() const;
    void setConsole(const QByteArray& bytes) const;
    // The text of any box as bytes.
    QByteArray bytesOf(const QString& text) const { return codec.toBytes(text); }
    void focusConsole() const;
};

} // namespace vantor
