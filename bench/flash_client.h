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

inline constexpr qsizetype kClientPiece = 21;

// One line out per reply in, nothing else: the floor a terminal could reach.
class FlashClient : public QObject {
public:
    explicit FlashClient(quint16 port) : port_(port) {
        socket_.bind(QHostAddress::LocalHost, 0);
        // As large as the window's.
        socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 << 20);
        connect(&socket_, &QUdpSocket::readyRead, this, [this] {
            while (socket_.hasPendingDatagrams())
                onReply(socket_.receiveDatagram().data());
        });
    }

    // Milliseconds to the CLOSE, or a negative number on failure.
    double write(const QByteArray& name, const QByteArray& data) {
        data_ = data;
        pos_ = 0;
        lastSent_ = false;
        return run(Mode::Writing, "OPENWR \"" + name + '"');
    }
    double read(const QByteArray& name) {
        received_.clear();
        return run(Mode::Reading, "OPENRD \"" + name + '"');
    }
    const QByteArray& received() const { return received_; }

private:
    enum class Mode { Idle, Writing, Reading, Closing, Failed };

    double run(Mode mode, const QByteArray& open) {
        mode_ = mode;
        const auto start = Clock::now();
        send(open);
        waitUntil([this] { return mode_ == Mode::Closing || mode_ == Mode::Failed; },
                  kClientLimitMs);
        const double ms = msSince(start);
        if (mode_ != Mode::Closing)
            return -1;
        // The answer to CLOSE is taken here, so it cannot start the next transfer.
        waitUntil([this] { return mode_ == Mode::Idle; }, 1000);
        return ms;
    }

    void send(const QByteArray& line) {
        socket_.writeDatagram(line + "\r\n", QHostAddress::LocalHost, port_);
    }

    void onReply(const QByteArray& reply) {
        switch (mode_) {
        case Mode::Writing:
            if (reply.contains("ERROR")) {
                mode_ = Mode::Failed;
            } else if (reply.contains("OK")) {
                if (lastSent_) {
                    mode_ = Mode::Closing;
                    send("CLOSE");
                    return;
                }
                const QByteArray piece = data_.mid(pos_, kClientPiece);
                pos_ += piece.size();
                lastSent_ = pos_ >= data_.size();
                send("WRITE \"" + piece.toHex().toUpper() + '"');
            }
            break;
        case Mode::Reading:
            if (reply.contains("ERROR")) {
                mode_ = Mode::Failed;
            } else if (const qsizetype end = reply.indexOf("ND"); end >= 0) {
                received_ += QByteArray::fromHex(reply.left(end & ~qsizetype(1)));
                mode_ = Mode::Closing;
                send("CLOSE");
            } else if (reply.contains("OK")) {
                send("READ 20\"");
            } else {
                received_ += QByteArray::fromHex(reply.left(40));
            }
            break;
        case Mode::Closing:
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
    QByteArray data_;
    qsizetype pos_ = 0;
    bool lastSent_ = false;
    QByteArray received_;
};

} // namespace vantor::bench
