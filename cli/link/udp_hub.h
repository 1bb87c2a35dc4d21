#pragma once
// The one UDP socket of a run, shared by all its boards. A run of a thousand boards would
// otherwise hold a thousand sockets, and its event loop would look at every one of them
// for every datagram. Each datagram goes to the board it comes from: the one at its address
// and port, or, when it comes from another port (a board may answer from another port than
// the one it listens on), the one board at its address; with several boards at that
// address it is nobody's.
//
// The socket is the system's own rather than a QUdpSocket: a thousand boards answering
// every few milliseconds are read many datagrams to a system call, where Qt's socket takes
// three calls for each.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <vector>

namespace vantor::cli {

class UdpBoardLink;

class UdpHub : public QObject {
public:
    // The hub, bound on first use; it goes when the last board lets it go.
    static std::shared_ptr<UdpHub> get();
    ~UdpHub() override;

    bool bound() const { return fd_ >= 0; }
    QString errorString() const { return error_; }
    // False when another board of the run has that address and port: it keeps them.
    bool add(UdpBoardLink* link, quint32 address, quint16 port);
    void remove(UdpBoardLink* link, quint32 address, quint16 port);
    bool send(const QByteArray& datagram, quint32 address, quint16 port);

private:
    UdpHub();
    void read();
    void deliver(quint32 address, quint16 port, const QByteArray& datagram);
    // Sends what the boards answered while a batch was read, many datagrams to a call.
    void flush();

    struct Outgoing {
        QByteArray datagram;
        quint32 address;
        quint16 port;
    };

    int fd_ = -1;
    QString error_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QHash<quint64, UdpBoardLink*> boards_;           // by address << 16 | port
    QHash<quint32, QList<UdpBoardLink*>> atAddress_; // by address
    bool reading_ = false;                           // sends wait for the end of the batch
    bool sentLast_ = false;
    std::vector<Outgoing> outbox_;
};

} // namespace vantor::cli
