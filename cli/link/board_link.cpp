#include "link/board_link.h"
#include "core/failure.h"
#include "core/framing.h"
#include "core/rtu_reassembly.h"
#include "core/serial_replies.h"
#include "link/udp_hub.h"

#include <QHostInfo>
#include <QMetaMethod>
#include <QTimer>

namespace vantor::cli {

std::unique_ptr<BoardLink> BoardLink::make(const Options& options, const Board& board) {
    if (board.serial())
        return std::make_unique<SerialBoardLink>(options, board);
    return std::make_unique<UdpBoardLink>(options, board);
}

BoardLink::BoardLink(bool udp, const Options& options, const Board& board)
    : options_(options), board_(board), udp_(udp) {
    setAddress(board.address);
}

void BoardLink::connectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&BoardLink::received))
        listeners_ = receivers(SIGNAL(received(QByteArray)));
}

// Counted again: an invalid method says that all of a receiver's connections went at once.
void BoardLink::disconnectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&BoardLink::received) || !signal.isValid())
        listeners_ = receivers(SIGNAL(received(QByteArray)));
}

void BoardLink::setAddress(const QString& address) {
    board_.address = address;
    rtuAddress_ = -1;
    if (options_.framing == Framing::Rtu) {
        try {
            rtuAddress_ = core::rtuAddress(address.toStdString());
        } catch (const core::Failure&) {
            // checked with the options; a send says so should it not be one
        }
    }
}

QByteArray BoardLink::framed(const QByteArray& line) const {
    if (options_.framing == Framing::Plain)
        return line;
    const std::string text = line.toStdString(), address = board_.address.toStdString();
    switch (options_.framing) {
    case Framing::Gateway:
        return QByteArray::fromStdString(core::gatewayLine(address, text));
    case Framing::Rtu:
        return QByteArray::fromStdString(core::rtuFrame(address, text));
    case Framing::Plain:
        break;
    }
    return line;
}

UdpBoardLink::UdpBoardLink(const Options& options, const Board& board)
    : BoardLink(true, options, board) {}

UdpBoardLink::~UdpBoardLink() {
    if (hub_)
        hub_->remove(this, address_.toIPv4Address(), board_.port);
}

void UdpBoardLink::open() {
    const QHostAddress literal(board_.host);
    if (!literal.isNull()) {
        // Later, so that whoever opens has connected its signals by then.
        QTimer::singleShot(0, this, [this, literal] { bindTo(literal); });
        return;
    }
    QHostInfo::lookupHost(board_.host, this, [this](const QHostInfo& info) {
        for (const QHostAddress& a : info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                return bindTo(a);
        emit failed(QStringLiteral("cannot resolve %1").arg(board_.host));
    });
}

void UdpBoardLink::bindTo(const QHostAddress& address) {
    address_ = address;
    hub_ = UdpHub::get();
    if (!hub_->bound()) {
        emit failed(QStringLiteral("cannot bind a UDP socket: %1").arg(hub_->errorString()));
        return;
    }
    if (!hub_->add(this, address.toIPv4Address(), board_.port)) {
        hub_.reset(); // what it holds is another board's
        emit failed(QStringLiteral("%1 is %2:%3, which another board of this run has")
                        .arg(board_.link(), address.toString())
                        .arg(board_.port));
        return;
    }
    emit opened();
}

bool UdpBoardLink::send(const QByteArray& line) {
    const QByteArray datagram = framed(line);
    return hub_ && hub_->send(datagram, address_.toIPv4Address(), board_.port);
}

void UdpBoardLink::deliver(const QByteArray& datagram) {
    hear(datagram);
    emit answer(datagram);
}

SerialBoardLink::SerialBoardLink(const Options& options, const Board& board)
    : BoardLink(false, options, board) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialBoardLink::read);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialBoardLink::onError);
    quiet_.setSingleShot(true);
    quiet_.setInterval(kQuietMs);
    connect(&quiet_, &QTimer::timeout, this, [this] { hand(replies_.flush()); });
}

void SerialBoardLink::open() {
    port_.setPortName(board_.serialPort);
    port_.setBaudRate(options_.baud);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    const bool ok = port_.open(QIODevice::ReadWrite);
    const QString why = port_.errorString();
    QTimer::singleShot(0, this, [this, ok, why] {
        if (ok)
            emit opened();
        else
            emit failed(QStringLiteral("cannot open %1: %2").arg(board_.serialPort, why));
    });
}

bool SerialBoardLink::send(const QByteArray& line) {
    // What the board is still sending stays: a half-received line or frame ends as it came.
    const QByteArray bytes = framed(line);
    return port_.write(bytes) == bytes.size();
}

void SerialBoardLink::read() {
    const QByteArray bytes = port_.readAll();
    hear(bytes);
    if (options_.framing == Framing::Rtu) {
        frames_.append(bytes.constData(), std::size_t(bytes.size()));
        for (;;) {
            const int from = frames_.empty() ? -1 : static_cast<unsigned char>(frames_[0]);
            const core::RtuStep step = core::takeRtuFrame(frames_);
            if (step.kind == core::RtuStep::Kind::Incomplete)
                break;
            if (step.kind == core::RtuStep::Kind::Good && from == rtuAddress_)
                emit answer(QByteArray::fromStdString(step.data));
        }
        return;
    }
    hand(replies_.take(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
    if (replies_.pending())
        quiet_.start();
}

void SerialBoardLink::hand(const std::vector<std::string>& replies) {
    for (const std::string& reply : replies)
        emit answer(QByteArray::fromStdString(reply));
}

// A device that is gone reports a resource error (real hardware) or a read error (a
// pseudo-terminal whose other side closed). Left open, such a port wakes the event loop
// again and again; closed, it costs nothing, and the job ends at once.
void SerialBoardLink::onError(QSerialPort::SerialPortError error) {
    if (!port_.isOpen() || (error != QSerialPort::ResourceError && error != QSerialPort::ReadError))
        return;
    port_.close();
    quiet_.stop();
    // The port's own error text may be a stale one of its set-up; say what happened.
    emit failed(QStringLiteral("%1 went away (unplugged, or closed at the other end)")
                    .arg(board_.serialPort));
}

} // namespace vantor::cli
