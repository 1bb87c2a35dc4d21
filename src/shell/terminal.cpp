#include "shell/terminal.h"

#include <QLineEdit>

namespace vantor {

QByteArray Terminal::consoleBytes() const {
    return codec.toBytes(controls.tbSendData->text());
}

void Terminal::setConsole(const QByteArray& bytes) const {
    controls.tbSendData->setText(codec.toText(bytes));
}

void Terminal::focusConsole() const {
    controls.tbSendData->setFocus();
}

} // namespace vantor
