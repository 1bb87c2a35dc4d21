#pragma once
// One command on one board: the core's BoardEngine decides, this job carries its answers
// out. It opens the link (or takes one that is open), hands the engine every answer with
// the time, wakes it at its deadline with one timer, sends and logs the lines it gives,
// prints a console command's replies, writes the local file of save and get through
// LocalFile, and turns the engine's result into vantor's Result.
//
//   link ──answer──► BoardEngine ──► line to send ──► link
//   timer ──tick───►      │      ──► deadline ──► timer
//                         └─────► progress, bytes to store, result ──► Output, LocalFile

#include "fleet/output.h"
#include "jobs/progress.h"
#include "link/board_link.h"
#include "options.h"

#include "core/board_engine.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

namespace vantor::cli {

// A board's own file when a run has several: its address (a serial port's name) and
// device before the extension (back-127.0.0.1_5111-16.bas, back-ttyUSB0-16.bas).
QString localName(const Options& options, const Board& board, const QString& path);

class BoardJob : public QObject {
    Q_OBJECT
public:
    BoardJob(const Options& options, const Board& board, Output& output);
    ~BoardJob() override;

    void start();
    // On a link that is open already and stays with its owner: vantor term, whose log
    // takes what the job sends and receives, or a bus, whose devices (log null) each have
    // a log of their own.
    // `linkDown`: the link could not be opened or went away, and the job ends so.
    void startOn(BoardLink& link, TrafficLog* log, const QString& linkDown = {});
    // Ends the job at once as interrupted (Ctrl-C), saying how far it got.
    void interrupt();
    bool running() const { return started_ && !finished_; }
    // Once finished: the board may still answer (core::BoardEngine::owesAnswers).
    bool owesAnswers() const { return engine_ && engine_->owesAnswers(); }
    // Where the job is now, and where it is in the command's own phase (a download's
    // lines while its listing is read back to verify them).
    // Read from the engine when asked (the live view asks ten times a second), not at
    // every line of a thousand boards.
    Progress progress() const;
    Progress mainProgress() const;
    // The last thing that happened: an answer, or a time-out.
    QString lastEvent() const;

signals:
    void finished(const vantor::cli::Result& result);
    void progressed();

private:
    class Io;
    class Store;

    // The job's start on `link`: the clock, its name, and its answers.
    void attach(BoardLink& link);
    // The board's own log, with --log; false (and finished) when it cannot be opened.
    bool openLog();
    // The engine for the command, once the files it sends are read; false (and
    // finished) when one cannot be.
    bool prepare();
    void begin();
    double now() const { return double(clock_.nsecsElapsed()) / 1e6; }
    // The timer at the engine's deadline: moved only when the deadline comes sooner,
    // since with a thousand boards every restart of a timer costs.
    void rearm();
    void onTimer();
    void onEnd(const core::JobResult& result);
    // Ends before the engine has begun: a log or a file that cannot be opened.
    void finishEarly(Status status, const QString& message);
    QString localName(const QString& path) const;

    const Options& o_;
    Board board_;
    Output& out_;
    TrafficLog ownLog_;
    TrafficLog* log_ = &ownLog_;
    std::unique_ptr<BoardLink> ownLink_;
    BoardLink* link_ = nullptr;
    std::unique_ptr<Io> io_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<core::BoardEngine> engine_;
    Result result_;
    QElapsedTimer clock_;
    QTimer timer_;
    std::optional<double> timerAt_; // when the running timer fires
    bool started_ = false;
    bool finished_ = false;
};

} // namespace vantor::cli
