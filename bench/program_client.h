#pragma once
// The floor a terminal could reach: a bare stop-and-wait client on loopback UDP, the
// benchmarks' yardstick for the window and for vantor.

#include "bench_support.h"

#include <QByteArrayList>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QVariant>

namespace vantor::bench {

// The benchmarks' program: numbered PRINT lines.
inline QByteArrayList programLines(int count) {
    QByteArrayList lines;
    for (int i = 1; i <= count; ++i)
        lines << QByteArray::number(i * 10) + " PRINT \"LINE " + QByteArray::number(i) +
                     " OF THE BENCH PROGRAM\"";
    return lines;
}

// One program line per OK, LIST then replies until the closing OK.
class ProgramClient : public QObject {
public:
    explicit ProgramClient(quint16 port) : port_(port) {
        socket_.bind(QHostAddress::LocalHost, 0);
        // As large as the window's: a listing arrives as one burst of datagrams.
        socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 << 20);
        connect(&socket_, &QUdpSocket::readyRead, this, [this] {
            while (socket_.hasPendingDatagrams())
                onReply(socket_.receiveDatagram().data());
        });
    }

    // Milliseconds to the answer to the last line; negative on failure.
    double download(const QByteArrayList& lines) {
        lines_ = lines;
        next_ = 0;
        mode_ = Mode::Downloading;
        const auto start = Clock::now();
        sendNext();
        const bool ok = waitUntil([this] { return mode_ != Mode::Downloading; }, kClientLimitMs);
        return ok && mode_ == Mode::Idle ? msSince(start) : -1;
    }
    double list() {
        listing_.clear();
        mode_ = Mode::Listing;
        const auto start = Clock::now();
        send("LIST");
        const bool ok = waitUntil([this] { return mode_ != Mode::Listing; }, kClientLimitMs);
        return ok && mode_ == Mode::Idle ? msSince(start) : -1;
    }
    // Not timed: clears the program between runs.
    bool erase() {
        mode_ = Mode::Erasing;
        send("NEW");
        return waitUntil([this] { return mode_ == Mode::Idle; }, 1000);
    }
    const QByteArray& listing() const { return listing_; }

private:
    enum class Mode { Idle, Downloading, Listing, Erasing, Failed };

    void send(const QByteArray& line) {
        socket_.writeDatagram(line + "\r\n", QHostAddress::LocalHost, port_);
    }
    void sendNext() { send(lines_[next_++]); }

    void onReply(const QByteArray& reply) {
        switch (mode_) {
        case Mode::Downloading:
            if (reply.contains("ERROR"))
                mode_ = Mode::Failed;
            else if (reply.contains("OK") && next_ == lines_.size())
                mode_ = Mode::Idle;
            else if (reply.contains("OK"))
                sendNext();
            break;
        case Mode::Listing:
            if (reply.left(5).contains("OK"))
                mode_ = Mode::Idle;
            else
                listing_ += reply;
            break;
        case Mode::Erasing:
            mode_ = Mode::Idle;
            break;
        case Mode::Idle:
        case Mode::Failed:
            break;
        }
    }

    QUdpSocket socket_;
    quint16 port_;
    Mode mode_ = Mode::Idle;
    QByteArrayList lines_;
    qsizetype next_ = 0;
    QByteArray listing_;
};

} // namespace vantor::bench
