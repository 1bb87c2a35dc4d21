#pragma once
// Every datagram from the controller: logged as it came, the link shown alive, then
// routed by the operation flags in a fixed order (save, flash send, flash receive,
// download); with no operation running it is shown in the receive pane.

#include <QByteArray>
#include <QObject>

namespace vantor {

struct Terminal;
class Winsock;
class ProgramSave;
class FlashSend;
class FlashReceive;
class Download;

struct Operations {
    ProgramSave& save;
    FlashSend& flashSend;
    FlashReceive& flashReceive;
    Download& download;
};

class UdpDispatcher : public QObject {
    Q_OBJECT
public:
    UdpDispatcher(const Terminal& terminal, Winsock& socket, const Operations& ops);

    void DataArrival(const QByteArray& datagram);

private:
    void drain();
    // What waits in the socket, for at most `limitMs`.
    void takeWaiting(qint64 limitMs);

    const Terminal& t_;
    Winsock& socket_;
    Operations ops_;
    bool drainWaiting_ = false;
};

} // namespace vantor
