#pragma once
// Replies leave a front end through a pacer, so that the fault options (a slow board, a
// lost reply) and the serial gap between the replies to one command are applied in one
// place, in order, with timers and never with a sleep.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>

namespace vantor::sim {

struct FrontOptions {
    int replyDelayMs = 0; // each reply leaves this long after its command came in
    int dropEvery = 0;    // every n-th reply of the run is lost; 0: none
    bool rtu = false;     // serial: read all input as RTU frames, whatever the first byte
};

class ReplyPacer : public QObject {
    Q_OBJECT
public:
    using Sender = std::function<void(const QByteArray&)>;

    // gapMs separates the replies to one command from each other.
    ReplyPacer(FrontOptions options, int gapMs, QObject* parent = nullptr);

    // The replies to one command; each goes to send, in order, when it is due.
    void post(const QList<QByteArray>& replies, const Sender& send);

private:
    struct Pending {
        QByteArray bytes;
        Sender send;
        qint64 readyAt = 0;
        bool afterGap = false;
    };

    void release();

    FrontOptions options_;
    int gapMs_;
    std::deque<Pending> pending_;
    QElapsedTimer clock_;
    QTimer timer_;
    qint64 lastSentAt_ = 0;
    int repliesSeen_ = 0;
};

} // namespace vantor::sim
