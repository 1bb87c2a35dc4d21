#pragma once
// Everything `vantor` says: the answers of console commands on stdout, the traffic in a
// board's log, one JSON object per board, the progress line and the closing table on
// stderr.

#include "options.h"
#include "progress.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>

#include <optional>

namespace vantor::cli {

enum class Status { Done, Refused, Denied, Mismatch, NoAnswer, Link, File, Interrupted };

int exitCode(Status status);
QString statusName(Status status);

struct Result {
    QString board;
    QString command;
    Status status = Status::Done;
    int lines = 0;
    qint64 bytes = 0;
    double seconds = 0;
    QString message;
    QString output; // what a console command printed
};

// One board's traffic, as the window's log has it: what is sent as a line, what is
// received as it came; flushed at every write, and a write that fails never stops the work.
class TrafficLog {
public:
    // False, with errorString(), when the file cannot be opened for appending.
    bool open(const QString& path);
    QString errorString() const { return file_.errorString(); }
    void write(const QByteArray& bytes);

private:
    QFile file_;
};

class Output {
public:
    explicit Output(const Options& options);

    // Text of a board for stdout: converted from the code page.
    QString text(const QByteArray& bytes) const;
    // Printed on stdout, prefixed by the board when there are several.
    void print(const QString& board, const QString& text);
    // The progress line, on a terminal only.
    bool showsProgress() const { return tty_; }
    void progress(const Progress& progress, bool final = false);
    // The progress line ends: what comes next starts on a line of its own.
    void endProgress();
    void result(const Result& result);
    void table(const QList<Result>& results);

private:
    void draw(const Progress& progress, bool final);

    const Options& o_;
    bool tty_;
    QElapsedTimer clock_;
    ProgressLine line_;
    std::optional<Progress> last_;
    bool progressShown_ = false;
};

} // namespace vantor::cli
