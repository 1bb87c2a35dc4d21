#pragma once
// The world's events, ordered by time and then by the order they were made in: nothing
// else decides what happens next, so two events at the same moment always run alike.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantor::sim::world {

enum class EventKind {
    Tick,    // the engine's deadline; `mark` is the deadline it was made for
    ToBoard, // bytes the host sent arrive at the board; `mark` is when they were sent
    ToHost,  // bytes the board sent arrive at the host
    Quiet,   // the serial port may have been quiet for 20 ms; `mark` counts arrivals
    Next,    // the next device on the bus may start, if the line is still quiet
};

struct Event {
    double at = 0;
    std::uint64_t seq = 0;
    EventKind kind = EventKind::Tick;
    std::string bytes;
    double mark = 0;
    std::size_t device = 0; // Tick: whose deadline
};

class EventQueue {
public:
    void push(double at, EventKind kind, std::string bytes = {}, double mark = 0,
              std::size_t device = 0) {
        heap_.push_back({at, seq_++, kind, std::move(bytes), mark, device});
        std::push_heap(heap_.begin(), heap_.end(), later);
    }
    bool empty() const { return heap_.empty(); }
    Event pop() {
        std::pop_heap(heap_.begin(), heap_.end(), later);
        Event event = std::move(heap_.back());
        heap_.pop_back();
        return event;
    }

private:
    static bool later(const Event& a, const Event& b) {
        return a.at != b.at ? a.at > b.at : a.seq > b.seq;
    }

    std::vector<Event> heap_;
    std::uint64_t seq_ = 0;
};

} // namespace vantor::sim::world
