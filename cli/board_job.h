#pragma once
// One command on one board, driven by the core's exchanges: the job sends what an
// exchange answers, waits for the board's reply with a time-out, repeats what is safe to
// repeat when an answer is lost, and ends with a Result.
//
//   link opened ──► first line ──► answer ──► exchange ──► next line ... ──► Result
//                        └── time-out: resend (a program line, VER, the listing from its
//                            start, a flash transfer from its Open line), or "no answer"

#include "board_link.h"
#include "options.h"
#include "output.h"

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
    qint64 done() const { return done_; }
    qint64 total() const { return total_; }

signals:
    void finished(const vantor::cli::Result& result);
    void progressed();

private:
    using Handler = std::function<void(const QByteArray&)>;

    void begin();
    void sendLine(const QByteArray& line, bool waitForAnswer = true);
    void onAnswer(const QByteArray& bytes);
    void onSilence();
    void finish(Status status, const QString& message = {});
    core::Link coreLink() const;
    QString where() const;
    QString localName(const QString& path) const;
    bool writeLocal(const std::string& bytes);
    // Sends CLOSE, takes its answer (or the board's silence) and goes on with `next`.
    void closeThen(std::function<void()> next);

    void runConsole(const QStringList& lines, bool repeatable);
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
    std::unique_ptr<BoardLink> link_;
    Result result_;
    QElapsedTimer clock_;
    QTimer silence_; // no answer at all within --timeout
    QTimer quiet_;   // --idle after the last answer
    Handler handler_;
    std::function<void()> repeat_; // what a lost answer may repeat; empty: nothing
    std::function<void()> afterQuiet_;
    int triesLeft_ = 0;
    bool finished_ = false;
    qint64 done_ = 0;
    qint64 total_ = 0;

    QStringList consoleLines_;
    qsizetype consoleAt_ = 0;
    bool consoleRepeatable_ = false;

    std::vector<std::string> program_;
    std::optional<core::ProgramDownload> download_;
    bool lastLineOut_ = false;
    int sent_ = 0;
    core::ListingCapture capture_;
    std::optional<core::FlashWrite> write_;
    std::optional<core::FlashRead> read_;
    std::string flashData_;
    QFile file_;
    bool toFile_ = false;
    std::string captured_;
    bool verifying_ = false;
};

} // namespace vantor::cli
