#pragma once
// Replies leave a front end through a pacer, so that the fault options and the serial gap
// between the replies to one command are applied in one place, in order, with timers and
// never with a sleep.
//
// Faults, each on request and each replayable: a lost reply; a board kept busy by a
// command past the client's time-out, whose answers (and all later ones) then come late
// but in order, as a board that works one line at a time; a reply from another source
// port (UDP); lines ended by CR alone; a reply cut into pieces with pauses between them
// (serial). A chaos seed mixes them at rates drawn from the seed, and every random choice
// comes from that seed.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>

namespace vantor::sim {

struct FrontOptions {
    int replyDelayMs = 0;   // each reply leaves this long after its command came in
    int dropEvery = 0;      // every n-th reply of the run is lost; 0: none
    double dropRate = 0;    // each reply is lost with this chance
    int stallMs = 0;        // how long a stalled command keeps the board busy
    int stallEvery = 0;     // every n-th command stalls; 0: none
    int stallAt = 0;        // the n-th command stalls, alone; 0: none
    double stallRate = 0;   // each command stalls with this chance
    int otherPortEvery = 0; // UDP: every n-th reply leaves from a second socket
    double otherPortRate = 0;
    bool crOnly = false;    // line ends are CR alone
    int splitMs = 0;        // serial: each reply in pieces this far apart; 0: whole
    std::uint32_t seed = 0; // for the rates
    bool rtu = false;       // serial: read all input as RTU frames, whatever the first byte

    // Every fault at rates drawn from `seed`: a board that misbehaves in its own way.
    static FrontOptions chaos(std::uint32_t seed);
};

// What the faults did so far, for a test to judge a run by.
struct FaultCounts {
    int commands = 0; // taken by the board
    int dropped = 0;
    int stalled = 0;
    int otherPort = 0;
    int split = 0;
    int refusals = 0;          // replies with "ERROR" that went out
    qint64 longestDelayMs = 0; // from a command's arrival to a reply's leaving
};

class ReplyPacer : public QObject {
    Q_OBJECT
public:
    // `otherPort`: the reply is to leave from the front's second socket.
    using Sender = std::function<void(const QByteArray& bytes, bool otherPort)>;

    // gapMs separates the replies to one command from each other.
    ReplyPacer(FrontOptions options, int gapMs, QObject* parent = nullptr);

    // The replies to one command; each goes to send, in order, when it is due. `text`:
    // they are the board's text, not frames that carry it. `extraDelayMs`: a slow device
    // behind the gateway; what is queued after its replies waits for them.
    void post(const QList<QByteArray>& replies, const Sender& send, bool text = true,
              int extraDelayMs = 0);
    const FaultCounts& faults() const { return faults_; }

private:
    struct Pending {
        QByteArray bytes;
        Sender send;
        qint64 readyAt = 0;
        qint64 arrivedAt = 0; // the command's
        int gapMs = 0;        // after the bytes before it
        bool otherPort = false;
    };

    bool chance(int every, int count, double rate);
    void queue(const QByteArray& reply, Pending item);
    void release();

    FrontOptions options_;
    int gapMs_;
    std::deque<Pending> pending_;
    QElapsedTimer clock_;
    QTimer timer_;
    qint64 lastSentAt_ = 0;
    int repliesSeen_ = 0;
    int commandsSeen_ = 0;
    std::mt19937 random_;
    FaultCounts faults_;
};

} // namespace vantor::sim
