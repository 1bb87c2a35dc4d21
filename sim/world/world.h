#pragma once
// A simulated world in one process: vantor's engine, a link that loses, delays and cuts,
// and the simulator's own board logic, in virtual time. Only the event queue decides
// what happens next, and every chance falls from the scenario's seed, so that a seed
// gives the same run, and the same trace, byte for byte, on every platform.
//
//   engine ──send──► framing ──► link: loss, latency ──► board front ──► Controller
//   engine ◄─answer── datagram / SerialReplies / RTU frames ◄── link: loss, stalls,
//                     pieces, late but in order ◄── the Controller's replies
//
// The world records what it did (what was lost, what came late, what the board took and
// said) so that a run can be judged from outside, against the board's own state.
//
// A gateway or RTU line may carry a bus: one engine per device, run one after another in
// address order on the one link, the next only once the line has been quiet for the idle
// time (core::BusQuiet), as vantor runs them. Late replies of one device may come while
// the next one runs; each device's run is recorded and judged on its own.

#include "sim/bus.h"
#include "sim/controller.h"
#include "sim/world/event_queue.h"
#include "sim/world/memory_store.h"
#include "sim/world/random.h"
#include "sim/world/scenario.h"

#include "core/board_engine.h"
#include "core/bus_quiet.h"
#include "core/serial_replies.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantor::sim::world {

struct Record {
    int requestsLost = 0; // lines that never reached the board
    int repliesLost = 0;
    int readDataLost = 0; // READ answers whose data was lost, their OK kept
    int piecesCut = 0;    // serial text replies cut by a pause the host takes for their end
    // Replies that left the board later than the time-out after their line was sent (the
    // idle time for a CLOSE, whose answer is waited for that long only).
    int late = 0;
    // Replies later than the rules wait for any answer: the time of all the tries, or a
    // part of an answer heard the idle time after the part before it.
    int tooLate = 0;
    int stalls = 0;
    int errors = 0; // replies holding ERROR that the board sent
    int logins = 0; // login prompts (Login, Password) that the board sent
    // Replies of another device heard while this one's command ran, the idle time or more
    // after that device's end: over a gateway nothing tells whose they are.
    int strays = 0;
    std::vector<std::string> hostLines;  // every line the engine sent, without CR LF
    std::vector<std::string> boardLines; // every line the board took, gateway unwrapped
};

class World {
public:
    World(const Scenario& scenario, bool trace);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Called after every call into an engine, and whenever it reports progress.
    std::function<void(std::size_t device, const core::BoardEngine&)> observe;

    // Until the last device's result, and then until the lines still on their way have
    // reached the board; or until nothing is left to happen, or kMaxEvents have run.
    void run();
    static constexpr int kMaxEvents = 1'000'000;

    // Each device of the scenario, in the order they ran.
    std::size_t devices() const { return hosts_.size(); }
    bool finished() const { return current_ == hosts_.size(); }
    bool finished(std::size_t i) const;
    const core::JobResult& result(std::size_t i) const;
    double startedAt(std::size_t i) const;
    double endedAt(std::size_t i) const;
    // None where nobody answers.
    const Controller* board(std::size_t i) const;
    const MemoryStore& store(std::size_t i) const;
    const Record& record(std::size_t i) const;
    int events() const { return events_; }
    const std::string& trace() const { return trace_; }

private:
    class Io;
    struct Host;

    void startNext();
    void afterEngine(Host& host);
    void countStrays();
    Host& addressed(int address);
    bool hostSends(Host& host, std::string_view line);
    void hostReceives(const std::string& bytes);
    void answer(std::string_view reply);
    void boardReceives(const std::string& bytes, double sentAt);
    void boardTakes(std::string line, double sentAt, int rtuAddress);
    double emit(std::string bytes, double at, Host& host);
    int latency();
    void note(std::string_view what, std::string_view bytes = {});

    Scenario s_;
    Random chance_;
    std::unique_ptr<Controller> own_; // the board, when it is the line's only one
    std::unique_ptr<Bus> bus_;
    std::vector<std::unique_ptr<Host>> hosts_;
    std::size_t current_ = 0;   // the device that runs, or is next
    std::size_t listening_ = 0; // the device whose RTU frames the host takes
    core::BusQuiet quiet_;
    EventQueue queue_;
    double now_ = 0;
    int events_ = 0;

    core::SerialReplies serialReplies_;
    std::string rtuInput_;
    int arrivals_ = 0; // serial bytes that came, for telling a quiet port
    std::string boardInput_;
    double requestFree_ = 0; // the link keeps the lines in order
    double replyFree_ = 0;   // and the board its replies

    bool tracing_;
    std::string trace_;
};

} // namespace vantor::sim::world
