#include "loopback_peer.h"

#include <QNetworkDatagram>

namespace vantor::test {

LoopbackPeer::LoopbackPeer() {
    socket_.bind(QHostAddress::LocalHost, 0);
    connect(&socket_, &QUdpSocket::readyRead, this, [this] {
        while (socket_.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket_.receiveDatagram();
            lastSender = datagram.senderAddress();
            lastPort = static_cast<quint16>(datagram.senderPort());
            received.append(datagram.data());
        }
    });
}

void LoopbackPeer::reply(const QByteArray& datagram) {
    socket_.writeDatagram(datagram, lastSender, lastPort);
}

} // namespace vantor::test
