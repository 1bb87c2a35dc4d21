#pragma once
// One board's link: UDP through the run's one socket (UdpHub), or a serial port. A link
// frames each command line as the options say, hands up every byte it receives as it came
// (for the log) and each answer in it:
//   - UDP: every datagram from the board's address and port, and from another port of its
//     address when no other board of the run is there (a board answers where the datagram
//     came from, but may answer from another port than the one it listens on); a datagram
//     from any other address is dropped;
//   - serial, plain and gateway framing: a reply ends at a line end (CR or LF; the LF of
//     a CR LF pair stays with its CR), or when no byte has come for 20 ms, the window's
//     poll period, so that a board that ends its lines with CR alone is heard too;
//   - serial, RTU framing: the data of each frame with a good CRC and the device's address
//     (a frame of another device on the line is logged and dropped).
// On a bus the link stays open from one device to the next: setAddress() names the device
// the next lines go to.
// The system's word that nothing listens on the board's UDP port is unreachable(); a
// serial port that goes away (an adapter pulled out, a pseudo-terminal closed) is
// failed() at once rather than polled.

#include "options.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "core/serial_replies.h"

#include <memory>
#include <string>
#include <vector>

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
    // The gateway or RTU address of the device the lines go to, as written.
    void setAddress(const QString& address);

signals:
    void opened();
    // Could not be opened, or went away.
    void failed(const QString& why);
    // Bytes as they came: a datagram, or what one read of the port gave.
    void received(const QByteArray& bytes);
    void answer(const QByteArray& bytes);
    // The system reported the board's UDP port unreachable: nothing listens there (yet).
    void unreachable();

protected:
    BoardLink(bool udp, const Options& options, const Board& board);
    // received() only when someone listens (a log, the console): a thousand boards without
    // a log would otherwise pay for it on every datagram.
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;
    void hear(const QByteArray& bytes) {
        if (listeners_ > 0)
            emit received(bytes);
    }
    // The line as the gateway or an RTU device wants it; throws core::Failure.
    QByteArray framed(const QByteArray& line) const;

    const Options& options_;
    Board board_;
    int rtuAddress_ = -1; // the device whose frames are its answers

private:
    bool udp_;
    int listeners_ = 0; // of received()
};

class UdpHub;

class UdpBoardLink : public BoardLink {
    Q_OBJECT
public:
    UdpBoardLink(const Options& options, const Board& board);
    ~UdpBoardLink() override;
    void open() override;
    bool send(const QByteArray& line) override;
    QString name() const override { return board_.label(); }
    // From the run's shared socket (UdpHub): a datagram from this board, or the system's
    // word that its port is unreachable.
    void deliver(const QByteArray& datagram);
    void portUnreachable() { emit unreachable(); }

private:
    void bindTo(const QHostAddress& address);

    QHostAddress address_;
    std::shared_ptr<UdpHub> hub_;
};

class SerialBoardLink : public BoardLink {
    Q_OBJECT
public:
    static constexpr int kQuietMs = core::SerialReplies::kQuietMs;

    SerialBoardLink(const Options& options, const Board& board);
    void open() override;
    bool send(const QByteArray& line) override;
    QString name() const override { return board_.label(); }

private:
    void read();
    void hand(const std::vector<std::string>& replies);
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    core::SerialReplies replies_; // plain and gateway framing
    std::string frames_;          // RTU: bytes of a frame not yet complete
    QTimer quiet_;                // no byte for kQuietMs: what has come is a reply
};

} // namespace vantor::cli
