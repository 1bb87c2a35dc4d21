#pragma once
// The boards of a run, at most --jobs at once on one event loop, in the order given; a
// failure on one never stops the others, unless the operator said how many may fail
// (--max-failures) or that the first few go alone (--canary): then no board starts after
// the stop, those running finish, and the rest are skipped. The exit status is the highest
// of the boards', and at least 1 when a board was skipped.
//
// The devices of a bus (one link with --gateway or --rtu) run one after another on its one
// open link (BusLink); --jobs then counts buses. A scan over UDP starts its targets at
// --rate a second rather than --jobs at a time: most of a range is silent, and each silent
// target only waits out its short time-out.

#include "fleet/bus_link.h"
#include "fleet/output.h"
#include "jobs/board_job.h"
#include "options.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace vantor::cli {

class Batch : public QObject {
public:
    Batch(const Options& options, Output& output);
    ~Batch() override;
    void run();
    // Ctrl-C: the boards in flight end "interrupted", saying how far they got; those not
    // started yet are "skipped"; the table closes the run as always.
    void interrupt();

private:
    // Starts what may start, later: a board that ends at once (a log it cannot open) then
    // never starts the next one from inside its own start, nor ends the run before the
    // event loop runs.
    // A bus: boards [begin, end) of the run, the same link, in address order.
    struct Bus {
        std::uint32_t begin = 0, end = 0, next = 0;
        bool running = false;          // holds one of --jobs
        bool busy = false;             // one of its boards runs
        std::unique_ptr<BusLink> link; // when it has several devices
    };

    void schedule();
    void next();
    // The bus's next board, when it may start; ends the bus after its last.
    void advance(std::size_t bus);
    void startBoard(std::size_t bus, std::size_t index);
    void onFinished(std::size_t bus, std::size_t index, const Result& result);
    // A board may start: nothing stops the run, and the canaries are done or it is one.
    bool mayStart(std::size_t index) const;
    // A new bus may start: a slot of --jobs is free, and a scan's pace allows it.
    bool mayStartBus();
    void skipTheRest();
    void end();
    void showProgress(bool final = false);
    void drawLive();
    bool writeFailed();

    const Options& o_;
    Output& out_;
    // Only the boards running have a job: a scan of 65,536 targets holds a few thousand.
    std::map<std::size_t, std::unique_ptr<BoardJob>> jobs_;
    std::vector<Bus> buses_;
    std::size_t nextBus_ = 0;
    std::vector<std::size_t> waiting_; // running buses whose next board waits for the canaries
    QTimer pace_;                      // a scan's next start
    QList<Result> results_;            // in the order of the boards; all of them at the end
    std::vector<bool> ended_;          // which results_ are there
    QSet<QString> messages_;           // their messages, "<board>" for the board
    std::size_t total_ = 0;
    std::size_t started_ = 0;
    int running_ = 0; // boards
    int runningBuses_ = 0;
    int done_ = 0;
    int failed_ = 0;
    int unchanged_ = 0; // done without a write: the board held the file
    int status_ = 0;
    bool progressSeen_ = false;
    bool interrupted_ = false;
    bool scheduled_ = false;
    bool over_ = false;
    QString stop_; // why no further board starts; empty: they do
    QElapsedTimer clock_;
    QTimer live_; // the live view's pace
};

} // namespace vantor::cli
