#include "output.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define VANTOR_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define VANTOR_ISATTY(f) isatty(fileno(f))
#endif

namespace vantor::cli {

int exitCode(Status status) {
    switch (status) {
    case Status::Done:
        return 0;
    case Status::Refused:
    case Status::Denied:
    case Status::Mismatch:
        return 1;
    case Status::File:
        return 2;
    case Status::NoAnswer:
        return 3;
    case Status::Link:
        return 4;
    }
    return 4;
}

QString statusName(Status status) {
    static const char* const names[] = {"done",      "refused", "denied", "mismatch",
                                        "no answer", "link",    "file"};
    return QString::fromLatin1(names[int(status)]);
}

Output::Output(const Options& options) : o_(options), tty_(VANTOR_ISATTY(stderr) != 0) {
    clock_.start();
}

void Output::openLog() {
    if (o_.logFile.isEmpty())
        return;
    log_.setFileName(o_.logFile);
    if (!log_.open(QIODevice::Append))
        throw UsageError("cannot open the log " + o_.logFile.toStdString() + ": " +
                         log_.errorString().toStdString());
}

// As the window's log: what is sent as a line, what is received as it came; flushed at
// every write, and a write that fails never stops the work.
void Output::sent(const QByteArray& line) {
    if (log_.isOpen() && log_.write(line) >= 0)
        log_.flush();
}

void Output::received(const QByteArray& bytes) {
    sent(bytes);
}

QString Output::text(const QByteArray& bytes) const {
    QString out;
    for (const char byte : bytes) {
        const char32_t c = o_.codePage->toUnicode(static_cast<unsigned char>(byte));
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

void Output::print(const QString& board, const QString& text) {
    if (o_.json)
        return;
    QString shown = text;
    if (o_.boards.size() > 1) {
        // Each line of each board on a line of its own, the board in front.
        shown.clear();
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            shown += board + QStringLiteral(": ") + line + QLatin1Char('\n');
    }
    std::fputs(shown.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void Output::progress(qint64 done, qint64 total, const char* unit) {
    if (!tty_ || total <= 0)
        return;
    const double seconds = clock_.elapsed() / 1000.0;
    const double rate = seconds > 0 ? done / seconds : 0;
    const QString left =
        rate > 0 ? QString::number(int((total - done) / rate)) + QStringLiteral(" s left")
                 : QString();
    std::fprintf(stderr, "\r%lld of %lld %s, %.1f %s/s %s   ", static_cast<long long>(done),
                 static_cast<long long>(total), unit, rate, unit, left.toUtf8().constData());
    progressShown_ = true;
}

void Output::result(const Result& r) {
    if (progressShown_) {
        std::fputs("\n", stderr);
        progressShown_ = false;
    }
    if (o_.json) {
        QJsonObject object{
            {"host", r.board},     {"command", r.command},     {"result", statusName(r.status)},
            {"lines", r.lines},    {"bytes", double(r.bytes)}, {"seconds", r.seconds},
            {"message", r.message}};
        if (!r.output.isEmpty())
            object.insert(QStringLiteral("output"), r.output);
        std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).append('\n').constData(),
                   stdout);
        std::fflush(stdout);
    }
    if (r.status != Status::Done)
        std::fprintf(stderr, "vantor: %s\n", r.message.toUtf8().constData());
}

void Output::table(const QList<Result>& results) {
    if (results.size() < 2)
        return;
    std::fprintf(stderr, "%-24s %-10s %10s %12s %9s\n", "board", "result", "lines", "bytes",
                 "seconds");
    for (const Result& r : results)
        std::fprintf(stderr, "%-24s %-10s %10d %12lld %9.2f\n", r.board.toUtf8().constData(),
                     statusName(r.status).toUtf8().constData(), r.lines,
                     static_cast<long long>(r.bytes), r.seconds);
}

} // namespace vantor::cli
