#include "batch.h"

#include <QCoreApplication>
#include <QFile>

namespace vantor::cli {

Batch::Batch(const Options& options, Output& output) : o_(options), out_(output) {
    live_.setInterval(int(ProgressLine::kPeriodMs));
    connect(&live_, &QTimer::timeout, this, &Batch::drawLive);
}

Batch::~Batch() = default;

void Batch::run() {
    clock_.start();
    results_.resize(std::size_t(o_.boards.size()));
    for (const Board& board : o_.boards) {
        const std::size_t index = jobs_.size();
        auto job = std::make_unique<BoardJob>(o_, board, out_);
        connect(job.get(), &BoardJob::finished, this,
                [this, index](const Result& r) { onFinished(index, r); });
        if (out_.showsProgress() && o_.boards.size() == 1)
            connect(job.get(), &BoardJob::progressed, this, [this] {
                progressSeen_ = true;
                showProgress();
            });
        jobs_.push_back(std::move(job));
    }
    if (out_.showsProgress() && o_.boards.size() > 1)
        live_.start();
    next();
}

void Batch::interrupt() {
    if (std::exchange(interrupted_, true))
        return;
    for (const auto& job : jobs_)
        if (job->running())
            job->interrupt();
    next();
}

void Batch::onFinished(std::size_t index, const Result& r) {
    showProgress(true);
    results_[index] = r;
    out_.result(r);
    status_ = std::max(status_, exitCode(r.status));
    --running_;
    ++done_;
    if (r.status != Status::Done && r.status != Status::Interrupted) {
        ++failed_;
        if (o_.maxFailures > 0 && failed_ >= o_.maxFailures && stop_.isEmpty())
            stop_ = QStringLiteral("%1 boards failed (--max-failures %2)")
                        .arg(failed_)
                        .arg(o_.maxFailures);
        if (index < std::size_t(o_.canary) && stop_.isEmpty())
            stop_ = QStringLiteral("a canary failed (--canary %1)").arg(o_.canary);
    }
    next();
}

// The canaries go alone: the others wait until all of them are done.
bool Batch::mayStart() const {
    if (interrupted_ || !stop_.isEmpty() || started_ == jobs_.size() || running_ >= o_.jobs)
        return false;
    return started_ < std::size_t(o_.canary) || done_ >= std::min(o_.canary, int(jobs_.size()));
}

void Batch::next() {
    while (mayStart()) {
        ++running_;
        jobs_[started_++]->start();
    }
    if (running_ > 0)
        return;
    if (!stop_.isEmpty())
        skipTheRest();
    if (interrupted_ || started_ == jobs_.size())
        end();
}

void Batch::skipTheRest() {
    for (; started_ < jobs_.size(); ++started_) {
        Result r;
        r.board = o_.boards[qsizetype(started_)].label();
        r.command = o_.command;
        r.status = Status::Skipped;
        r.message = QStringLiteral("%1: skipped: %2").arg(o_.command, stop_);
        results_[started_] = r;
        out_.result(r);
        status_ = std::max(status_, exitCode(r.status));
    }
}

void Batch::end() {
    live_.stop();
    out_.eraseLive();
    QList<Result> results;
    for (const auto& r : results_)
        if (r)
            results.append(*r);
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
    for (const auto& r : results_)
        if (r && r->status != Status::Done)
            text += r->board.toUtf8() + '\n';
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size())
        return true;
    std::fprintf(stderr, "vantor: cannot write %s: %s\n", qPrintable(o_.failedTo),
                 qPrintable(file.errorString()));
    return false;
}

void Batch::showProgress(bool final) {
    if (progressSeen_)
        out_.progress(jobs_.front()->progress(), final);
}

// One row per board running (as many as the terminal has room for), and the totals.
void Batch::drawLive() {
    QStringList rows;
    int shown = 0;
    for (std::size_t i = 0; i < started_; ++i) {
        const BoardJob& job = *jobs_[i];
        if (!job.running())
            continue;
        if (++shown > 20) // a screenful; the totals line counts them all
            continue;
        const Progress& p = job.progress();
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
    const int waiting = int(jobs_.size() - started_);
    QString totals = QStringLiteral("done %1 / failed %2 / running %3 / waiting %4")
                         .arg(done_ - failed_)
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
