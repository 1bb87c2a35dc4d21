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
    case Status::Interrupted:
        return 130; // as a shell reports a program ended by Ctrl-C
    }
    return 4;
}

QString statusName(Status status) {
    static const char* const names[] = {"done",      "refused", "denied", "mismatch",
                                        "no answer", "link",    "file",   "interrupted"};
    return QString::fromLatin1(names[int(status)]);
}

Output::Output(const Options& options) : o_(options), tty_(VANTOR_ISATTY(stderr) != 0) {
    clock_.start();
}

bool TrafficLog::open(const QString& path) {
    file_.setFileName(path);
    return file_.open(QIODevice::Append);
}

void TrafficLog::write(const QByteArray& bytes) {
    if (file_.isOpen() && file_.write(bytes) >= 0)
        file_.flush();
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
    endProgress();
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

void Output::progress(const Progress& p, bool final) {
    if (!tty_)
        return;
    if (last_ && last_->phase != p.phase) {
        // A phase ends where it got to, on a line of its own.
        draw(*last_, true);
        endProgress();
    }
    last_ = p;
    draw(p, final);
}

void Output::draw(const Progress& p, bool final) {
    if (const auto text = line_.update(p, clock_.elapsed(), final)) {
        // Back to the line's start, the new text, and the rest of the old one erased.
        std::fprintf(stderr, "\r%s\033[K", text->toUtf8().constData());
        std::fflush(stderr);
        progressShown_ = true;
    }
}

void Output::endProgress() {
    if (progressShown_) {
        std::fputs("\n", stderr);
        progressShown_ = false;
    }
}

void Output::result(const Result& r) {
    endProgress();
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
