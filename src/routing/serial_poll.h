#pragma once
// The 20 ms poll of the COM port: heartbeat on the indicator, every chunk logged as it
// came, RTU frames reassembled and checked in RTU mode, and each piece of text routed
// by Com_Parser: to the save, to the download, or into the receive pane.

#include <QObject>

namespace vantor {

struct Terminal;
class MSComm;
class SerialLink;
class ProgramSave;
class Download;

class SerialPoll : public QObject {
    Q_OBJECT
public:
    SerialPoll(const Terminal& terminal, MSComm& port, SerialLink& link, ProgramSave& save,
               Download& download);

    // One TMRComm tick. A tick that comes while another handler runs is skipped; the
    // next one follows 20 ms later.
    void tick();
    void Com_Parser();

private:
    void heartbeat();
    // Everything waiting on the port: logged, shown, reassembled and parsed.
    void take();
    void catchUp();
    void clearTick();
    void reassemble();

    const Terminal& t_;
    MSComm& port_;
    SerialLink& link_;
    ProgramSave& save_;
    Download& download_;
};

} // namespace vantor
