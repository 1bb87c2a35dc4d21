#include "sim/udp_front.h"

#include <QNetworkDatagram>
#include <QVariant>

namespace vantor::sim {

namespace {
// Bursts of commands from a test or a bench must not be lost before the loop reads them.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
} // namespace

UdpFront::UdpFront(Controller& controller, QHostAddress address, quint16 port, FrontOptions options,
                   QObject* parent)
    : UdpFront(std::make_unique<Bus>(controller), nullptr, address, port, options, parent) {}

UdpFront::UdpFront(Bus& bus, QHostAddress address, quint16 port, FrontOptions options,
                   QObject* parent)
    : UdpFront(nullptr, &bus, address, port, options, parent) {}

UdpFront::UdpFront(std::unique_ptr<Bus> own, Bus* bus, const QHostAddress& address, quint16 port,
                   FrontOptions options, QObject* parent)
    : QObject(parent), ownBus_(std::move(own)), bus_(bus ? *bus : *ownBus_),
      lateMs_(options.stallMs),
      pacer_((options.splitMs = 0, options), 0) { // a datagram is never cut
    if (!socket_.bind(address, port)) {
        error_ = socket_.errorString();
        return;
    }
    socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBufferBytes);
    connect(&socket_, &QUdpSocket::readyRead, this, &UdpFront::readDatagrams);
}

bool UdpFront::isBound() const {
    return socket_.state() == QAbstractSocket::BoundState;
}
QString UdpFront::errorString() const {
    return error_;
}
QHostAddress UdpFront::address() const {
    return socket_.localAddress();
}
quint16 UdpFront::port() const {
    return socket_.localPort();
}

void UdpFront::readDatagrams() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_.receiveDatagram();
        if (!datagram.isValid())
            break;
        QByteArray line = datagram.data();
        if (line.endsWith("\r\n"))
            line.chop(2);
        else if (line.endsWith('\n'))
            line.chop(1);

        const std::optional<BusAnswer> answer = bus_.handleText(
            std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
        if (!answer)
            continue;
        QList<QByteArray> replies;
        for (const std::string& reply : answer->replies)
            replies.append(QByteArray(reply.data(), static_cast<qsizetype>(reply.size())));

        const QHostAddress to = datagram.senderAddress();
        const quint16 toPort = static_cast<quint16>(datagram.senderPort());
        pacer_.post(
            replies,
            [this, to, toPort](const QByteArray& reply, bool otherPort) {
                if (otherPort && other_.state() != QAbstractSocket::BoundState)
                    other_.bind(socket_.localAddress(), 0);
                (otherPort ? other_ : socket_).writeDatagram(reply, to, toPort);
            },
            true, answer->late ? lateMs_ : 0);
    }
}

} // namespace vantor::sim
