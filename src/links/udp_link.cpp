#include "links/udp_link.h"
#include "core/failure.h"
#include "core/framing.h"
#include "core/protocol.h"
#include "links/mscomm.h"
#include "links/winsock.h"
#include "shell/failure_trap.h"
#include "shell/terminal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

namespace vantor {

namespace {
quint16 portNumber(const QString& text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    if (!ok || port > 65535)
        throw core::Failure(core::failure::kTypeMismatch, "Invalid port number");
    return static_cast<quint16>(port);
}
} // namespace

UdpLink::UdpLink(const Terminal& terminal, Winsock& socket, const MSComm& port)
    : t_(terminal), socket_(socket), port_(port) {
#if defined(Q_OS_WIN)
    setArpCommand(QStringLiteral("arp"), {QStringLiteral("-d"), QStringLiteral("*")});
#elif defined(Q_OS_MACOS)
    setArpCommand(QStringLiteral("arp"), {QStringLiteral("-d"), QStringLiteral("-a")});
#else
    setArpCommand(QStandardPaths::findExecutable(QStringLiteral("ip")),
                  {QStringLiteral("neigh"), QStringLiteral("flush"), QStringLiteral("all")});
#endif
}

void UdpLink::setArpCommand(const QString& program, const QStringList& arguments) {
    arpProgram_ = program;
    arpArguments_ = arguments;
}

bool UdpLink::isOpen() const {
    return socket_.state() == 1;
}

void UdpLink::clearArpCache() {
    if (!arpProgram_.isEmpty())
        QProcess::startDetached(arpProgram_, arpArguments_);
}

void UdpLink::Connect() {
    Gate::Hold hold(t_.gate);
    Controls& c = t_.controls;
    c.tbSendData->clear();
    if (port_.PortOpen())
        return;
    clearArpCache();
    const bool started = silently([&] {
        socket_.close();
        socket_.setRemotePort(portNumber(c.tbRemotePort->text()));
        const QString host = c.ComboRemoteIP->currentText().trimmed();
        QHostAddress address;
        if (address.setAddress(host)) {
            bindTo(address);
            return;
        }
        if (host.isEmpty())
            throw core::Failure(core::failure::kInvalidCall, "No remote host");
        // A name is looked up without blocking the window; the bind follows the answer.
        c.cbBind->setEnabled(false);
        lookupId_ =
            QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) { onLookedUp(info); });
    });
    if (!started)
        recover();
}

void UdpLink::onLookedUp(const QHostInfo& info) {
    if (info.lookupId() != lookupId_)
        return;
    lookupId_ = -1;
    t_.gate.whenFree([this, info] {
        Gate::Hold inner(t_.gate);
        QHostAddress found;
        for (const QHostAddress& candidate : info.addresses())
            if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                found = candidate;
                break;
            }
        // The COM port may have been opened while the name resolved: the two links are
        // never up together.
        if (found.isNull() || port_.PortOpen() || !silently([&] { bindTo(found); }))
            recover();
        emit connectFinished();
    });
}

void UdpLink::bindTo(const QHostAddress& host) {
    Controls& c = t_.controls;
    socket_.setRemoteHost(host);
    socket_.bind(portNumber(c.tbLocalPort->text()));
    setLook(true);
    c.Text1->setText(socket_.localIP());
    t_.focusConsole();
}

void UdpLink::recover() {
    socket_.close();
    t_.controls.cbBind->setEnabled(true);
    t_.controls.cbSendData->setEnabled(false);
}

void UdpLink::setLook(bool bound) {
    Controls& c = t_.controls;
    c.cbBind->setEnabled(!bound);
    c.cbSendData->setEnabled(bound);
    c.YesConnect->setVisible(bound);
    c.NoConnect->setVisible(!bound);
    c.Frame6->setEnabled(bound);
    c.Frame2->setEnabled(bound);
}

void UdpLink::Disconnect() {
    Gate::Hold hold(t_.gate);
    t_.controls.tbSendData->clear();
    if (lookupId_ != -1) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
        t_.controls.cbBind->setEnabled(true);
    }
    if (port_.PortOpen())
        return;
    socket_.close();
    setLook(false);
}

int UdpLink::UDP_Send(const QByteArray& line) {
    int result = 0;
    silently([&] {
        if (socket_.state() != 1)
            return;
        if (t_.controls.Check2->isChecked()) {
            const std::string address = t_.bytesOf(t_.controls.Text4->text()).toStdString();
            socket_.sendData(
                QByteArray::fromStdString(core::gatewayLine(address, line.toStdString())));
        } else {
            socket_.sendData(line);
        }
        result = 1;
    });
    return result;
}

void UdpLink::InitPort() {
    Gate::Hold hold(t_.gate);
    t_.focusConsole();
    if (socket_.state() == 1)
        silently([&] { socket_.sendData(QByteArray(core::kGatewayInit.data())); });
}

void UdpLink::Check2Click() {
    Gate::Hold hold(t_.gate);
    t_.controls.Frame2->setEnabled(!t_.controls.Check2->isChecked());
}

} // namespace vantor
