#pragma once
// The open link of a bus: its devices' commands run on it one after another, and it stays
// open from one device to the next. Between two devices it waits until the line has been
// quiet for --idle (core::BusQuiet); what comes in meanwhile (a late answer of the device
// before) goes into that device's log and is nobody's answer.

#include "core/bus_quiet.h"
#include "fleet/output.h"
#include "link/board_link.h"
#include "options.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace vantor::cli {

class BoardJob;

class BusLink : public QObject {
public:
    // `ready` is called whenever the next device may start: the link opened (or failed to),
    // and the line has been quiet long enough since the device before.
    BusLink(const Options& options, const Board& first, std::function<void()> ready);
    ~BusLink() override;

    bool ready() const;
    // The next device's command on the link; on a link that could not be opened (or went
    // away) it ends at once with the reason.
    void run(BoardJob& job, const Board& board);
    void ended(bool owes);

private:
    void open();
    void armQuiet();
    double now() const { return double(clock_.nsecsElapsed()) / 1e6; }

    const Options& o_;
    std::unique_ptr<BoardLink> link_;
    std::function<void()> ready_;
    core::BusQuiet quiet_;
    QElapsedTimer clock_;
    QTimer timer_;
    bool opening_ = false;
    bool open_ = false;
    QString down_; // why the link is not there; empty while it is
    Board last_;   // the device whose log takes what comes between two devices
    std::unique_ptr<TrafficLog> between_;
};

} // namespace vantor::cli
