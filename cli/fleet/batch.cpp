#include "fleet/batch.h"

#include <QCoreApplication>
#include <QFile>

#include <cmath>

namespace vantor::cli {

Batch::Batch(const Options& options, Output& output) : o_(options), out_(output) {
    live_.setInterval(int(ProgressLine::kPeriodMs));
    connect(&live_, &QTimer::timeout, this, &Batch::drawLive);
    pace_.setSingleShot(true);
    pace_.setTimerType(Qt::PreciseTimer);
    connect(&pace_, &QTimer::timeout, this, &Batch::next);
}

Batch::~Batch() = default;

void Batch::run() {
    clock_.start();
    total_ = std::size_t(o_.boards.size());
    results_.resize(qsizetype(total_));
    ended_.resize(total_);
    buses_.reserve(o_.bus() ? 16 : total_);
    // The boards of one bus stand together in the list, in address order.
    for (std::size_t i = 0; i < total_;) {
        std::size_t end = i + 1;
        while (o_.bus() && end < total_ &&
               o_.boards[qsizetype(end)].link() == o_.boards[qsizetype(i)].link())
            ++end;
        Bus& bus = buses_.emplace_back();
        bus.begin = bus.next = std::uint32_t(i);
        bus.end = std::uint32_t(end);
        i = end;
    }
    if (out_.showsProgress() && total_ > 1)
        live_.start();
    schedule();
}

void Batch::interrupt() {
    if (over_ || std::exchange(interrupted_, true))
        return;
    if (stop_.isEmpty())
        stop_ = QStringLiteral("interrupted");
    std::vector<BoardJob*> running;
    for (const auto& [index, job] : jobs_)
        if (job->running())
            running.push_back(job.get());
    for (BoardJob* job : running)
        job->interrupt();
    schedule();
}

void Batch::schedule() {
    if (std::exchange(scheduled_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            next();
        },
        Qt::QueuedConnection);
}

void Batch::advance(std::size_t b) {
    Bus& bus = buses_[b];
    if (!bus.running || bus.busy || over_)
        return;
    if (bus.next == bus.end || !stop_.isEmpty()) {
        bus.running = false;
        if (bus.link) // it may be the one calling
            bus.link.release()->deleteLater();
        --runningBuses_;
        schedule();
        return;
    }
    if (bus.link && !bus.link->ready())
        return; // it calls again once it is
    if (!mayStart(bus.next)) {
        waiting_.push_back(b);
        return;
    }
    startBoard(b, bus.next++);
}

void Batch::startBoard(std::size_t b, std::size_t index) {
    buses_[b].busy = true;
    ++running_;
    ++started_;
    const Board& board = o_.boards[qsizetype(index)];
    auto job = std::make_unique<BoardJob>(o_, board, out_);
    BoardJob* started = job.get();
    jobs_.emplace(index, std::move(job));
    connect(started, &BoardJob::finished, this,
            [this, b, index](const Result& r) { onFinished(b, index, r); });
    if (out_.showsProgress() && total_ == 1)
        connect(started, &BoardJob::progressed, this, [this] {
            progressSeen_ = true;
            showProgress();
        });
    if (buses_[b].link)
        buses_[b].link->run(*started, board);
    else
        started->start();
}

void Batch::onFinished(std::size_t b, std::size_t index, const Result& r) {
    showProgress(true);
    out_.result(r);
    // Kept for the table with the board's address taken out of its message: the boards
    // with the same message share one copy of it, so 65,536 silent targets cost little.
    Result& kept = results_[qsizetype(index)] = r;
    ended_[index] = true;
    const QString message = QString(r.message).replace(r.board, QStringLiteral("<board>"));
    kept.message = *messages_.insert(message);
    status_ = std::max(status_, exitCode(r.status));
    --running_;
    ++done_;
    unchanged_ += unchanged(r);
    if (r.status != Status::Done && r.status != Status::Interrupted) {
        ++failed_;
        if (o_.maxFailures > 0 && failed_ >= o_.maxFailures && stop_.isEmpty())
            stop_ = QStringLiteral("%1 boards failed (--max-failures %2)")
                        .arg(failed_)
                        .arg(o_.maxFailures);
        if (index < std::size_t(o_.canary) && stop_.isEmpty())
            stop_ = QStringLiteral("a canary failed (--canary %1)").arg(o_.canary);
    }
    // The job is still emitting: it goes once it has returned.
    bool owes = true;
    if (const auto at = jobs_.find(index); at != jobs_.end()) {
        owes = at->second->owesAnswers();
        at->second.release()->deleteLater();
        jobs_.erase(at);
    }
    Bus& bus = buses_[b];
    bus.busy = false;
    // The next device waits for the line to be quiet. A gateway's replies carry no
    // address: an answer of this device later than all its lines' (one taken for another
    // line's) would be the next one's, so the idle time is always kept there. RTU frames
    // carry theirs.
    if (bus.link)
        bus.link->ended(owes || o_.framing == Framing::Gateway);
    waiting_.push_back(b);
    schedule();
}

// The canaries go alone: the others wait until all of them are done.
bool Batch::mayStart(std::size_t index) const {
    return stop_.isEmpty() &&
           (index < std::size_t(o_.canary) || done_ >= std::min(o_.canary, int(total_)));
}

// A scan's targets start at --rate a second, the first at once; when the clock is behind,
// those it owes start together.
bool Batch::mayStartBus() {
    if (runningBuses_ >= o_.jobs)
        return false;
    if (!o_.fastScan())
        return true;
    const double dueMs = double(nextBus_) * 1000.0 / o_.rate;
    const double nowMs = double(clock_.nsecsElapsed()) / 1e6;
    if (dueMs <= nowMs)
        return true;
    if (!pace_.isActive())
        pace_.start(int(std::ceil(dueMs - nowMs)));
    return false;
}

void Batch::next() {
    if (over_)
        return;
    for (const std::size_t b : std::exchange(waiting_, {}))
        advance(b);
    while (nextBus_ < buses_.size() && mayStart(buses_[nextBus_].begin) && mayStartBus()) {
        const std::size_t b = nextBus_++;
        Bus& bus = buses_[b];
        bus.running = true;
        ++runningBuses_;
        if (bus.end - bus.begin > 1)
            bus.link = std::make_unique<BusLink>(o_, o_.boards[qsizetype(bus.begin)],
                                                 [this, b] { advance(b); });
        advance(b);
    }
    if (runningBuses_ > 0 || (stop_.isEmpty() && nextBus_ < buses_.size()))
        return;
    if (!stop_.isEmpty())
        skipTheRest();
    end();
}

void Batch::skipTheRest() {
    for (std::size_t i = 0; i < total_; ++i) {
        if (ended_[i])
            continue;
        ended_[i] = true;
        ++started_;
        Result r;
        r.board = o_.boards[qsizetype(i)].label();
        r.address = o_.boards[qsizetype(i)].address;
        r.command = o_.command;
        r.status = Status::Skipped;
        r.message = QStringLiteral("%1: skipped: %2").arg(o_.command, stop_);
        results_[qsizetype(i)] = r;
        out_.result(r);
        status_ = std::max(status_, exitCode(r.status));
    }
}

void Batch::end() {
    over_ = true;
    live_.stop();
    out_.eraseLive();
    const QList<Result>& results = results_;
    if (o_.command == QLatin1String("scan")) {
        if (!o_.json)
            std::fputs(scanTable(results, o_.all).toUtf8().constData(), stdout);
        const bool anyAnswered =
            std::any_of(results.begin(), results.end(), [](const Result& r) { return r.ms >= 0; });
        status_ = anyAnswered ? 0 : exitCode(Status::NoAnswer);
    } else {
        out_.table(results);
    }
    if (!o_.failedTo.isEmpty() && !writeFailed())
        status_ = std::max(status_, exitCode(Status::File));
    QCoreApplication::exit(interrupted_ ? exitCode(Status::Interrupted) : status_);
}

// The boards that did not end done, as a hosts file that reruns exactly those.
bool Batch::writeFailed() {
    QFile file(o_.failedTo);
    QByteArray text;
    for (const Result& r : results_)
        if (r.status != Status::Done)
            text += r.board.toUtf8() + '\n';
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size())
        return true;
    std::fprintf(stderr, "vantor: cannot write %s: %s\n", qPrintable(o_.failedTo),
                 qPrintable(file.errorString()));
    return false;
}

void Batch::showProgress(bool final) {
    if (progressSeen_ && !jobs_.empty())
        out_.progress(jobs_.begin()->second->progress(), final);
}

// One row per board running (as many as the terminal has room for), and the totals.
void Batch::drawLive() {
    QStringList rows;
    int shown = 0;
    for (const auto& [i, running] : jobs_) {
        const BoardJob& job = *running;
        if (!job.running())
            continue;
        if (++shown > 20) // a screenful; the totals line counts them all
            continue;
        const Progress p = job.progress();
        QString done = QString::number(p.done);
        if (p.total >= 0)
            done += QLatin1Char('/') + QString::number(p.total);
        rows << QStringLiteral("  %1 %2 %3 %4  %5")
                    .arg(o_.boards[qsizetype(i)].label(), -22)
                    .arg(p.phase, -9)
                    .arg(done, 11)
                    .arg(p.unit == Unit::Lines ? "lines" : "bytes")
                    .arg(job.lastEvent());
    }
    if (shown > 20)
        rows << QStringLiteral("  ... and %1 more running").arg(shown - 20);
    const double seconds = clock_.elapsed() / 1000.0;
    const int waiting = int(total_ - started_);
    QString totals =
        QStringLiteral("done %1%2 / failed %3 / running %4 / waiting %5")
            .arg(done_ - failed_)
            .arg(unchanged_ ? QStringLiteral(" (%1 unchanged)").arg(unchanged_) : QString())
            .arg(failed_)
            .arg(running_)
            .arg(waiting);
    if (done_ > 0 && seconds >= 1) {
        const double rate = done_ / seconds;
        totals += QStringLiteral(", %1 boards/s, %2 s left")
                      .arg(rate, 0, 'f', 1)
                      .arg(qRound((waiting + running_) / rate));
    }
    out_.live(rows << totals);
}

} // namespace vantor::cli
