#pragma once
// The board's UDP side: one command line per datagram in, each reply text as a datagram
// of its own back to whoever sent the command, as the terminal's dispatcher looks at one
// datagram at a time. A reply may be sent from a second socket, as a board whose answers
// leave from another port than the one it listens on.

#include "sim/controller.h"
#include "sim/reply_pacer.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>

namespace vantor::sim {

class UdpFront : public QObject {
    Q_OBJECT
public:
    // Port 0 takes a free port; see isBound() and port().
    UdpFront(Controller& controller, QHostAddress address = QHostAddress::LocalHost,
             quint16 port = 0, FrontOptions options = {}, QObject* parent = nullptr);

    bool isBound() const;
    QString errorString() const;
    QHostAddress address() const;
    quint16 port() const;
    const FaultCounts& faults() const { return pacer_.faults(); }

private:
    void readDatagrams();

    Controller& controller_;
    QUdpSocket socket_;
    QUdpSocket other_; // bound on first use
    ReplyPacer pacer_;
    QString error_;
};

} // namespace vantor::sim
