#pragma once
// One command on one board, driven by the core's exchanges: the job sends what an
// exchange answers, waits for the board's reply with a time-out, repeats what is safe to
// repeat when an answer is lost, and ends with a Result.
//
//   link opened ──► first line ──► answers ──► exchange ──► settled ──► next line ... ──► Result
//                        └── time-out: the line again (a program line, VER, the listing),
//                            the transfer again from its Open line (flash), or "no answer"
//
// A line is settled by all its answers. A line sent more than once (its answer was late,
// not lost) gets an answer for every copy: the next line goes out only once every copy
// has been answered, or once the board has been quiet for --idle after the last answer
// (a copy or its answer may have been lost). Any copy's refusal refuses the line. So a
// late answer is never taken for the next line's, as long as it comes within --idle.
// The answers still due to a flash transfer given up are taken the same way before the
// transfer starts again.
//
// A job that does not end "done" says how far it got and what it left behind: the lines
// or bytes the board took, and a local file left as it was (what came kept beside it).

#include "fleet/output.h"
#include "jobs/lazy_timer.h"
#include "jobs/local_file.h"
#include "jobs/progress.h"
#include "link/board_link.h"
#include "options.h"

#include "core/flash_read.h"
#include "core/flash_write.h"
#include "core/listing_capture.h"
#include "core/program_download.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

class BoardJob : public QObject {
    Q_OBJECT
public:
    BoardJob(const Options& options, const Board& board, Output& output);
    ~BoardJob() override;

    void start();
    // On a link that is open already and stays with its owner (vantor term); what the
    // job sends goes into the owner's log, what it receives the owner logs.
    void startOn(BoardLink& link, TrafficLog& log);
    // Ends the job at once as interrupted (Ctrl-C), saying how far it got.
    void interrupt();
    bool running() const { return started_ && !finished_; }
    // Where the job is now, and where it is in the command's own phase (a download's
    // lines while its listing is read back to verify them).
    const Progress& progress() const { return progress_; }
    const Progress& mainProgress() const { return main_; }
    // The last thing that happened: an answer, or a time-out.
    QString lastEvent() const;

signals:
    void finished(const vantor::cli::Result& result);
    void progressed();

private:
    enum class Phase { Opening, Console, Erase, Download, Listing, Put, ReadBack };
    // What a line is, for telling the answers that end it and those that refuse it.
    enum class Kind { Console, Program, Listing, Flash, Close };
    // What a handler makes of one answer to the line in flight.
    enum class Verdict {
        More,     // a part of the answer: the line is still answering
        Answered, // the answer is complete: next_ goes on once the line is settled
        Lost,     // a part of the answer is missing (a READ's data): as if it timed out
        Ended,    // the handler has ended the job
    };
    using Handler = std::function<Verdict(const QByteArray&)>;

    struct InFlight {
        QByteArray bytes; // CR LF included, before framing
        Kind kind = Kind::Console;
        bool resendable = false;
        int copies = 0;     // times sent
        int answered = 0;   // copies whose answer is complete
        bool first = false; // the answer has come (the first complete one)
        bool fresh = false; // sent again, and no answer since
    };

    // Engine (board_job.cpp).
    static bool ends(Kind kind, const QByteArray& reply);
    // The job's start on `link`: the clock, its name, and its answers.
    void attach(BoardLink& link);
    void begin();
    // A new line; its answers go to `handler`, and next_ (set before, or by the handler)
    // goes on once it is settled.
    void sendLine(const QByteArray& line, Kind kind, bool resendable, Handler handler);
    void transmit();
    void onAnswer(const QByteArray& bytes);
    void otherCopyAnswered(const QByteArray& reply);
    void take(Verdict verdict);
    void onSilence();
    void onQuiet();
    void settle();
    // The line's answer did not come, or came in part: again, start over, or "no answer".
    void lose();
    QString awaiting() const;
    void finish(Status status, const QString& message = {});
    // Ends short of done: "COMMAND: WHAT; how far it got and what it left behind".
    void fail(Status status, const QString& what);
    QString aftermath();
    QString localAftermath();
    void setProgress(Phase phase, const char* name, qint64 done, qint64 total, Unit unit);
    void advance(qint64 done);
    core::Link coreLink() const;
    QString where() const;
    QString localName(const QString& path) const;
    bool openLocal(const QString& path);
    bool writeLocal(const std::string& bytes);
    // Puts a local file in its target's place; false (and failed) when it cannot.
    bool commitLocal();
    // Sends CLOSE, takes its answer (or the board's silence) and goes on with `next`.
    void closeThen(std::function<void()> next);

    // Console commands (job_console.cpp): each line and its answer; `then` goes on after
    // the last one instead of finishing.
    void runConsole(const QList<QByteArray>& lines, bool repeatable,
                    std::function<void()> then = nullptr);
    void nextConsoleLine();
    Verdict consoleAnswer(const QByteArray& line, const QByteArray& reply);

    // The program (job_program.cpp).
    void startDownload();
    void carryOutDownload(const core::Step& step);
    Verdict downloadAnswer(const QByteArray& reply);
    void startSave(bool toFile);
    Verdict saveAnswer(const QByteArray& reply);
    void verifyListing();
    void confirmListing();
    void commitSave();

    // The flash disk (job_flash.cpp).
    void startPut();
    void openPut();
    Verdict putAnswer(const QByteArray& reply);
    void startGet(bool toFile);
    void openGet();
    Verdict getAnswer(const QByteArray& reply);
    Verdict refuseFlash(const QByteArray& reply);
    bool restartCapture();
    void commitGet();
    void sendFlashLine(const std::string& line, Handler handler);
    void verifyFlash();

    const Options& o_;
    Board board_;
    Output& out_;
    TrafficLog ownLog_;
    TrafficLog* log_ = &ownLog_;
    std::unique_ptr<BoardLink> ownLink_;
    BoardLink* link_ = nullptr;
    Result result_;
    QElapsedTimer clock_;
    LazyTimer silence_{[this] { onSilence(); }}; // no answer at all within --timeout
    LazyTimer quiet_{[this] { onQuiet(); }};     // --idle after the last answer
    InFlight line_;
    Handler handler_;
    std::function<void()> next_;
    std::function<void()> restart_; // a flash transfer from its Open line; empty: none
    int owed_ = 0;                  // answers still due to the lines of a transfer given up
    int triesLeft_ = 0;             // copies the current line may still be sent
    int restartsLeft_ = 0;          // times the transfer may still start over
    int restarts_ = 0;
    int waited_ = 0;           // time-outs a flash line has waited through
    bool unreachable_ = false; // the system said nothing listens on the board's port
    bool started_ = false;
    bool finished_ = false;
    Phase phase_ = Phase::Opening;
    Progress progress_;
    Progress main_;
    QByteArray lastAnswer_; // as it came: made text only when the live view asks
    bool timedOut_ = false;
    double firstSentMs_ = -1;

    QList<QByteArray> consoleLines_;
    qsizetype consoleAt_ = 0;
    bool consoleRepeatable_ = false;
    std::function<void()> afterConsole_;

    std::vector<std::string> program_;
    std::optional<core::ProgramDownload> download_;
    bool lastLineOut_ = false;
    int sent_ = 0;
    core::ListingCapture capture_;
    std::optional<core::FlashWrite> write_;
    std::optional<core::FlashRead> read_;
    bool readData_ = false;     // a data reply has come for the READ in flight
    bool freshCapture_ = false; // a transfer started again, waiting for its first answer
    std::string flashData_;
    qint64 flashTaken_ = 0; // bytes of the file whose WRITE the board has confirmed
    std::optional<LocalFile> local_;
    bool toFile_ = false;
    std::string captured_;
    bool verifying_ = false;
    // save: the readings of the listing, the longest, and how often it came.
    static constexpr int kReadings = 5;
    static constexpr int kVerifiedReadings = 7;
    std::optional<std::string> longestListing_;
    int agreed_ = 0;
    int listingReads_ = 0;
};

} // namespace vantor::cli
