#pragma once
// The board's serial side, on a pseudo-terminal: the terminal opens slavePath() as its
// COM port and this end serves the master. Three framings are told apart by what stands
// at the front of the input:
//   - an RTU request frame (a non-printable address byte, then function 67): its data
//     field is the command, and every reply text goes back as RTU frames to that address;
//     a frame with a bad CRC is dropped, as a Modbus device would;
//   - otherwise text lines ending in CR LF or LF, plain or "MDC " wrapped.
// Served with a Bus, a frame is answered by the device at its address, if any.
// Replies to one command leave gapMs apart, so the terminal's 20 ms poll reads them as
// separate chunks.

#include "sim/bus.h"
#include "sim/controller.h"
#include "sim/reply_pacer.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>

namespace vantor::sim {

class PtyFront : public QObject {
    Q_OBJECT
public:
    PtyFront(Controller& controller, FrontOptions options = {}, int gapMs = 60,
             QObject* parent = nullptr);
    PtyFront(Bus& bus, FrontOptions options = {}, int gapMs = 60, QObject* parent = nullptr);
    ~PtyFront() override;

    bool isOpen() const { return master_ >= 0; }
    QString errorString() const { return error_; }
    QString slavePath() const { return slavePath_; }
    const FaultCounts& faults() const { return pacer_.faults(); }

private:
    PtyFront(std::unique_ptr<Bus> own, Bus* bus, FrontOptions options, int gapMs, QObject* parent);
    void readMaster();
    enum class Front { Frame, Text, Unfinished };
    Front front() const;
    void handleInput();
    // One whole text line off the front, handled; false when no line end has come yet.
    bool takeLine();
    void giveUp();
    void handleRtuCommand(unsigned char address, std::string data);
    void handleTextCommand(std::string line);
    void post(const QList<QByteArray>& bursts, bool text, bool late);
    void send(const QByteArray& bytes);
    void flushOutput();

    std::unique_ptr<Bus> ownBus_; // a board on its own
    Bus& bus_;
    FrontOptions options_;
    ReplyPacer pacer_;
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString error_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer resumeTimer_;
    QTimer staleTimer_;
    std::string input_;
    QByteArray output_;
};

} // namespace vantor::sim
