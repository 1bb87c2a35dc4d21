#pragma once
// A scripted controller on 127.0.0.1: records what it receives and answers on demand.

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>

namespace vantor::test {

class LoopbackPeer : public QObject {
    Q_OBJECT
public:
    LoopbackPeer();
    quint16 port() const { return socket_.localPort(); }
    bool bound() const { return socket_.state() == QAbstractSocket::BoundState; }
    // Sends to whoever wrote last.
    void reply(const QByteArray& datagram);
    QList<QByteArray> received;
    QHostAddress lastSender;
    quint16 lastPort = 0;

private:
    QUdpSocket socket_;
};

} // namespace vantor::test
