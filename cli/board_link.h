#pragma once
// One board's link: a UDP socket that takes only the board's own datagrams, or a serial
// port. A link frames each command line as the options say and hands up each answer:
// a datagram; over serial a line up to its LF (plain and gateway framing) or the data
// of one frame with a good CRC (RTU framing).
//
// The UDP socket is connected to the board, so that the system tells it when nothing
// listens on the board's port (unreachable()); a serial port that goes away (an adapter
// pulled out, a pseudo-terminal closed) is failed() at once rather than polled.

#include "options.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSerialPort>
#include <QUdpSocket>

#include <memory>
#include <string>

namespace vantor::cli {

class BoardLink : public QObject {
    Q_OBJECT
public:
    static std::unique_ptr<BoardLink> make(const Options& options, const Board& board);

    // Emits opened() or failed() once, possibly later (a host name is looked up first).
    virtual void open() = 0;
    // A command line, CR LF included; framed here. False when it could not be sent.
    virtual bool send(const QByteArray& line) = 0;
    virtual QString name() const = 0;
    bool udp() const { return udp_; }

signals:
    void opened();
    // Could not be opened, or went away.
    void failed(const QString& why);
    void answer(const QByteArray& bytes);
    // The system reported the board's UDP port unreachable: nothing listens there (yet).
    void unreachable();

protected:
    explicit BoardLink(bool udp) : udp_(udp) {}
    // The line as the gateway or an RTU device wants it; throws core::Failure.
    QByteArray framed(const Options& options, const QByteArray& line) const;

private:
    bool udp_;
};

class UdpBoardLink : public BoardLink {
    Q_OBJECT
public:
    UdpBoardLink(const Options& options, const Board& board);
    void open() override;
    bool send(const QByteArray& line) override;
    QString name() const override { return board_.label(); }

private:
    void bindTo(const QHostAddress& address);
    void read();

    const Options& options_;
    Board board_;
    QHostAddress address_;
    QUdpSocket socket_;
};

class SerialBoardLink : public BoardLink {
    Q_OBJECT
public:
    explicit SerialBoardLink(const Options& options);
    void open() override;
    bool send(const QByteArray& line) override;
    QString name() const override { return options_.serialPort; }

private:
    void read();
    void onError(QSerialPort::SerialPortError error);

    const Options& options_;
    QSerialPort port_;
    std::string pending_; // bytes of an answer not yet complete
};

} // namespace vantor::cli
