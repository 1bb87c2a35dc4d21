#include "fleet/bus_link.h"

#include "jobs/board_job.h"

#include <cmath>

namespace vantor::cli {

BusLink::BusLink(const Options& options, const Board& first, std::function<void()> ready)
    : o_(options), link_(BoardLink::make(options, first)), ready_(std::move(ready)),
      quiet_(options.idleMs), last_(first) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (this->ready())
            ready_();
        else
            armQuiet();
    });
    connect(link_.get(), &BoardLink::opened, this, [this] {
        open_ = true;
        ready_();
    });
    connect(link_.get(), &BoardLink::failed, this, [this](const QString& why) {
        open_ = false;
        down_ = why;
        if (opening_)
            ready_();
    });
    connect(link_.get(), &BoardLink::answer, this, [this] { quiet_.heard(now()); });
    connect(link_.get(), &BoardLink::received, this, [this](const QByteArray& bytes) {
        if (!quiet_.readyAt() || o_.logFile.isEmpty())
            return; // a device's command runs: its job logs
        if (!between_) {
            between_ = std::make_unique<TrafficLog>();
            between_->open(localName(o_, last_, o_.logFile));
        }
        between_->write(bytes);
    });
    open();
}

BusLink::~BusLink() = default;

void BusLink::open() {
    opening_ = true;
    link_->open();
}

bool BusLink::ready() const {
    if (!open_ && down_.isEmpty())
        return false; // still opening
    const std::optional<double> at = quiet_.readyAt();
    return at && *at <= now();
}

void BusLink::run(BoardJob& job, const Board& board) {
    opening_ = false;
    quiet_.began();
    last_ = board;
    between_.reset();
    job.startOn(*link_, nullptr, down_);
}

void BusLink::ended(bool owes) {
    quiet_.ended(now(), owes);
    armQuiet();
}

void BusLink::armQuiet() {
    if (const std::optional<double> at = quiet_.readyAt())
        timer_.start(int(std::max(0.0, std::ceil(*at - now()))));
}

} // namespace vantor::cli
