#include "jobs/board_job.h"
#include "jobs/job_support.h"

#include "core/failure.h"
#include "core/flash_lines.h"
#include "core/protocol.h"

#include <QDir>
#include <QFileInfo>

namespace vantor::cli {

using namespace job;

namespace {

// "VER", "WRITE": what a line is, for a message.
QString describe(const QString& line) {
    const QString text = line.trimmed();
    for (const char* flash : {"OPENWR", "OPENRD", "WRITE", "READ"})
        if (text.startsWith(QLatin1String(flash)))
            return QLatin1String(flash);
    return text.size() <= 40 ? text : text.left(39) + QChar(0x2026);
}

QString seconds(int ms) {
    return QString::number(ms / 1000.0) + QStringLiteral(" s");
}

} // namespace

BoardJob::BoardJob(const Options& options, const Board& board, Output& output)
    : o_(options), board_(board), out_(output) {
    silence_.setInterval(o_.timeoutMs);
    quiet_.setInterval(o_.idleMs);
    progress_.phase = main_.phase = o_.command;
}

BoardJob::~BoardJob() = default;

void BoardJob::start() {
    ownLink_ = BoardLink::make(o_, board_);
    attach(*ownLink_);
    if (!o_.logFile.isEmpty() && !ownLog_.open(localName(o_.logFile))) {
        finish(Status::File, QStringLiteral("%1: cannot open the log %2: %3")
                                 .arg(o_.command, localName(o_.logFile), ownLog_.errorString()));
        return;
    }
    connect(link_, &BoardLink::opened, this, &BoardJob::begin);
    if (!o_.logFile.isEmpty()) // a thousand boards without a log skip it for every datagram
        connect(link_, &BoardLink::received, this,
                [this](const QByteArray& bytes) { log_->write(bytes); });
    link_->open();
}

void BoardJob::startOn(BoardLink& link, TrafficLog& log) {
    log_ = &log;
    attach(link);
    begin();
}

void BoardJob::attach(BoardLink& link) {
    started_ = true;
    clock_.start();
    result_.command = o_.command;
    link_ = &link;
    result_.board = link_->name();
    connect(link_, &BoardLink::failed, this,
            [this](const QString& why) { fail(Status::Link, why); });
    connect(link_, &BoardLink::answer, this, &BoardJob::onAnswer);
    connect(link_, &BoardLink::unreachable, this, [this] { unreachable_ = true; });
}

QString BoardJob::lastEvent() const {
    return timedOut_ ? QStringLiteral("no answer in time") : shown(out_, lastAnswer_);
}

core::Link BoardJob::coreLink() const {
    return link_->udp() ? core::Link::Udp : core::Link::Serial;
}

QString BoardJob::where() const {
    return result_.board;
}

void BoardJob::begin() {
    const QString& c = o_.command;
    restartsLeft_ = o_.retries; // a flash transfer's starts over, for the whole command
    if (c == QLatin1String("ver") || c == QLatin1String("scan"))
        runConsole({QByteArrayLiteral("VER")}, true);
    else if (c == QLatin1String("new"))
        runConsole({QByteArrayLiteral("NEW")}, false);
    else if (c == QLatin1String("send"))
        runConsole(o_.lines, false);
    else if (c == QLatin1String("download") && o_.erase)
        runConsole({QByteArrayLiteral("NEW")}, false, [this] { startDownload(); });
    else if (c == QLatin1String("download"))
        startDownload();
    else if (c == QLatin1String("save"))
        startSave(true);
    else if (c == QLatin1String("put"))
        startPut();
    else
        startGet(true);
}

void BoardJob::sendLine(const QByteArray& line, Kind kind, bool resendable, Handler handler) {
    line_ = InFlight{line, kind, resendable};
    handler_ = std::move(handler);
    triesLeft_ = o_.retries;
    waited_ = 0;
    // The window logs what its console and its flash transfers send, nothing else.
    if (kind == Kind::Flash || kind == Kind::Close ||
        (kind == Kind::Console && o_.command == QLatin1String("send")))
        log_->write(line);
    transmit();
}

void BoardJob::transmit() {
    ++line_.copies;
    if (firstSentMs_ < 0)
        firstSentMs_ = clock_.nsecsElapsed() / 1e6;
    bool sent = false;
    QString why;
    try {
        sent = link_->send(line_.bytes);
    } catch (const core::Failure& failure) {
        why = QString::fromStdString(failure.description());
    }
    if (!sent) {
        fail(Status::Link, QStringLiteral("cannot send %1 to %2%3")
                               .arg(awaiting(), where(), why.isEmpty() ? QString() : ": " + why));
        return;
    }
    if (line_.kind == Kind::Close)
        quiet_.start(); // nothing is relied on from a CLOSE: its answer, or a quiet moment
    else
        silence_.start();
}

// What the line in flight is, for a message; worked out only when one is needed.
QString BoardJob::awaiting() const {
    if (line_.kind == Kind::Program)
        return QStringLiteral("line %1 of %2").arg(sent_).arg(o_.args[0]);
    return visible(describe(out_.text(line_.bytes)));
}

// The answers that end a line's answer, by what the line is.
bool BoardJob::ends(Kind kind, const QByteArray& reply) {
    using core::Reply;
    switch (kind) {
    case Kind::Program:
        return core::classify(view(reply), {Reply::Error, Reply::Ok}) != Reply::Other;
    case Kind::Listing:
        return core::matches(view(reply), Reply::OkNearStart);
    case Kind::Console:
    case Kind::Flash:
    case Kind::Close:
        break;
    }
    return core::classify(view(reply), {Reply::Error, Reply::EndOfData, Reply::Ok}) != Reply::Other;
}

void BoardJob::onAnswer(const QByteArray& reply) {
    if (finished_ || line_.copies == 0)
        return;
    unreachable_ = false;
    if (result_.ms < 0)
        result_.ms = clock_.nsecsElapsed() / 1e6 - firstSentMs_;
    lastAnswer_ = reply;
    timedOut_ = false;
    // Over UDP a login prompt ends any command, as the window's dispatcher ends any
    // operation with "ACCESS DENIED".
    if (coreLink() == core::Link::Udp && core::matches(view(reply), core::Reply::Login)) {
        fail(Status::Denied,
             QStringLiteral("%1 asks for a login: \"%2\"").arg(where(), shown(out_, reply)));
        return;
    }
    if (owed_ > 0) { // an answer of a line given up: it only tells that line has ended
        if (ends(Kind::Flash, reply))
            --owed_;
        quiet_.start();
        return;
    }
    if (line_.first)
        otherCopyAnswered(reply);
    else
        take(handler_(reply));
}

// An answer to another copy of a line answered already: it only counts, or refuses.
void BoardJob::otherCopyAnswered(const QByteArray& reply) {
    silence_.stop();
    if (line_.kind != Kind::Listing && line_.kind != Kind::Close &&
        core::matches(view(reply), core::Reply::Error)) {
        fail(Status::Refused,
             QStringLiteral("%1 refused by %2: %3 (the answer to the line sent again)")
                 .arg(awaiting(), where(), shown(out_, reply)));
        return;
    }
    if (ends(line_.kind, reply) && ++line_.answered >= line_.copies)
        settle();
    else
        quiet_.start();
}

void BoardJob::take(Verdict verdict) {
    switch (verdict) {
    case Verdict::More:
        if (line_.kind == Kind::Console || line_.kind == Kind::Close) {
            silence_.stop();
            quiet_.start(); // an answer without "OK" ends when the board falls quiet
        } else if (line_.kind != Kind::Flash) { // a READ's data and "OK" come together
            silence_.start(); // a long answer (a listing) has its time from its last part
        }
        return;
    case Verdict::Answered:
        silence_.stop();
        quiet_.stop();
        line_.first = true;
        if (++line_.answered >= line_.copies)
            settle();
        else
            quiet_.start(); // the answers to the other copies, or a quiet moment
        return;
    case Verdict::Lost:
        silence_.stop();
        ++line_.answered; // that copy's answer has ended, short of a part
        lose();
        return;
    case Verdict::Ended:
        return;
    }
}

void BoardJob::onQuiet() {
    if (finished_)
        return;
    settle(); // whatever else is due has been lost
}

void BoardJob::settle() {
    quiet_.stop();
    silence_.stop();
    owed_ = 0;
    line_.first = true;
    if (const auto next = std::exchange(next_, nullptr))
        next();
}

void BoardJob::onSilence() {
    if (finished_)
        return;
    // A flash line cannot go twice (the board would write or read twice): a slow board
    // gets the time of the tries, and the transfer starts over only after them.
    if (!line_.resendable && triesLeft_ > 0) {
        --triesLeft_;
        ++waited_;
        silence_.start();
        return;
    }
    lose();
}

void BoardJob::lose() {
    timedOut_ = true;
    if (line_.resendable && triesLeft_ > 0) {
        --triesLeft_;
        line_.fresh = true;
        transmit();
        return;
    }
    if (restart_ && restartsLeft_ > 0) {
        --restartsLeft_;
        ++restarts_;
        owed_ += line_.copies - line_.answered; // a late answer is still to come
        restart_();
        return;
    }
    const int tries = line_.copies + waited_;
    QString what = tries > 1 ? QStringLiteral("no answer from %1 to %2 (%3 tries, %4 each)")
                                   .arg(where(), awaiting())
                                   .arg(tries)
                                   .arg(seconds(o_.timeoutMs))
                             : QStringLiteral("no answer from %1 to %2 within %3")
                                   .arg(where(), awaiting(), seconds(o_.timeoutMs));
    if (restarts_ > 0)
        what += QStringLiteral(", the transfer started over %1 times").arg(restarts_);
    if (unreachable_)
        what += QStringLiteral("; the system reported the port unreachable: nothing listens on "
                               "%1")
                    .arg(where());
    fail(Status::NoAnswer, what);
}

void BoardJob::interrupt() {
    fail(Status::Interrupted, QStringLiteral("interrupted"));
}

void BoardJob::finish(Status status, const QString& message) {
    if (finished_)
        return;
    finished_ = true;
    silence_.stop();
    quiet_.stop();
    handler_ = nullptr;
    next_ = nullptr;
    if (link_ && link_ != ownLink_.get())
        link_->disconnect(this); // the link goes on serving its owner
    if (local_)
        local_->abandon(false); // committed already when the command is done
    result_.status = status;
    result_.message =
        message.isEmpty() ? QStringLiteral("%1: done on %2").arg(o_.command, where()) : message;
    result_.seconds = clock_.elapsed() / 1000.0;
    emit finished(result_);
}

void BoardJob::fail(Status status, const QString& what) {
    if (finished_)
        return;
    const QString after = aftermath();
    finish(status, o_.command + QStringLiteral(": ") + what +
                       (after.isEmpty() ? QString() : QStringLiteral("; ") + after));
}

// How far the job got, and what it leaves on the board and on disk.
QString BoardJob::aftermath() {
    const QString file = o_.args.value(0);
    switch (phase_) {
    case Phase::Opening:
    case Phase::Console:
        return {};
    case Phase::Erase:
        return QStringLiteral("nothing of %1 was sent").arg(file);
    case Phase::Download:
        if (progress_.done == 0)
            return QStringLiteral("the board took no line of %1").arg(file);
        return QStringLiteral("the board took %1 of the %2 of %3: it holds part of the program")
            .arg(progress_.done == 1 ? QStringLiteral("line 1")
                                     : QStringLiteral("lines 1 to %1").arg(progress_.done))
            .arg(progress_.total)
            .arg(file);
    case Phase::Put:
        return QStringLiteral("the board took %1 of %2 bytes: %3 on its flash disk is "
                              "incomplete")
            .arg(flashTaken_)
            .arg(flashData_.size())
            .arg(o_.args.value(1));
    case Phase::Listing:
    case Phase::ReadBack:
        break;
    }
    if (!toFile_) // the read-back behind --verify
        return o_.command == QLatin1String("put")
                   ? QStringLiteral("all %1 bytes were taken, but could not be read back")
                         .arg(flashData_.size())
                   : QStringLiteral("all %1 lines were taken, but the listing could not be "
                                    "read back")
                         .arg(program_.size());
    return localAftermath();
}

// A local file left as it was, and what came kept beside it.
QString BoardJob::localAftermath() {
    if (!local_)
        return {};
    const QString target = local_->target();
    const qint64 received = local_->size();
    const bool existed = local_->targetExisted();
    const QString kept = local_->abandon(true);
    local_.reset();
    const QString left = existed ? QStringLiteral("%1 left as it was").arg(target)
                                 : QStringLiteral("%1 not created").arg(target);
    if (kept.isEmpty())
        return left;
    return QStringLiteral("%1; the %2 received are in %3").arg(left, sizeText(received), kept);
}

void BoardJob::setProgress(Phase phase, const char* name, qint64 done, qint64 total, Unit unit) {
    phase_ = phase;
    progress_ = {QLatin1String(name), done, total, unit};
    if (progress_.phase == o_.command)
        main_ = progress_;
    emit progressed();
}

void BoardJob::advance(qint64 done) {
    progress_.done = done;
    if (progress_.phase == o_.command)
        main_.done = done;
    emit progressed();
}

QString BoardJob::localName(const QString& path) const {
    if (o_.boards.size() < 2)
        return path;
    // One file per board: its address before the extension.
    const QFileInfo info(path);
    const QString tag = QString(board_.label()).replace(QLatin1Char(':'), QLatin1Char('_'));
    const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
    return info.dir().filePath(info.completeBaseName() + "-" + tag + suffix);
}

bool BoardJob::openLocal(const QString& path) {
    local_.emplace(localName(path));
    if (local_->open())
        return true;
    const QString message = QStringLiteral("%1: cannot write %2: %3")
                                .arg(o_.command, local_->target(), local_->errorString());
    local_.reset();
    finish(Status::File, message);
    return false;
}

bool BoardJob::writeLocal(const std::string& data) {
    if (!toFile_ || !local_ || local_->write(data))
        return true;
    fail(Status::File,
         QStringLiteral("cannot write %1: %2").arg(local_->target(), local_->errorString()));
    return false;
}

bool BoardJob::commitLocal() {
    if (local_->commit()) {
        local_.reset();
        return true;
    }
    fail(Status::File,
         QStringLiteral("cannot replace %1: %2").arg(local_->target(), local_->errorString()));
    return false;
}

void BoardJob::closeThen(std::function<void()> next) {
    next_ = std::move(next);
    sendLine(bytes(core::kCloseCommand), Kind::Close, false, [](const QByteArray& reply) {
        return ends(Kind::Close, reply) ? Verdict::Answered : Verdict::More;
    });
}

} // namespace vantor::cli
