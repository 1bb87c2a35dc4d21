#pragma once
// The boards of a run, at most --jobs at once on one event loop, in the order given; a
// failure on one never stops the others, unless the operator said how many may fail
// (--max-failures) or that the first few go alone (--canary): then no board starts after
// the stop, those running finish, and the rest are skipped. The exit status is the highest
// of the boards', and at least 1 when a board was skipped.

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
    void schedule();
    void next();
    void startBoard(std::size_t index);
    void onFinished(std::size_t index, const Result& result);
    bool mayStart() const;
    void skipTheRest();
    void end();
    void showProgress(bool final = false);
    void drawLive();
    bool writeFailed();

    const Options& o_;
    Output& out_;
    // Only the boards running have a job: a scan of 65,536 targets holds a few thousand.
    std::map<std::size_t, std::unique_ptr<BoardJob>> jobs_;
    std::vector<std::optional<Result>> results_; // in the order of the boards
    QSet<QString> messages_;                     // their messages, "<board>" for the board
    std::size_t total_ = 0;
    std::size_t started_ = 0;
    int running_ = 0;
    int done_ = 0;
    int failed_ = 0;
    int status_ = 0;
    bool progressSeen_ = false;
    bool interrupted_ = false;
    bool scheduled_ = false;
    bool ended_ = false;
    QString stop_; // why no further board starts; empty: they do
    QElapsedTimer clock_;
    QTimer live_; // the live view's pace
};

} // namespace vantor::cli
