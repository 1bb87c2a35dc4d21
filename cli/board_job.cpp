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
}

BoardJob::~BoardJob() = default;

void BoardJob::start() {
    clock_.start();
    result_.command = o_.command;
    link_ = BoardLink::make(o_, board_);
    result_.board = link_->name();
    connect(link_.get(), &BoardLink::opened, this, &BoardJob::begin);
    connect(link_.get(), &BoardLink::failed, this, [this](const QString& why) {
        finish(Status::Link, o_.command + QStringLiteral(": ") + why);
    });
    connect(link_.get(), &BoardLink::answer, this, &BoardJob::onAnswer);
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
    out_.sent(line);
    bool sent = false;
    QString why;
    try {
        sent = link_->send(line);
    } catch (const core::Failure& failure) {
        why = QString::fromStdString(failure.description());
    }
    if (!sent) {
        finish(Status::Link, QStringLiteral("%1: cannot send to %2%3")
                                 .arg(o_.command, where(), why.isEmpty() ? QString() : ": " + why));
        return;
    }
    if (waitForAnswer)
        silence_.start();
}

void BoardJob::onAnswer(const QByteArray& bytes) {
    out_.received(bytes);
    if (finished_ || !handler_)
        return;
    silence_.stop();
    triesLeft_ = o_.retries; // an answer came: the next one gets its tries afresh
    handler_(bytes);
}

void BoardJob::onSilence() {
    if (finished_)
        return;
    if (repeat_ && triesLeft_ > 0) {
        --triesLeft_;
        repeat_();
        return;
    }
    finish(Status::NoAnswer, QStringLiteral("%1: no answer from %2 within %3 s")
                                 .arg(o_.command, where())
                                 .arg(o_.timeoutMs / 1000.0));
}

void BoardJob::finish(Status status, const QString& message) {
    if (finished_)
        return;
    finished_ = true;
    silence_.stop();
    quiet_.stop();
    handler_ = nullptr;
    file_.close();
    result_.status = status;
    result_.message =
        message.isEmpty() ? QStringLiteral("%1: done on %2").arg(o_.command, where()) : message;
    result_.seconds = clock_.elapsed() / 1000.0;
    emit finished(result_);
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

bool BoardJob::writeLocal(const std::string& data) {
    if (!toFile_ || data.empty())
        return true;
    if (file_.write(data.data(), qint64(data.size())) == qint64(data.size()) && file_.flush())
        return true;
    finish(Status::File, QStringLiteral("%1: cannot write %2: %3")
                             .arg(o_.command, file_.fileName(), file_.errorString()));
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
void BoardJob::runConsole(const QStringList& lines, bool repeatable) {
    consoleLines_ = lines;
    consoleAt_ = 0;
    consoleRepeatable_ = repeatable;
    triesLeft_ = o_.retries;
    total_ = lines.size();
    nextConsoleLine();
}

void BoardJob::nextConsoleLine() {
    if (finished_)
        return;
    done_ = result_.lines = int(consoleAt_);
    if (consoleAt_ == consoleLines_.size()) {
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
        result_.output += text;
        out_.print(where(), text);
        switch (core::classify(view(reply), {core::Reply::Error, core::Reply::Ok})) {
        case core::Reply::Error:
            finish(Status::Refused,
                   QStringLiteral("%1: \"%2\" refused by %3: %4")
                       .arg(o_.command, out_.text(line).trimmed(), where(), shown(out_, reply)));
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
    total_ = download_->count();
    triesLeft_ = o_.retries;
    handler_ = [this](const QByteArray& reply) { downloadAnswer(reply); };
    carryOutDownload(download_->start());
}

void BoardJob::carryOutDownload(const core::Step& step) {
    if (!step.send.empty()) {
        const QByteArray line = bytes(step.send);
        repeat_ = [this, line] { sendLine(line); }; // a program line may go again
        done_ = result_.lines = ++sent_ - 1;        // the lines the board has taken
        emit progressed();
        sendLine(line);
    }
    if (step.outcome == core::Outcome::Done) {
        if (step.send.empty()) // a program without lines
            finish(Status::Done, QStringLiteral("download: %1 has no lines").arg(o_.args[0]));
        lastLineOut_ = true; // complete once the board has taken the last line too
    }
}

void BoardJob::downloadAnswer(const QByteArray& reply) {
    const int line = lastLineOut_ ? int(program_.size()) : download_->position();
    const QString refused = QStringLiteral("download: line %1 of %2 refused by %3: %4")
                                .arg(line)
                                .arg(o_.args[0], where(), shown(out_, reply));
    const QString denied =
        QStringLiteral("download: %1 asks for a login (line %2)").arg(where()).arg(line);
    if (lastLineOut_) {
        const core::Reply kind =
            coreLink() == core::Link::Udp
                ? core::classify(view(reply),
                                 {core::Reply::Error, core::Reply::Login, core::Reply::Ok})
                : core::classify(view(reply), {core::Reply::Error, core::Reply::Ok});
        if (kind == core::Reply::Error)
            finish(Status::Refused, refused);
        else if (kind == core::Reply::Login)
            finish(Status::Denied, denied);
        else if (kind == core::Reply::Ok) {
            result_.lines = int(program_.size());
            done_ = total_;
            emit progressed();
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
        finish(Status::Refused, refused);
    else if (step.outcome == core::Outcome::Denied)
        finish(Status::Denied, denied);
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
        file_.setFileName(localName(o_.args[0]));
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            finish(Status::File, QStringLiteral("save: cannot create %1: %2")
                                     .arg(file_.fileName(), file_.errorString()));
            return;
        }
        result_.lines = 0;
    }
    const QByteArray command = bytes(core::ListingCapture::command(coreLink()));
    triesLeft_ = o_.retries;
    repeat_ = [this, command] { // the listing again, from its start
        captured_.clear();
        if (toFile_)
            file_.resize(0);
        sendLine(command);
    };
    handler_ = [this](const QByteArray& reply) { saveAnswer(reply); };
    sendLine(command);
}

void BoardJob::saveAnswer(const QByteArray& reply) {
    const core::Step step = capture_.onReply(view(reply), coreLink());
    if (!writeLocal(step.store))
        return;
    captured_ += step.store;
    if (toFile_) {
        result_.bytes += qint64(step.store.size());
        result_.lines += int(std::count(step.store.begin(), step.store.end(), '\n'));
    }
    if (step.outcome == core::Outcome::Denied) {
        finish(Status::Denied, QStringLiteral("%1: %2 asks for a login").arg(o_.command, where()));
    } else if (step.outcome == core::Outcome::Done) {
        if (verifying_)
            verifyListing();
        else
            finish(Status::Done, QStringLiteral("save: %1 lines from %2 into %3")
                                     .arg(result_.lines)
                                     .arg(where(), file_.fileName()));
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
            finish(Status::Mismatch,
                   QStringLiteral("download: line %1 of the listing of %2 differs: sent \"%3\", "
                                  "listed \"%4\"")
                       .arg(i + 1)
                       .arg(where(), out_.text(bytes(want)), out_.text(bytes(has))));
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
    flashData_ = file.readAll().toStdString();
    const QByteArray name = o_.args[1].toLatin1();
    write_.emplace(flashData_, view(name));
    total_ = qint64(flashData_.size());
    if (!again)
        triesLeft_ = o_.retries;
    // A lost answer starts the whole transfer again from its Open line, never one Write.
    repeat_ = [this] { closeThen([this] { startPut(true); }); };
    handler_ = [this](const QByteArray& reply) { putAnswer(reply); };
    sendLine(bytes(write_->open().send));
}

void BoardJob::putAnswer(const QByteArray& reply) {
    const core::Step step = write_->onReply(view(reply));
    if (step.outcome == core::Outcome::Failed) {
        const QString message = QStringLiteral("put: %1 refused by %2: %3")
                                    .arg(o_.args[1], where(), shown(out_, reply));
        closeThen([this, message] { finish(Status::Refused, message); });
    } else if (step.outcome == core::Outcome::Done) {
        result_.bytes = write_->total();
        closeThen([this] {
            if (o_.verify)
                startGet(false);
            else
                finish(Status::Done, QStringLiteral("put: %1 bytes to %2 on %3")
                                         .arg(result_.bytes)
                                         .arg(o_.args[1], where()));
        });
    } else if (!step.send.empty()) {
        done_ = write_->position() - 1;
        emit progressed();
        sendLine(bytes(step.send));
    } else {
        silence_.start();
    }
}

// get, and the read-back behind put --verify.
void BoardJob::startGet(bool toFile, bool again) {
    toFile_ = toFile;
    captured_.clear();
    if (toFile) {
        // Emptied first: no tail of an older, longer file survives.
        file_.close();
        file_.setFileName(localName(o_.args.size() > 1 ? o_.args[1] : o_.args[0]));
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            finish(Status::File, QStringLiteral("get: cannot create %1: %2")
                                     .arg(file_.fileName(), file_.errorString()));
            return;
        }
    }
    const QByteArray name = (toFile ? o_.args[0] : o_.args[1]).toLatin1();
    read_.emplace(view(name));
    if (!again)
        triesLeft_ = o_.retries;
    repeat_ = [this] { closeThen([this] { startGet(toFile_, true); }); };
    handler_ = [this](const QByteArray& reply) { getAnswer(reply); };
    sendLine(bytes(read_->open().send));
}

void BoardJob::getAnswer(const QByteArray& reply) {
    const core::Step step = read_->onReply(view(reply));
    if (!writeLocal(step.store))
        return;
    captured_ += step.store;
    done_ = qint64(captured_.size());
    if (toFile_)
        result_.bytes = done_;
    if (step.outcome == core::Outcome::Failed) {
        const QString name = toFile_ ? o_.args[0] : o_.args[1];
        const QString message = QStringLiteral("%1: %2 refused by %3: %4")
                                    .arg(o_.command, name, where(), shown(out_, reply));
        closeThen([this, message] { finish(Status::Refused, message); });
    } else if (step.outcome == core::Outcome::Done) {
        closeThen([this] {
            if (!toFile_)
                verifyFlash();
            else
                finish(Status::Done, QStringLiteral("get: %1 bytes from %2 into %3")
                                         .arg(result_.bytes)
                                         .arg(where(), file_.fileName()));
        });
    } else if (!step.send.empty()) {
        emit progressed();
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
