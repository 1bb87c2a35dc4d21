#pragma once
// One command on one board, driven by the core's exchanges: the job sends what an
// exchange answers, waits for the board's reply with a time-out, repeats what is safe to
// repeat when an answer is lost, and ends with a Result.
//
//   link opened ──► first line ──► answer ──► exchange ──► next line ... ──► Result
//                        └── time-out: resend (a program line, VER, the listing from its
//                            start, a flash transfer from its Open line), or "no answer"
//
// A job that does not end "done" says how far it got and what it left behind: the lines
// or bytes the board took, and a local file left as it was (what came kept beside it).

#include "board_link.h"
#include "local_file.h"
#include "options.h"
#include "output.h"
#include "progress.h"

#include "core/flash_read.h"
#include "core/flash_write.h"
#include "core/listing_capture.h"
#include "core/program_download.h"

#include <QElapsedTimer>
#include <QFile>
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
    // Where the job is now, and where it is in the command's own phase (a download's
    // lines while its listing is read back to verify them).
    const Progress& progress() const { return progress_; }
    const Progress& mainProgress() const { return main_; }

signals:
    void finished(const vantor::cli::Result& result);
    void progressed();

private:
    using Handler = std::function<void(const QByteArray&)>;

    enum class Phase { Opening, Console, Erase, Download, Listing, Put, ReadBack };

    void begin();
    void sendLine(const QByteArray& line, bool waitForAnswer = true);
    void onAnswer(const QByteArray& bytes);
    void onSilence();
    QString awaiting() const;
    void finish(Status status, const QString& message = {});
    // Ends short of done: "COMMAND: WHAT; how far it got and what it left behind".
    void fail(Status status, const QString& what);
    QString aftermath();
    void setProgress(Phase phase, const char* name, qint64 done, qint64 total, Unit unit);
    void advance(qint64 done);
    core::Link coreLink() const;
    QString where() const;
    QString localName(const QString& path) const;
    bool openLocal(const QString& path);
    bool writeLocal(const std::string& bytes);
    bool startAfresh();
    // Puts a local file in its target's place; false (and failed) when it cannot.
    bool commitLocal();
    // Sends CLOSE, takes its answer (or the board's silence) and goes on with `next`.
    void closeThen(std::function<void()> next);

    // Each line and its answer; `then` goes on after the last one instead of finishing.
    void runConsole(const QStringList& lines, bool repeatable,
                    std::function<void()> then = nullptr);
    void nextConsoleLine();
    void startDownload();
    void carryOutDownload(const core::Step& step);
    void downloadAnswer(const QByteArray& bytes);
    void startSave(bool toFile);
    void saveAnswer(const QByteArray& bytes);
    // `again`: a retry, which spends the tries left rather than starting them afresh.
    void startPut(bool again = false);
    void putAnswer(const QByteArray& bytes);
    void startGet(bool toFile, bool again = false);
    void getAnswer(const QByteArray& bytes);
    void verifyListing();
    void verifyFlash();

    const Options& o_;
    Board board_;
    Output& out_;
    TrafficLog log_;
    std::unique_ptr<BoardLink> link_;
    Result result_;
    QElapsedTimer clock_;
    QTimer silence_; // no answer at all within --timeout
    QTimer quiet_;   // --idle after the last answer
    Handler handler_;
    std::function<void()> repeat_; // what a lost answer may repeat; empty: nothing
    std::function<void()> afterQuiet_;
    int triesLeft_ = 0;
    int silentTries_ = 0;      // sends in a row that got no answer within --timeout
    bool unreachable_ = false; // the system said nothing listens on the board's port
    QByteArray lastLine_;      // the line sent last, for a message
    bool finished_ = false;
    Phase phase_ = Phase::Opening;
    Progress progress_;
    Progress main_;

    QStringList consoleLines_;
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
    std::string flashData_;
    qint64 flashTaken_ = 0; // bytes of the file whose WRITE the board has confirmed
    std::optional<LocalFile> local_;
    bool toFile_ = false;
    bool freshStart_ = false; // a capture tried again, waiting for its first answer
    std::string captured_;
    bool verifying_ = false;
};

} // namespace vantor::cli
