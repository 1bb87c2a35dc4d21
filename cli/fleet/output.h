#pragma once
// Everything `vantor` says: the answers of console commands on stdout, the traffic in a
// board's log, one JSON object per board, the progress line and the closing table on
// stderr.

#include "jobs/progress.h"
#include "options.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace vantor::cli {

enum class Status { Done, Refused, Denied, Mismatch, NoAnswer, Link, File, Interrupted, Skipped };

int exitCode(Status status);
QString statusName(Status status);

// diff: where a board's listing differs from the file.
struct Difference {
    int line = 0;                        // the first differing line of the listing, from 1
    std::optional<QString> listed, file; // each side's text there; none past its end
    QString diff;                        // the listing against the file, a unified diff
};

// A scan keeps one for each of up to 65,536 targets: what few commands have stays small.
struct Result {
    QString board;   // its name: the link, and @address for a device on a bus
    QString address; // the device's on a bus; empty: none
    QString command;
    Status status = Status::Done;
    bool changed = false;     // a line that may alter the board went out
    std::optional<bool> same; // diff, --if-changed: whether the board held the file
    int lines = 0;
    qint64 bytes = 0;
    double seconds = 0;
    QString message;
    QString output; // what a console command printed
    double ms = -1; // from the first line sent to the first answer; -1: none came
    std::shared_ptr<const Difference> difference;
};

// Done without writing, since the board held the file already (--if-changed).
bool unchanged(const Result& r);

// A board's text as a terminal may show it: control characters, C0 and C1, as ^X and
// \xNN, so that what a board sends can never move the cursor or change the terminal.
// `lines`: line ends stay (CR LF as LF), for text printed as lines.
QString visible(const QString& text, bool lines = false);

// The table that closes a run of several boards: failures first, the boards with the same
// message (their addresses aside) in one group.
QString closingTable(const QList<Result>& results);
// What `vantor scan` lists: "TARGET MS FIRST-LINE" per board that answered (all of them
// with `all`), a comment line on top, so that it reads as a hosts file as it stands.
QString scanTable(const QList<Result>& results, bool all);

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
    // Printed on stdout, each line prefixed by the board when there are several (unless
    // not `named`: a text that names its board itself).
    void print(const QString& board, const QString& text, bool named = true);
    // The progress line, on a terminal only.
    bool showsProgress() const { return tty_; }
    void progress(const Progress& progress, bool final = false);
    // The progress line ends: what comes next starts on a line of its own.
    void endProgress();
    // The live view of a run of many boards, on a terminal: `rows` in place of the rows
    // drawn before, each cut to the terminal's width. Whatever else is written to the
    // terminal erases it first.
    void live(const QStringList& rows);
    void eraseLive();
    void result(const Result& result);
    void table(const QList<Result>& results);

private:
    void draw(const Progress& progress, bool final);

    const Options& o_;
    bool tty_;
    bool stdoutTty_;
    QElapsedTimer clock_;
    ProgressLine line_;
    std::optional<Progress> last_;
    bool progressShown_ = false;
    int liveRows_ = 0;
};

} // namespace vantor::cli
