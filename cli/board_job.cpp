#include "board_job.h"
#include "core/failure.h"
#include "core/flash_lines.h"
#include "core/program_file.h"
#include "core/protocol.h"

#include <QDir>
#include <QFileInfo>

#include <cctype>
#include <map>

namespace vantor::cli {

namespace {

QByteArray bytes(std::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::string_view view(const QByteArray& b) {
    return {b.constData(), std::size_t(b.size())};
}

// A reply as a message shows it: without its line ends.
QString shown(const Output& out, const QByteArray& reply) {
    return out.text(reply).trimmed();
}

// A line as the listing compares it: upper case, runs of blanks as one, no blanks at the
// ends, since an interpreter may reformat what it stores.
std::string normal(std::string_view line) {
    std::string out;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ')
                out.push_back(' ');
        } else {
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// The program the controller should hold after these lines: numbered lines stored by
// number, a number alone erasing its line, lines without a number not stored.
std::vector<std::string> expectedListing(const std::vector<std::string>& lines) {
    std::map<long long, std::string> program;
    for (const std::string& line : lines) {
        const std::string n = normal(line);
        std::size_t digits = 0;
        while (digits < n.size() && digits < 15 &&
               std::isdigit(static_cast<unsigned char>(n[digits])))
            ++digits;
        if (digits == 0)
            continue;
        const long long number = std::stoll(n.substr(0, digits));
        if (n.find_first_not_of(' ', digits) == std::string::npos)
            program.erase(number);
        else
            program[number] = n;
    }
    std::vector<std::string> listing;
    for (auto& [number, line] : program)
        listing.push_back(line);
    return listing;
}

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

std::vector<std::string> listingLines(const std::string& captured) {
    std::vector<std::string> lines;
    for (const std::string& line : core::readProgramLines(captured))
        if (!normal(line).empty())
            lines.push_back(normal(line));
    return lines;
}

} // namespace

BoardJob::BoardJob(const Options& options, const Board& board, Output& output)
    : o_(options), board_(board), out_(output) {
    silence_.setSingleShot(true);
    silence_.setInterval(o_.timeoutMs);
    connect(&silence_, &QTimer::timeout, this, &BoardJob::onSilence);
    quiet_.setSingleShot(true);
    quiet_.setInterval(o_.idleMs);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        if (afterQuiet_)
            std::exchange(afterQuiet_, nullptr)();
    });
    progress_.phase = main_.phase = o_.command;
}

BoardJob::~BoardJob() = default;

void BoardJob::start() {
    clock_.start();
    result_.command = o_.command;
    link_ = BoardLink::make(o_, board_);
    result_.board = link_->name();
    if (!o_.logFile.isEmpty() && !log_.open(localName(o_.logFile))) {
        finish(Status::File, QStringLiteral("%1: cannot open the log %2: %3")
                                 .arg(o_.command, localName(o_.logFile), log_.errorString()));
        return;
    }
    connect(link_.get(), &BoardLink::opened, this, &BoardJob::begin);
    connect(link_.get(), &BoardLink::failed, this,
            [this](const QString& why) { fail(Status::Link, why); });
    connect(link_.get(), &BoardLink::answer, this, &BoardJob::onAnswer);
    connect(link_.get(), &BoardLink::unreachable, this, [this] { unreachable_ = true; });
    link_->open();
}

core::Link BoardJob::coreLink() const {
    return link_->udp() ? core::Link::Udp : core::Link::Serial;
}

QString BoardJob::where() const {
    return result_.board;
}

void BoardJob::begin() {
    const QString& c = o_.command;
    if (c == QLatin1String("ver"))
        runConsole({QStringLiteral("VER")}, true);
    else if (c == QLatin1String("new"))
        runConsole({QStringLiteral("NEW")}, false);
    else if (c == QLatin1String("send"))
        runConsole(o_.args, false);
    else if (c == QLatin1String("download") && o_.erase)
        runConsole({QStringLiteral("NEW")}, false, [this] { startDownload(); });
    else if (c == QLatin1String("download"))
        startDownload();
    else if (c == QLatin1String("save"))
        startSave(true);
    else if (c == QLatin1String("put"))
        startPut();
    else
        startGet(true);
}

void BoardJob::sendLine(const QByteArray& line, bool waitForAnswer) {
    log_.write(line);
    awaiting_ = describe(out_.text(line));
    bool sent = false;
    QString why;
    try {
        sent = link_->send(line);
    } catch (const core::Failure& failure) {
        why = QString::fromStdString(failure.description());
    }
    if (!sent) {
        fail(Status::Link, QStringLiteral("cannot send %1 to %2%3")
                               .arg(awaiting_, where(), why.isEmpty() ? QString() : ": " + why));
        return;
    }
    if (waitForAnswer)
        silence_.start();
}

void BoardJob::onAnswer(const QByteArray& bytes) {
    log_.write(bytes);
    if (finished_ || !handler_)
        return;
    silence_.stop();
    triesLeft_ = o_.retries; // an answer came: the next one gets its tries afresh
    silentTries_ = 0;
    unreachable_ = false;
    handler_(bytes);
}

void BoardJob::onSilence() {
    if (finished_)
        return;
    ++silentTries_;
    if (repeat_ && triesLeft_ > 0) {
        --triesLeft_;
        repeat_();
        return;
    }
    QString what = silentTries_ > 1 ? QStringLiteral("no answer from %1 to %2 (%3 tries, %4 each)")
                                          .arg(where(), awaiting_)
                                          .arg(silentTries_)
                                          .arg(seconds(o_.timeoutMs))
                                    : QStringLiteral("no answer from %1 to %2 within %3")
                                          .arg(where(), awaiting_, seconds(o_.timeoutMs));
    if (unreachable_)
        what += QStringLiteral("; the system reported the port unreachable: nothing listens on "
                               "%1")
                    .arg(where());
    fail(Status::NoAnswer, what);
}

void BoardJob::finish(Status status, const QString& message) {
    if (finished_)
        return;
    finished_ = true;
    silence_.stop();
    quiet_.stop();
    handler_ = nullptr;
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
        return QStringLiteral("the board took lines 1 to %1 of the %2 of %3: it holds part of "
                              "the program")
            .arg(progress_.done)
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
    repeat_ = nullptr;
    handler_ = [this](const QByteArray&) {
        quiet_.stop();
        if (afterQuiet_)
            std::exchange(afterQuiet_, nullptr)();
    };
    afterQuiet_ = [this, next = std::move(next)] {
        handler_ = nullptr;
        next();
    };
    sendLine(bytes(core::kCloseCommand), false);
    quiet_.start(); // CLOSE has no answer to rely on: its answer, or a quiet moment
}

// ver, new, send: each line's answer is what arrives until a reply with "OK" or "ERROR",
// or until the board is quiet for --idle after its last reply.
void BoardJob::runConsole(const QStringList& lines, bool repeatable, std::function<void()> then) {
    phase_ = then ? Phase::Erase : Phase::Console;
    consoleLines_ = lines;
    consoleAt_ = 0;
    consoleRepeatable_ = repeatable;
    afterConsole_ = std::move(then);
    triesLeft_ = o_.retries;
    nextConsoleLine();
}

void BoardJob::nextConsoleLine() {
    if (finished_)
        return;
    result_.lines = int(consoleAt_);
    if (consoleAt_ == consoleLines_.size()) {
        if (afterConsole_)
            std::exchange(afterConsole_, nullptr)();
        else
            finish(Status::Done);
        return;
    }
    QByteArray line;
    for (const QChar c : consoleLines_[consoleAt_]) {
        const int b = o_.codePage->fromUnicode(c.unicode());
        line += char(b < 0 ? '?' : b);
    }
    line += "\r\n";
    repeat_ =
        consoleRepeatable_ ? std::function<void()>([this, line] { sendLine(line); }) : nullptr;
    afterQuiet_ = [this] {
        ++consoleAt_;
        nextConsoleLine();
    };
    handler_ = [this, line](const QByteArray& reply) {
        const QString text = out_.text(reply);
        if (phase_ == Phase::Console) {
            result_.output += text;
            out_.print(where(), text);
        }
        switch (core::classify(view(reply), {core::Reply::Error, core::Reply::Ok})) {
        case core::Reply::Error:
            fail(Status::Refused, QStringLiteral("\"%1\" refused by %2: %3")
                                      .arg(out_.text(line).trimmed(), where(), shown(out_, reply)));
            return;
        case core::Reply::Ok:
            quiet_.stop();
            afterQuiet_ = nullptr;
            ++consoleAt_;
            nextConsoleLine();
            return;
        default:
            quiet_.start();
        }
    };
    sendLine(line);
}

void BoardJob::startDownload() {
    QFile file(o_.args[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        finish(Status::File, QStringLiteral("download: cannot read %1").arg(o_.args[0]));
        return;
    }
    const std::string content = file.readAll().toStdString();
    program_ = core::readProgramLines(content); // its size was checked with the options
    for (std::string& line : program_)
        line = core::stripLeadingZeros(std::move(line));
    download_.emplace(program_);
    setProgress(Phase::Download, "download", 0, download_->count(), Unit::Lines);
    triesLeft_ = o_.retries;
    handler_ = [this](const QByteArray& reply) { downloadAnswer(reply); };
    carryOutDownload(download_->start());
}

void BoardJob::carryOutDownload(const core::Step& step) {
    if (!step.send.empty()) {
        const QByteArray line = bytes(step.send);
        result_.lines = ++sent_ - 1; // the lines the board has taken
        const QString what = QStringLiteral("line %1 of %2").arg(sent_).arg(o_.args[0]);
        repeat_ = [this, line, what] { // a program line may go again
            sendLine(line);
            awaiting_ = what;
        };
        advance(result_.lines);
        repeat_();
    }
    if (step.outcome == core::Outcome::Done) {
        if (step.send.empty()) // a program without lines
            finish(Status::Done, QStringLiteral("download: %1 has no lines").arg(o_.args[0]));
        lastLineOut_ = true; // complete once the board has taken the last line too
    }
}

void BoardJob::downloadAnswer(const QByteArray& reply) {
    const int line = lastLineOut_ ? int(program_.size()) : download_->position();
    const QString refused = QStringLiteral("line %1 of %2 refused by %3: %4")
                                .arg(line)
                                .arg(o_.args[0], where(), shown(out_, reply));
    const QString denied = QStringLiteral("%1 asks for a login (line %2)").arg(where()).arg(line);
    if (lastLineOut_) {
        const core::Reply kind =
            coreLink() == core::Link::Udp
                ? core::classify(view(reply),
                                 {core::Reply::Error, core::Reply::Login, core::Reply::Ok})
                : core::classify(view(reply), {core::Reply::Error, core::Reply::Ok});
        if (kind == core::Reply::Error)
            fail(Status::Refused, refused);
        else if (kind == core::Reply::Login)
            fail(Status::Denied, denied);
        else if (kind == core::Reply::Ok) {
            result_.lines = int(program_.size());
            advance(result_.lines);
            if (o_.verify)
                startSave(false);
            else
                finish(Status::Done,
                       QStringLiteral("download: %1 lines to %2").arg(result_.lines).arg(where()));
        } else {
            silence_.start(); // not the answer yet
        }
        return;
    }
    const core::Step step = download_->onReply(view(reply), coreLink());
    if (step.outcome == core::Outcome::Failed)
        fail(Status::Refused, refused);
    else if (step.outcome == core::Outcome::Denied)
        fail(Status::Denied, denied);
    else if (step.send.empty())
        silence_.start(); // other text: the line is still waiting for its answer
    else
        carryOutDownload(step);
}

// save, and the listing behind download --verify.
void BoardJob::startSave(bool toFile) {
    toFile_ = toFile;
    verifying_ = !toFile;
    captured_.clear();
    if (toFile) {
        if (!openLocal(o_.args[0]))
            return;
        result_.lines = 0;
    }
    setProgress(Phase::Listing, toFile ? "save" : "verify", 0, -1, Unit::Bytes);
    const QByteArray command = bytes(core::ListingCapture::command(coreLink()));
    triesLeft_ = o_.retries;
    repeat_ = [this, command] { // the listing again, from its start
        freshStart_ = true;
        sendLine(command);
    };
    handler_ = [this](const QByteArray& reply) { saveAnswer(reply); };
    sendLine(command);
}

// A capture tried again starts afresh at the first answer of the new try, so that until
// then what the last try received stays (and is kept if no answer comes).
bool BoardJob::startAfresh() {
    if (!std::exchange(freshStart_, false))
        return true;
    captured_.clear();
    result_.lines = 0;
    result_.bytes = 0;
    advance(0);
    if (!local_ || local_->restart())
        return true;
    fail(Status::File,
         QStringLiteral("cannot write %1: %2").arg(local_->target(), local_->errorString()));
    return false;
}

void BoardJob::saveAnswer(const QByteArray& reply) {
    if (!startAfresh())
        return;
    const core::Step step = capture_.onReply(view(reply), coreLink());
    if (!writeLocal(step.store))
        return;
    captured_ += step.store;
    advance(qint64(captured_.size()));
    if (toFile_) {
        result_.bytes += qint64(step.store.size());
        result_.lines += int(std::count(step.store.begin(), step.store.end(), '\n'));
    }
    if (step.outcome == core::Outcome::Denied) {
        fail(Status::Denied, QStringLiteral("%1 asks for a login").arg(where()));
    } else if (step.outcome == core::Outcome::Done) {
        if (verifying_) {
            verifyListing();
        } else {
            const QString target = local_->target();
            if (commitLocal())
                finish(Status::Done, QStringLiteral("save: %1 lines from %2 into %3")
                                         .arg(result_.lines)
                                         .arg(where(), target));
        }
    } else {
        silence_.start();
    }
}

void BoardJob::verifyListing() {
    const std::vector<std::string> expected = expectedListing(program_);
    const std::vector<std::string> got = listingLines(captured_);
    for (std::size_t i = 0; i < std::max(expected.size(), got.size()); ++i) {
        const std::string want = i < expected.size() ? expected[i] : "(nothing)";
        const std::string has = i < got.size() ? got[i] : "(nothing)";
        if (want != has) {
            // A download adds to what the board holds: lines the file does not have are
            // most often an older program's.
            const bool older = i >= expected.size() && !o_.erase;
            finish(Status::Mismatch,
                   QStringLiteral("download: line %1 of the listing of %2 differs: sent \"%3\", "
                                  "listed \"%4\"%5")
                       .arg(i + 1)
                       .arg(where(), out_.text(bytes(want)), out_.text(bytes(has)),
                            older ? QStringLiteral(" (the board held a program before; "
                                                   "download --new erases it first)")
                                  : QString()));
            return;
        }
    }
    finish(Status::Done,
           QStringLiteral("download: %1 lines to %2, verified").arg(result_.lines).arg(where()));
}

void BoardJob::startPut(bool again) {
    QFile file(o_.args[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        finish(Status::File, QStringLiteral("put: cannot read %1").arg(o_.args[0]));
        return;
    }
    flashData_ = file.readAll().toStdString(); // what the board took stays until it answers
    const QByteArray name = o_.args[1].toLatin1();
    write_.emplace(flashData_, view(name));
    setProgress(Phase::Put, "put", 0, qint64(flashData_.size()), Unit::Bytes);
    if (!again)
        triesLeft_ = o_.retries;
    // A lost answer starts the whole transfer again from its Open line, never one Write.
    repeat_ = [this] { closeThen([this] { startPut(true); }); };
    handler_ = [this](const QByteArray& reply) { putAnswer(reply); };
    sendLine(bytes(write_->open().send));
}

void BoardJob::putAnswer(const QByteArray& reply) {
    const qint64 sent = write_->position() - 1; // the bytes out before this answer
    const core::Step step = write_->onReply(view(reply));
    if (step.outcome == core::Outcome::Failed) {
        const QString message =
            QStringLiteral("%1 refused by %2: %3").arg(o_.args[1], where(), shown(out_, reply));
        closeThen([this, message] { fail(Status::Refused, message); });
    } else if (step.outcome == core::Outcome::Done) {
        flashTaken_ = result_.bytes = write_->total();
        advance(flashTaken_);
        closeThen([this] {
            if (o_.verify)
                startGet(false);
            else
                finish(Status::Done, QStringLiteral("put: %1 bytes to %2 on %3")
                                         .arg(result_.bytes)
                                         .arg(o_.args[1], where()));
        });
    } else if (!step.send.empty()) {
        flashTaken_ = sent; // this "OK" confirmed every piece sent so far
        advance(flashTaken_);
        sendLine(bytes(step.send));
    } else {
        silence_.start();
    }
}

// get, and the read-back behind put --verify.
void BoardJob::startGet(bool toFile, bool again) {
    toFile_ = toFile;
    freshStart_ = again;
    if (!again)
        captured_.clear();
    if (toFile && !local_ && !openLocal(o_.args.size() > 1 ? o_.args[1] : o_.args[0]))
        return;
    setProgress(Phase::ReadBack, toFile ? "get" : "verify", qint64(captured_.size()),
                toFile ? -1 : qint64(flashData_.size()), Unit::Bytes);
    const QByteArray name = (toFile ? o_.args[0] : o_.args[1]).toLatin1();
    read_.emplace(view(name));
    if (!again)
        triesLeft_ = o_.retries;
    repeat_ = [this] { closeThen([this] { startGet(toFile_, true); }); };
    handler_ = [this](const QByteArray& reply) { getAnswer(reply); };
    sendLine(bytes(read_->open().send));
}

void BoardJob::getAnswer(const QByteArray& reply) {
    if (!startAfresh())
        return;
    const core::Step step = read_->onReply(view(reply));
    if (!writeLocal(step.store))
        return;
    captured_ += step.store;
    if (toFile_)
        result_.bytes = qint64(captured_.size());
    if (!step.store.empty())
        advance(qint64(captured_.size()));
    if (step.outcome == core::Outcome::Failed) {
        const QString name = toFile_ ? o_.args[0] : o_.args[1];
        const QString message =
            QStringLiteral("%1 refused by %2: %3").arg(name, where(), shown(out_, reply));
        closeThen([this, message] { fail(Status::Refused, message); });
    } else if (step.outcome == core::Outcome::Done) {
        closeThen([this] {
            if (!toFile_) {
                verifyFlash();
                return;
            }
            const QString target = local_->target();
            if (commitLocal())
                finish(Status::Done, QStringLiteral("get: %1 bytes from %2 into %3")
                                         .arg(result_.bytes)
                                         .arg(where(), target));
        });
    } else if (!step.send.empty()) {
        sendLine(bytes(step.send));
    } else {
        silence_.start();
    }
}
void BoardJob::verifyFlash() {
    const auto mismatch =
        std::mismatch(flashData_.begin(), flashData_.end(), captured_.begin(), captured_.end());
    if (mismatch.first == flashData_.end() && mismatch.second == captured_.end()) {
        finish(Status::Done, QStringLiteral("put: %1 bytes to %2 on %3, verified")
                                 .arg(result_.bytes)
                                 .arg(o_.args[1], where()));
        return;
    }
    finish(Status::Mismatch, QStringLiteral("put: %1 on %2 differs from %3 at byte %4")
                                 .arg(o_.args[1], where(), o_.args[0])
                                 .arg(mismatch.first - flashData_.begin()));
}

} // namespace vantor::cli
