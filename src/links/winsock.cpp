#include "links/winsock.h"
#include "core/failure.h"

#include <QVariant>

namespace vantor {

namespace {
// Large enough for a burst of thousands of short replies while the window is busy.
constexpr int kReceiveBuffer = 8 * 1024 * 1024;
constexpr int kAddressInUse = 10048;
constexpr int kSocketError = 10022;
constexpr qsizetype kMaxDatagram = 65536;
} // namespace

Winsock::Winsock(QObject* parent) : QObject(parent) {
    connect(&socket_, &QUdpSocket::readyRead, this, &Winsock::dataWaiting);
}

void Winsock::bind(quint16 localPort) {
    socket_.abort();
    if (!socket_.bind(QHostAddress::AnyIPv4, localPort)) {
        const int number =
            socket_.error() == QAbstractSocket::AddressInUseError ? kAddressInUse : kSocketError;
        const std::string why = socket_.errorString().toStdString();
        socket_.abort();
        throw core::Failure(number, why);
    }
    socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                            QVariant(kReceiveBuffer));
}

QString Winsock::localIP() const {
    // Asking the routing table through a connected socket sends nothing.
    QUdpSocket probe;
    probe.connectToHost(remoteHost_, remotePort_ ? remotePort_ : 9);
    const QHostAddress local = probe.localAddress();
    if (local.isNull() || local == QHostAddress::AnyIPv4)
        return socket_.localAddress().toString();
    return local.toString();
}

int Winsock::state() const {
    return socket_.state() == QAbstractSocket::BoundState ? 1 : 0;
}

void Winsock::sendData(const QByteArray& datagram) {
    if (socket_.writeDatagram(datagram, remoteHost_, remotePort_) != datagram.size())
        throw core::Failure(kSocketError, socket_.errorString().toStdString());
}

std::optional<QByteArray> Winsock::getData() {
    // Read into a buffer that holds any datagram: one system call less per datagram than
    // asking for its size first.
    buffer_.resize(kMaxDatagram);
    QHostAddress sender;
    const qint64 size = socket_.readDatagram(buffer_.data(), buffer_.size(), &sender);
    if (size < 0 || !sender.isEqual(remoteHost_, QHostAddress::ConvertV4MappedToIPv4))
        return std::nullopt;
    return QByteArray(buffer_.constData(), size);
}

void Winsock::close() {
    socket_.abort();
}

} // namespace vantor
