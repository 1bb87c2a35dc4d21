#pragma once
// When the next device on a bus may be spoken to. A bus carries one exchange at a time and
// a gateway's replies carry no address: the next device's first line goes out only once
// the previous device's command has ended and the line has then been quiet for the idle
// time (counted from that end, or from the last answer heard after it), so that a late
// answer of one device is never taken for the next one's.

#include <algorithm>
#include <optional>

namespace vantor::core {

class BusQuiet {
public:
    explicit BusQuiet(double idleMs) : idleMs_(idleMs) {}
    void began() { busy_ = true; }
    void ended(double now) {
        busy_ = false;
        endedAt_ = now;
    }
    void heard(double now) { heardAt_ = std::max(heardAt_, now); }
    // None while a device's command runs.
    std::optional<double> readyAt() const {
        if (busy_)
            return std::nullopt;
        return std::max(endedAt_, heardAt_) + idleMs_;
    }

private:
    double idleMs_;
    double endedAt_ = -1e18; // the first device goes at once
    double heardAt_ = -1e18;
    bool busy_ = false;
};

} // namespace vantor::core
