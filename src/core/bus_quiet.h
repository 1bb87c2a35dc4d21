#pragma once
// When the next device on a bus may be spoken to. A bus carries one exchange at a time and
// a gateway's replies carry no address: the next device's first line goes out only once
// the previous device's command has ended and the line has then been quiet for the idle
// time (counted from that end, or from the last answer heard after it), so that a late
// answer of one device is never taken for the next one's. On an RTU line, whose frames
// carry the device's address, a device whose every line was sent once and answered owes
// no answer: after it only an answer heard since its end holds the line.

#include <algorithm>
#include <optional>

namespace vantor::core {

class BusQuiet {
public:
    explicit BusQuiet(double idleMs) : idleMs_(idleMs) {}
    void began() { busy_ = true; }
    // `owes`: the device may still answer (a line timed out, was sent again, or the
    // command was cut short).
    void ended(double now, bool owes = true) {
        busy_ = false;
        endedAt_ = now;
        owes_ = owes;
        heardAt_.reset();
    }
    void heard(double now) {
        if (!busy_)
            heardAt_ = now;
    }
    // None while a device's command runs.
    std::optional<double> readyAt() const {
        if (busy_)
            return std::nullopt;
        const double quiet = owes_ ? endedAt_ + idleMs_ : endedAt_;
        return heardAt_ ? std::max(quiet, *heardAt_ + idleMs_) : quiet;
    }

private:
    double idleMs_;
    double endedAt_ = -1e18; // the first device goes at once
    std::optional<double> heardAt_;
    bool owes_ = false;
    bool busy_ = false;
};

} // namespace vantor::core
