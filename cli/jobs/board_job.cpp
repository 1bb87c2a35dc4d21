#include "jobs/board_job.h"

#include "core/failure.h"
#include "jobs/local_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace vantor::cli {

namespace {

QByteArray bytes(std::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::string text(const QString& s) {
    return s.toStdString();
}

core::JobCommand commandOf(const QString& name) {
    using C = core::JobCommand;
    for (const C c :
         {C::Ver, C::Scan, C::New, C::Send, C::Download, C::Save, C::Put, C::Get, C::Diff})
        if (name == QLatin1String(core::commandName(c).data()))
            return c;
    return C::Ver;
}

Status statusOf(core::JobStatus status) {
    switch (status) {
    case core::JobStatus::Done:
        return Status::Done;
    case core::JobStatus::Refused:
        return Status::Refused;
    case core::JobStatus::Denied:
        return Status::Denied;
    case core::JobStatus::Mismatch:
        return Status::Mismatch;
    case core::JobStatus::NoAnswer:
        return Status::NoAnswer;
    case core::JobStatus::Link:
        return Status::Link;
    case core::JobStatus::File:
        return Status::File;
    case core::JobStatus::Interrupted:
        break;
    }
    return Status::Interrupted;
}

Progress progressOf(const core::JobProgress& p) {
    return {QString::fromStdString(p.phase), p.done, p.total,
            p.unit == core::ProgressUnit::Lines ? Unit::Lines : Unit::Bytes};
}

} // namespace

// The engine's way out: the link, the log, stdout, and the job's own signals.
class BoardJob::Io : public core::JobIo {
public:
    explicit Io(BoardJob& job) : job_(job) {}
    bool send(std::string_view line, std::string& why) override {
        try {
            return job_.link_->send(bytes(line));
        } catch (const core::Failure& failure) {
            why = failure.description();
            return false;
        }
    }
    void log(std::string_view line) override { job_.log_->write(bytes(line)); }
    void print(std::string_view reply) override {
        job_.out_.print(job_.result_.board, job_.out_.text(bytes(reply)));
    }
    void progressed() override { emit job_.progressed(); }
    void finished(const core::JobResult& result) override { job_.onEnd(result); }

private:
    BoardJob& job_;
};

// The local file of save and get, for the engine.
class BoardJob::Store : public core::JobStore {
public:
    explicit Store(const QString& target) : file_(target) {}
    bool open() override { return file_.open(); }
    bool write(std::string_view data) override { return file_.write(data); }
    bool restart() override { return file_.restart(); }
    bool commit() override { return file_.commit(); }
    std::string abandon(bool keep) override { return text(file_.abandon(keep)); }
    std::string target() const override { return text(file_.target()); }
    std::string errorString() const override { return text(file_.errorString()); }
    std::int64_t size() const override { return file_.size(); }
    bool targetExisted() const override { return file_.targetExisted(); }
    bool targetHasContent() const override { return QFileInfo(file_.target()).size() > 0; }

private:
    LocalFile file_;
};

BoardJob::BoardJob(const Options& options, const Board& board, Output& output)
    : o_(options), board_(board), out_(output) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &BoardJob::onTimer);
}

BoardJob::~BoardJob() = default;

void BoardJob::start() {
    ownLink_ = BoardLink::make(o_, board_);
    attach(*ownLink_);
    if (!openLog() || !prepare())
        return;
    connect(link_, &BoardLink::opened, this, &BoardJob::begin);
    link_->open();
}

void BoardJob::startOn(BoardLink& link, TrafficLog* log, const QString& linkDown) {
    link.setAddress(board_.address);
    attach(link);
    if (log)
        log_ = log;
    else if (!openLog())
        return;
    if (!prepare())
        return;
    if (linkDown.isEmpty())
        begin();
    else
        engine_->linkFailed(text(linkDown), now());
}

bool BoardJob::openLog() {
    if (o_.logFile.isEmpty())
        return true; // a thousand boards without a log skip it for every datagram
    if (!ownLog_.open(localName(o_.logFile))) {
        finishEarly(Status::File,
                    QStringLiteral("%1: cannot open the log %2: %3")
                        .arg(o_.command, localName(o_.logFile), ownLog_.errorString()));
        return false;
    }
    connect(link_, &BoardLink::received, this,
            [this](const QByteArray& bytes) { log_->write(bytes); });
    return true;
}

void BoardJob::attach(BoardLink& link) {
    started_ = true;
    clock_.start();
    result_.command = o_.command;
    link_ = &link;
    result_.board = link_->name();
    result_.address = board_.address;
}

bool BoardJob::prepare() {
    core::JobConfig c;
    c.command = commandOf(o_.command);
    c.link = link_->udp() ? core::Link::Udp : core::Link::Serial;
    c.timeoutMs = o_.timeoutMs;
    c.idleMs = o_.idleMs;
    c.retries = o_.retries;
    c.verify = o_.verify;
    c.erase = o_.erase;
    c.ifChanged = o_.ifChanged;
    c.board = text(result_.board);
    for (const QByteArray& line : o_.lines)
        c.lines.push_back(line.toStdString());
    c.file = text(o_.args.value(0));
    c.flashName = o_.flashName.toStdString();
    c.flashShown = text(o_.args.value(1));
    c.codePage = o_.codePage;
    if (c.command == core::JobCommand::Download || c.command == core::JobCommand::Put ||
        c.command == core::JobCommand::Diff) {
        QFile file(o_.args[0]); // its size was checked with the options
        if (!file.open(QIODevice::ReadOnly)) {
            finishEarly(Status::File,
                        QStringLiteral("%1: cannot read %2").arg(o_.command, o_.args[0]));
            return false;
        }
        c.data = file.readAll().toStdString();
    }
    if (c.command == core::JobCommand::Save || c.command == core::JobCommand::Get)
        store_ = std::make_unique<Store>(localName(o_.args.value(o_.args.size() > 1 ? 1 : 0)));
    io_ = std::make_unique<Io>(*this);
    engine_ = std::make_unique<core::BoardEngine>(std::move(c), *io_, store_.get());
    connect(link_, &BoardLink::failed, this,
            [this](const QString& why) { engine_->linkFailed(text(why), now()); });
    connect(link_, &BoardLink::answer, this, [this](const QByteArray& reply) {
        engine_->answer({reply.constData(), std::size_t(reply.size())}, now());
        rearm();
    });
    connect(link_, &BoardLink::unreachable, this, [this] { engine_->unreachable(); });
    return true;
}

void BoardJob::begin() {
    engine_->start(now());
    rearm();
}

void BoardJob::rearm() {
    if (finished_ || !engine_)
        return;
    const std::optional<double> at = engine_->deadline();
    if (!at || (timer_.isActive() && timerAt_ && *timerAt_ <= *at))
        return; // a timer that fires sooner looks again then
    timerAt_ = at;
    timer_.start(int(std::max(0.0, std::ceil(*at - now()))));
}

void BoardJob::onTimer() {
    timerAt_.reset();
    if (finished_)
        return;
    engine_->tick(now());
    rearm();
}

QString BoardJob::lastEvent() const {
    if (!engine_ || engine_->timedOut())
        return engine_ ? QStringLiteral("no answer in time") : QString();
    return visible(out_.text(bytes(engine_->lastAnswer())).trimmed());
}

void BoardJob::interrupt() {
    if (engine_)
        engine_->interrupt(now());
    else
        finishEarly(Status::Interrupted, o_.command + QStringLiteral(": interrupted"));
}

Progress BoardJob::progress() const {
    return engine_ ? progressOf(engine_->progress()) : Progress{o_.command};
}

Progress BoardJob::mainProgress() const {
    return engine_ ? progressOf(engine_->mainProgress()) : Progress{o_.command};
}

void BoardJob::onEnd(const core::JobResult& r) {
    finished_ = true;
    timer_.stop();
    if (link_ && link_ != ownLink_.get())
        link_->disconnect(this); // the link goes on serving its owner
    result_.status = statusOf(r.status);
    result_.message = QString::fromStdString(r.message);
    result_.lines = r.lines;
    result_.bytes = r.bytes;
    result_.output = out_.text(bytes(r.output));
    result_.ms = r.ms;
    result_.changed = r.changed;
    result_.same = r.same;
    if (r.same == false && r.differsAt > 0) {
        const auto fromUtf8 = [](const std::optional<std::string>& line) {
            return line ? std::optional(QString::fromStdString(*line)) : std::nullopt;
        };
        auto d = std::make_shared<Difference>();
        d->line = r.differsAt;
        d->listed = fromUtf8(r.listedLine);
        d->file = fromUtf8(r.fileLine);
        d->diff = QString::fromStdString(r.diff);
        result_.difference = std::move(d);
    }
    result_.seconds = clock_.elapsed() / 1000.0;
    emit finished(result_);
}

void BoardJob::finishEarly(Status status, const QString& message) {
    if (finished_)
        return;
    finished_ = true;
    if (link_ && link_ != ownLink_.get())
        link_->disconnect(this);
    result_.status = status;
    result_.message = message;
    result_.seconds = clock_.elapsed() / 1000.0;
    emit finished(result_);
}

QString BoardJob::localName(const QString& path) const {
    return cli::localName(o_, board_, path);
}

QString localName(const Options& o, const Board& board, const QString& path) {
    if (o.boards.size() < 2)
        return path;
    // One file per board: its address (a serial port's name) and device before the
    // extension.
    const QFileInfo info(path);
    QString tag = board.serial()
                      ? QFileInfo(board.serialPort).fileName()
                      : QString(board.link()).replace(QLatin1Char(':'), QLatin1Char('_'));
    if (!board.address.isEmpty())
        tag += QLatin1Char('-') + board.address;
    const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
    return info.dir().filePath(info.completeBaseName() + "-" + tag + suffix);
}

} // namespace vantor::cli
