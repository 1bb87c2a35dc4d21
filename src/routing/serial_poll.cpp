#include "routing/serial_poll.h"
#include "core/rtu_reassembly.h"
#include "links/mscomm.h"
#include "links/serial_link.h"
#include "ops/download.h"
#include "ops/program_save.h"
#include "shell/failure_trap.h"
#include "shell/indicator.h"
#include "shell/terminal.h"

#include <QTimer>

namespace vantor {

namespace {
const QColor kWhite(255, 255, 255);
const QColor kGrey(128, 128, 128);
const QColor kReceiveRed(255, 0, 0);
constexpr int kIdleGiveUp = 5;
} // namespace

SerialPoll::SerialPoll(const Terminal& terminal, MSComm& port, SerialLink& link, ProgramSave& save,
                       Download& download)
    : t_(terminal), port_(port), link_(link), save_(save), download_(download) {
    connect(t_.controls.TMRComm, &QTimer::timeout, this, &SerialPoll::tick);
    t_.gate.addCatchUp([this] { catchUp(); });
}

void SerialPoll::heartbeat() {
    SharedState& s = t_.state;
    if (++s.BlinkTicks == 10) {
        s.BlinkTicks = 1;
        link_.fillIndicator(t_.controls.Pic->fillColor() == kWhite ? kGrey : kWhite);
    }
}

void SerialPoll::tick() {
    if (t_.gate.busy())
        return;
    Gate::Hold hold(t_.gate);
    SharedState& s = t_.state;
    clearTick();
    silently([&] {
        heartbeat();
        if (port_.InBufferCount() == 0) {
            if (++s.IdleTicks > kIdleGiveUp - 1) {
                s.IdleTicks = kIdleGiveUp;
                s.RtuRxBuffer.clear(); // an unfinished RTU reply is given up
            }
            return;
        }
        take();
    });
}

void SerialPoll::catchUp() {
    if (port_.InBufferCount() == 0)
        return;
    clearTick();
    silently([&] { take(); });
}

void SerialPoll::clearTick() {
    t_.state.RxText.clear();
    t_.state.RtuCrcCalc.clear();
    t_.state.RtuCrcRecv.clear();
}

void SerialPoll::take() {
    SharedState& s = t_.state;
    s.IdleTicks = 0;
    s.RxText = port_.Input();
    // The log never fails, and the chunk reaches the parser whatever became of it.
    t_.log.logText(s.RxText);
    link_.fillIndicator(kReceiveRed);
    if (link_.mode() == SerialMode::Rtu)
        reassemble();
    else
        Com_Parser();
}

void SerialPoll::reassemble() {
    SharedState& s = t_.state;
    s.RtuRxBuffer.append(s.RxText.constData(), static_cast<std::size_t>(s.RxText.size()));
    do {
        core::RtuStep step = core::takeRtuFrame(s.RtuRxBuffer);
        s.RtuLen = step.length;
        if (step.kind == core::RtuStep::Kind::Incomplete)
            return;
        s.RtuCrcCalc = std::move(step.crcCalc);
        s.RtuCrcRecv = std::move(step.crcRecv);
        s.RxText = QByteArray::fromStdString(step.data);
        if (step.kind == core::RtuStep::Kind::Good)
            Com_Parser();
    } while (!s.RtuRxBuffer.empty());
    if (t_.controls.TMRComm->isActive())
        t_.controls.TMRComm->start();
}

void SerialPoll::Com_Parser() {
    SharedState& s = t_.state;
    if (s.ListActive == 1)
        save_.onSerialReply();
    else if (s.DownloadActive != 1)
        t_.pane.show(s.RxText);
    else
        download_.onSerialReply();
}

} // namespace vantor
