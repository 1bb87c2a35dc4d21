#include "links/serial_link.h"
#include "core/basic_numbers.h"
#include "core/framing.h"
#include "core/protocol.h"
#include "links/mscomm.h"
#include "links/winsock.h"
#include "shell/failure_trap.h"
#include "shell/indicator.h"
#include "shell/port_box.h"
#include "shell/terminal.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace vantor {

namespace {
const char* const kSpeeds[] = {"1200,n,8,1", "2400,n,8,1",  "4800,n,8,1",
                               "9600,n,8,1", "19200,n,8,1", "115200,n,8,1"};
const QColor kOpenGreen(0, 255, 0);
} // namespace

SerialLink::SerialLink(const Terminal& terminal, MSComm& port, const Winsock& socket)
    : t_(terminal), port_(port), socket_(socket) {
    connect(&port_, &MSComm::deviceGone, this, &SerialLink::onDeviceGone);
}

bool SerialLink::isOpen() const {
    return port_.PortOpen();
}

SerialMode SerialLink::mode() const {
    if (!t_.controls.Check1->isChecked())
        return SerialMode::Plain;
    return t_.controls.Check3->isChecked() ? SerialMode::Gateway : SerialMode::Rtu;
}

void SerialLink::fillIndicator(const QColor& color) {
    t_.controls.Pic->setFillColor(color);
}

void SerialLink::BTNOpenComClick() {
    Gate::Hold hold(t_.gate);
    t_.controls.tbSendData->clear();
    if (socket_.state() == 1)
        return;
    trapFailures(t_.dialogs, [&] {
        if (t_.state.ComOpen == 1)
            closePort();
        else
            openPort();
    });
}

void SerialLink::closePort() {
    Controls& c = t_.controls;
    t_.state.ComOpen = 0;
    c.BTNOpenCom->setText(QStringLiteral("Open"));
    c.TMRComm->stop();
    port_.setPortOpen(false);
    c.Comm_number->setPalette(QPalette());
    c.Pic->hide();
    for (int n = 1; n <= 6; ++n)
        c.option(n)->setEnabled(true);
    c.Frame5->setEnabled(false);
}

void SerialLink::openPort() {
    Controls& c = t_.controls;
    for (int n = 6; n >= 1; --n)
        if (c.option(n)->isChecked())
            port_.setSettings(QString::fromLatin1(kSpeeds[n - 1]));
    const QString name = c.Comm_number->text();
    if (name.startsWith(QLatin1Char('/')))
        port_.setDevicePath(name);
    else
        port_.setCommPort(core::toInteger16(t_.bytesOf(name.mid(3)).toStdString()));
    port_.setPortOpen(true);
    if (!port_.PortOpen())
        return;
    c.Pic->show();
    QPalette green = c.Comm_number->palette();
    green.setColor(QPalette::Base, kOpenGreen);
    c.Comm_number->setPalette(green);
    c.TMRComm->start();
    c.BTNOpenCom->setText(QStringLiteral("Close"));
    t_.state.ComOpen = 1;
    for (int n = 1; n <= 6; ++n)
        c.option(n)->setEnabled(false);
    c.Frame5->setEnabled(true);
    t_.focusConsole();
}

void SerialLink::onDeviceGone() {
    // The port is already closed underneath; show it as closed once the running handler,
    // if any, has ended.
    t_.gate.whenFree([this] {
        if (t_.state.ComOpen == 1)
            silently([&] { closePort(); });
    });
}

void SerialLink::Command8Click() {
    Gate::Hold hold(t_.gate);
    if (!t_.controls.Check3->isChecked() || !port_.PortOpen())
        return;
    silently([&] { port_.Output(QByteArray(core::kGatewayInit.data())); });
}

void SerialLink::Check1Click() {
    Gate::Hold hold(t_.gate);
    t_.focusConsole();
}

int SerialLink::WriteCOM32(QByteArray& line) {
    t_.state.RtuRxBuffer.clear();
    if (!port_.PortOpen())
        return 0;
    int written = 0;
    silently([&] {
        fillIndicator(kSendGreen);
        if (t_.controls.TMRComm->isActive())
            t_.controls.TMRComm->start();
        const std::string address = t_.bytesOf(t_.controls.Text3->text()).toStdString();
        switch (mode()) {
        case SerialMode::Plain:
            break;
        case SerialMode::Gateway:
            line = QByteArray::fromStdString(core::gatewayLine(address, line.toStdString()));
            break;
        case SerialMode::Rtu:
            line = QByteArray::fromStdString(core::rtuFrame(address, line.toStdString()));
            break;
        }
        port_.Output(line);
        written = static_cast<int>(line.size());
    });
    return written;
}

} // namespace vantor
