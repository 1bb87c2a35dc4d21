#include "routing/udp_dispatcher.h"
#include "links/winsock.h"
#include "ops/download.h"
#include "ops/flash_receive.h"
#include "ops/flash_send.h"
#include "ops/program_save.h"
#include "shell/failure_trap.h"
#include "shell/terminal.h"

#include <QElapsedTimer>
#include <QLabel>

namespace vantor {

namespace {
// Long enough to take a burst in one go, short enough to keep the window painting.
constexpr qint64 kSliceMs = 10;
constexpr qint64 kCatchUpMs = 100;
} // namespace

UdpDispatcher::UdpDispatcher(const Terminal& terminal, Winsock& socket, const Operations& ops)
    : t_(terminal), socket_(socket), ops_(ops) {
    connect(&socket_, &Winsock::dataWaiting, this, [this] {
        if (drainWaiting_)
            return;
        drainWaiting_ = true;
        t_.gate.whenFree([this] {
            drainWaiting_ = false;
            drain();
        });
    });
    // Everything waiting now, handled in the state from before the operation starts.
    t_.gate.addCatchUp([this] { takeWaiting(kCatchUpMs); });
}

void UdpDispatcher::takeWaiting(qint64 limitMs) {
    // Datagrams of other senders are taken within the limit too: a flood of them never
    // holds the window.
    QElapsedTimer spent;
    spent.start();
    while (spent.elapsed() < limitMs && socket_.hasData()) {
        if (std::optional<QByteArray> datagram = socket_.getData())
            DataArrival(*datagram);
    }
}

void UdpDispatcher::drain() {
    // Datagrams are taken one at a time, in order; a handler that opens a dialog holds
    // the gate, and the rest waits in the socket until it is done. A flood is taken in
    // slices, so that the window still paints and answers clicks meanwhile.
    takeWaiting(kSliceMs);
    // After a slice that ran out, the socket notifies again by itself: it still holds
    // data, and reading re-armed it.
}

void UdpDispatcher::DataArrival(const QByteArray& datagram) {
    Gate::Hold hold(t_.gate);
    SharedState& s = t_.state;
    s.RxText.clear();
    trapFailures(t_.dialogs, [&] {
        s.RxText = datagram;
        t_.log.logText(s.RxText);
        t_.controls.YesConnect->show();
        t_.controls.NoConnect->hide();
        if (s.ListActive == 1)
            ops_.save.onUdpReply();
        else if (s.FlashSendActive == 1)
            ops_.flashSend.onReply();
        else if (s.FlashRecvActive == 1)
            ops_.flashReceive.onReply();
        else if (s.DownloadActive == 1)
            ops_.download.onUdpReply();
        else
            t_.pane.show(s.RxText);
    });
}

} // namespace vantor
