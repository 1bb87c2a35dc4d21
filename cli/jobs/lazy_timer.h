#pragma once
// A single-shot timer that is cheap to restart and to stop, as a job's time-outs are, once
// for every line. A QTimer registers and unregisters itself with the event loop each time,
// and unregistering searches all the timers: with a thousand boards at once that search
// ran a thousand times a line. This one leaves its QTimer running and only moves its own
// deadline; when the QTimer fires early it waits for the rest, when stopped it does nothing.

#include <QTimer>

#include <chrono>
#include <functional>

namespace vantor::cli {

class LazyTimer {
public:
    explicit LazyTimer(std::function<void()> onTimeout) : onTimeout_(std::move(onTimeout)) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
    }
    void setInterval(int ms) { interval_ = std::chrono::milliseconds(ms); }
    void start() {
        deadline_ = Clock::now() + interval_;
        armed_ = true;
        if (!timer_.isActive()) // one running fires no later than this deadline
            timer_.start(int(interval_.count()));
    }
    void stop() { armed_ = false; }
    bool isActive() const { return armed_; }

private:
    using Clock = std::chrono::steady_clock;
    void fire() {
        if (!armed_)
            return;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
        if (left.count() > 0) {
            timer_.start(int(left.count()));
            return;
        }
        armed_ = false;
        onTimeout_();
    }

    std::function<void()> onTimeout_;
    QTimer timer_;
    std::chrono::milliseconds interval_{0};
    Clock::time_point deadline_;
    bool armed_ = false;
};

} // namespace vantor::cli
