#pragma once
// The board's UDP side: one command line per datagram in, each reply text as a datagram
// of its own back to whoever sent the command, as the terminal's dispatcher looks at one
// datagram at a time. A reply may be sent from a second socket, as a board whose answers
// leave from another port than the one it listens on. Served with a Bus, a gateway line
// goes to its device.

#include "sim/bus.h"
#include "sim/controller.h"
#include "sim/reply_pacer.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>

#include <memory>

namespace vantor::sim {

class UdpFront : public QObject {
    Q_OBJECT
public:
    // Port 0 takes a free port; see isBound() and port().
    UdpFront(Controller& controller, QHostAddress address = QHostAddress::LocalHost,
             quint16 port = 0, FrontOptions options = {}, QObject* parent = nullptr);
    UdpFront(Bus& bus, QHostAddress address = QHostAddress::LocalHost, quint16 port = 0,
             FrontOptions options = {}, QObject* parent = nullptr);

    bool isBound() const;
    QString errorString() const;
    QHostAddress address() const;
    quint16 port() const;
    const FaultCounts& faults() const { return pacer_.faults(); }

private:
    UdpFront(std::unique_ptr<Bus> own, Bus* bus, const QHostAddress& address, quint16 port,
             FrontOptions options, QObject* parent);
    void readDatagrams();

    std::unique_ptr<Bus> ownBus_; // a board on its own
    Bus& bus_;
    int lateMs_;
    QUdpSocket socket_;
    QUdpSocket other_; // bound on first use
    ReplyPacer pacer_;
    QString error_;
};

} // namespace vantor::sim
