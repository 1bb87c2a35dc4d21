#pragma once
// Many boards behind one socket: bound to every local address on one port, it hands each
// datagram to the board at the address it was sent to, and each reply leaves from that
// address. A thousand boards then cost one socket rather than a thousand, read many
// datagrams to a system call, and their replies wait in one queue under one timer (when the
// only fault asked for is a delay) rather than under a timer each.

#include "sim/controller.h"
#include "sim/reply_pacer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>

#include <deque>
#include <memory>
#include <vector>

namespace vantor::sim {

struct BoardsOptions {
    QHostAddress first; // the first board's address; the others follow it
    int count = 1;
    quint16 port = 0;             // 0: a free one
    ControllerOptions controller; // flashDir: the folder of the boards' folders
    FrontOptions front;
    QList<int> refuseOn; // boards from 1
    QList<int> silent;
};

class UdpBoards : public QObject {
public:
    explicit UdpBoards(const BoardsOptions& options);
    ~UdpBoards() override;

    bool isBound() const { return fd_ >= 0; }
    QString errorString() const { return error_; }
    quint16 port() const { return port_; }
    QHostAddress last() const;

private:
    struct Board {
        std::unique_ptr<Controller> controller;
        std::unique_ptr<ReplyPacer> pacer; // for faults beyond a delay
        bool silent = false;
    };
    struct Due {
        qint64 at;
        quint32 from, to;
        quint16 toPort;
        QByteArray bytes;
    };
    void read();
    void handle(quint32 board, quint32 from, quint16 fromPort, QByteArray line);
    void sendFrom(quint32 from, quint32 to, quint16 port, const QByteArray& bytes);
    void release();
    static void address(mmsghdr& m, iovec& io, sockaddr_in& to, char* control, const Due& d);

    int fd_ = -1;
    quint16 port_ = 0;
    QString error_;
    std::unique_ptr<QSocketNotifier> notifier_;
    quint32 first_;
    std::vector<Board> boards_;
    bool delayOnly_;
    int delayMs_;
    std::deque<Due> due_; // in the order they are due: the delay is the same for all
    QElapsedTimer clock_;
    QTimer timer_;
};

} // namespace vantor::sim
