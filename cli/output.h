#pragma once
// Everything `vantor` says: the answers of console commands on stdout, the traffic in the
// log, one JSON object per board, the progress line and the closing table on stderr.

#include "options.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>

namespace vantor::cli {

enum class Status { Done, Refused, Denied, Mismatch, NoAnswer, Link, File };

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

class Output {
public:
    explicit Output(const Options& options);

    // Throws UsageError when the log cannot be opened.
    void openLog();
    void sent(const QByteArray& line);
    void received(const QByteArray& bytes);
    // Text of a board for stdout: converted from the code page, prefixed by the board when
    // there are several.
    QString text(const QByteArray& bytes) const;
    void print(const QString& board, const QString& text);
    void progress(qint64 done, qint64 total, const char* unit);
    void result(const Result& result);
    void table(const QList<Result>& results);

private:
    const Options& o_;
    QFile log_;
    bool tty_;
    QElapsedTimer clock_;
    bool progressShown_ = false;
};

} // namespace vantor::cli
