#include "fleet/output.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define VANTOR_ISATTY(f) _isatty(_fileno(f))
#else
#include <sys/ioctl.h>
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
    case Status::Skipped:
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
    static const char* const names[] = {"done", "refused", "denied",      "mismatch", "no answer",
                                        "link", "file",    "interrupted", "skipped"};
    return QString::fromLatin1(names[int(status)]);
}

bool unchanged(const Result& r) {
    return r.status == Status::Done && r.same.value_or(false) && r.command != QLatin1String("diff");
}

QString visible(const QString& text, bool lines) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (lines &&
            (c == '\n' || c == '\t' || (c == '\r' && i + 1 < text.size() && text[i + 1] == u'\n')))
            out += c == '\r' ? QString() : QString(QChar(c));
        else if (c < 0x20 || c == 0x7F)
            out += QLatin1Char('^') + QChar(c ^ 0x40);
        else if (c >= 0x80 && c <= 0x9F)
            out += QStringLiteral("\\x") + QString::number(int(c), 16).toUpper();
        else
            out += QChar(c);
    }
    return out;
}

Output::Output(const Options& options)
    : o_(options), tty_(VANTOR_ISATTY(stderr) != 0), stdoutTty_(VANTOR_ISATTY(stdout) != 0) {
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

void Output::print(const QString& board, const QString& text, bool named) {
    if (o_.json)
        return;
    eraseLive();
    endProgress();
    QString shown = text;
    if (named && o_.boards.size() > 1) {
        // Each line of each board on a line of its own, the board in front.
        shown.clear();
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            shown += board + QStringLiteral(": ") + line + QLatin1Char('\n');
    }
    if (stdoutTty_)
        shown = visible(shown, true);
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
    eraseLive();
    endProgress();
    const bool silentTarget = r.command == QLatin1String("scan") && r.ms < 0;
    if (o_.json && (!silentTarget || o_.all)) {
        QJsonObject object{
            {"host", r.board},     {"command", r.command},     {"result", statusName(r.status)},
            {"lines", r.lines},    {"bytes", double(r.bytes)}, {"seconds", r.seconds},
            {"message", r.message}};
        if (!r.address.isEmpty()) {
            bool number = false;
            const int address = r.address.toInt(&number);
            object.insert(QStringLiteral("link"), r.board.chopped(r.address.size() + 1));
            object.insert(QStringLiteral("address"),
                          number ? QJsonValue(address) : QJsonValue(r.address));
        }
        if (!r.output.isEmpty())
            object.insert(QStringLiteral("output"), r.output);
        if (r.command == QLatin1String("new") || r.command == QLatin1String("send") ||
            r.command == QLatin1String("download") || r.command == QLatin1String("put"))
            object.insert(QStringLiteral("changed"), r.changed);
        if (r.command == QLatin1String("diff") && r.same) {
            object.insert(QStringLiteral("same"), *r.same);
            const auto line = [](const std::optional<QString>& text) {
                return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
            };
            if (const Difference* d = r.difference.get()) {
                object.insert(QStringLiteral("first_difference"),
                              QJsonObject{{"line", d->line},
                                          {"listed", line(d->listed)},
                                          {"file", line(d->file)}});
                object.insert(QStringLiteral("diff"), d->diff);
            }
        }
        if (r.ms >= 0)
            object.insert(QStringLiteral("ms"), qRound(r.ms * 10) / 10.0);
        std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).append('\n').constData(),
                   stdout);
        std::fflush(stdout);
    }
    // The differences as a unified diff as they stand: its header names the board.
    if (!o_.json && r.command == QLatin1String("diff") && r.same) {
        if (r.difference)
            print(r.board, r.difference->diff, false);
        else if (*r.same)
            print(r.board, QStringLiteral("same\n"));
    }
    // A skipped board, and a target that scan finds silent, is said once in the table; on a
    // pipe, the table alone says how a run of many boards ended.
    if (r.status != Status::Done && r.status != Status::Skipped &&
        r.command != QLatin1String("scan") && (tty_ || o_.boards.size() < 2))
        std::fprintf(stderr, "vantor: %s\n", visible(r.message).toUtf8().constData());
}

void Output::live(const QStringList& rows) {
    eraseLive();
    int columns = 80;
#ifdef TIOCGWINSZ
    winsize size{};
    if (::ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        columns = size.ws_col;
#endif
    for (const QString& row : rows) // a row that wrapped would not be erased whole
        std::fprintf(stderr, "%s\n", visible(row).left(columns - 1).toUtf8().constData());
    std::fflush(stderr);
    liveRows_ = int(rows.size());
}

void Output::eraseLive() {
    if (liveRows_ > 0)
        std::fprintf(stderr, "\033[%dA\r\033[J", liveRows_);
    liveRows_ = 0;
}

void Output::table(const QList<Result>& results) {
    if (results.size() < 2)
        return;
    eraseLive();
    std::fputs(closingTable(results).toUtf8().constData(), stderr);
}

namespace {

// The boards of a run with the same result and message, their addresses aside.
struct Group {
    Status status;
    bool unchanged;
    QString message; // with "<board>" for the board's address
    QString first;   // the first board's own message
    QStringList boards;
};

QList<Group> groups(const QList<Result>& results) {
    QList<Group> groups;
    QHash<QString, qsizetype> index;
    for (const Result& r : results) {
        const QString message =
            r.status == Status::Done ? QString() : QString(r.message).replace(r.board, "<board>");
        const QString key = (unchanged(r) ? QStringLiteral("unchanged") : statusName(r.status)) +
                            QLatin1Char('\n') + message;
        const auto at = index.constFind(key);
        if (at == index.constEnd()) {
            index.insert(key, groups.size());
            const QString own = QString(r.message).replace(QStringLiteral("<board>"), r.board);
            groups.append({r.status, unchanged(r), message, own, {r.board}});
        } else {
            groups[*at].boards.append(r.board);
        }
    }
    // Failures first, the worst on top; then the boards skipped, then those done.
    const auto rank = [](Status s) {
        return s == Status::Done ? -2 : s == Status::Skipped ? -1 : exitCode(s);
    };
    std::stable_sort(groups.begin(), groups.end(), [&](const Group& a, const Group& b) {
        const int x = rank(a.status), y = rank(b.status);
        return x != y ? x > y : a.boards.size() > b.boards.size();
    });
    return groups;
}

} // namespace

QString closingTable(const QList<Result>& results) {
    constexpr qsizetype kNamed = 8; // boards named in a group, the rest counted
    QString out = QStringLiteral("%1 %2  %3\n").arg("result", -11).arg("boards", 6).arg("message");
    for (const Group& g : groups(results)) {
        out += QStringLiteral("%1 %2  %3")
                   .arg(g.unchanged ? QStringLiteral("unchanged") : statusName(g.status), -11)
                   .arg(g.boards.size(), 6)
                   .arg(visible(g.boards.size() == 1 ? g.first : g.message))
                   .trimmed() +
               QLatin1Char('\n');
        QString named = g.boards.mid(0, kNamed).join(QStringLiteral(", "));
        if (g.boards.size() > kNamed)
            named += QStringLiteral(" and %1 more").arg(g.boards.size() - kNamed);
        out += QString(20, QLatin1Char(' ')) + named + QLatin1Char('\n');
    }
    return out;
}

QString scanTable(const QList<Result>& results, bool all) {
    QString out = QStringLiteral("# %1 %2  %3\n").arg("target", -21).arg("ms", 6).arg("version");
    for (const Result& r : results) {
        if (r.ms < 0 && !all)
            continue;
        QString said = QStringLiteral("(no answer)");
        if (r.ms >= 0) {
            const QStringList lines =
                r.output.split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts);
            said = lines.isEmpty() ? QString() : visible(lines.first().trimmed());
        }
        out += QStringLiteral("%1 %2  %3")
                   .arg(r.board, -23)
                   .arg(r.ms < 0 ? QStringLiteral("-") : QString::number(qRound(r.ms)), 6)
                   .arg(said)
                   .trimmed() +
               QLatin1Char('\n');
    }
    return out;
}

} // namespace vantor::cli
