#include "window/console.h"
#include "links/serial_link.h"
#include "links/udp_link.h"
#include "shell/indicator.h"
#include "shell/terminal.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace vantor {

Console::Console(const Terminal& terminal, UdpLink& udp, SerialLink& serial)
    : t_(terminal), udp_(udp), serial_(serial) {
    t_.controls.tbSendData->installEventFilter(this);
}

bool Console::eventFilter(QObject* watched, QEvent* event) {
    if (watched != t_.controls.tbSendData || event->type() != QEvent::KeyPress)
        return false;
    Gate::Hold hold(t_.gate);
    core::CommandHistory& history = t_.state.history;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Backspace:
        history.edited();
        return false;
    case Qt::Key_Up:
        recall(history.up());
        return true;
    case Qt::Key_Down:
        recall(history.down());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        enter();
        return true;
    default:
        return false;
    }
}

void Console::recall(const std::optional<std::string>& line) {
    if (!line)
        return;
    t_.setConsole(QByteArray::fromStdString(*line));
    t_.controls.tbSendData->end(false);
}

void Console::enter() {
    Gate::Hold hold(t_.gate);
    t_.state.history.enter(t_.consoleBytes().toStdString());
    sendOverUdp();
    sendOverCom();
    t_.pane.append("\r\n");
    t_.pane.moveCaretToEnd();
}

void Console::echo() {
    const QByteArray line = t_.consoleBytes();
    t_.log.logLine(line);
    t_.pane.append("\r\n" + line);
    t_.pane.moveCaretToEnd();
    t_.controls.tbSendData->clear();
    t_.focusConsole();
}

void Console::sendOverUdp() {
    Gate::Hold hold(t_.gate);
    // A host name still resolving leaves Connect disabled, but nothing is bound yet.
    if (t_.controls.cbBind->isEnabled() || !udp_.isOpen())
        return;
    t_.state.SendResult = udp_.UDP_Send(t_.consoleBytes() + "\r\n");
    echo();
}

void Console::sendOverCom() {
    Gate::Hold hold(t_.gate);
    if (!serial_.isOpen())
        return;
    serial_.fillIndicator(kSendGreen);
    QByteArray line = t_.consoleBytes() + "\r\n";
    t_.state.SendResult = serial_.WriteCOM32(line);
    echo();
}

} // namespace vantor
