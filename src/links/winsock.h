#pragma once
// The UDP socket the handlers use: bound to a local port, talking to one controller
// at a fixed remote host and port, one command line per datagram. Datagrams from any
// address but the controller's are dropped unseen, so a stray or hostile sender can
// neither inject replies into an operation nor fill the log.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <optional>

namespace vantor {

class Winsock : public QObject {
    Q_OBJECT
public:
    explicit Winsock(QObject* parent = nullptr);

    void setRemoteHost(const QHostAddress& address) { remoteHost_ = address; }
    void setRemotePort(quint16 port) { remotePort_ = port; }
    quint16 remotePort() const { return remotePort_; }

    // Throws Failure when the port cannot be bound.
    void bind(quint16 localPort);
    // The address this machine uses to reach the controller.
    QString localIP() const;
    quint16 localPort() const { return socket_.localPort(); }
    // 1 while open (bound), 0 when closed.
    int state() const;
    // Throws Failure when the datagram cannot be handed to the socket.
    void sendData(const QByteArray& datagram);
    // Never asks a socket that is not bound (Qt warns then), as when only the COM port is open.
    bool hasData() const {
        return socket_.state() == QAbstractSocket::BoundState && socket_.hasPendingDatagrams();
    }
    // Takes the next datagram waiting (call it when hasData()): its bytes when it came from
    // the controller; nothing when it came from another sender (dropped: not logged, not
    // shown) or could not be read.
    std::optional<QByteArray> getData();
    void close();

signals:
    // Datagrams are waiting; each one is then taken with getData.
    void dataWaiting();

private:
    QUdpSocket socket_;
    QByteArray buffer_;
    QHostAddress remoteHost_;
    quint16 remotePort_ = 0;
};

} // namespace vantor
