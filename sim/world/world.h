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

#include "sim/controller.h"
#include "sim/world/event_queue.h"
#include "sim/world/memory_store.h"
#include "sim/world/random.h"
#include "sim/world/scenario.h"

#include "core/board_engine.h"
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
    int events = 0;
    std::vector<std::string> hostLines;  // every line the engine sent, without CR LF
    std::vector<std::string> boardLines; // every line the board took, gateway unwrapped
};

class World {
public:
    World(const Scenario& scenario, bool trace);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Called after every call into the engine, and whenever it reports progress.
    std::function<void(const core::BoardEngine&)> observe;

    // Until the result, and then until the lines still on their way have reached the
    // board; or until nothing is left to happen, or kMaxEvents have run.
    void run();
    static constexpr int kMaxEvents = 1'000'000;

    bool finished() const { return engine_.finished(); }
    const core::JobResult& result() const { return engine_.result(); }
    double endedAt() const { return endedAt_; }
    const Controller& board() const { return board_; }
    const MemoryStore& store() const { return store_; }
    const Record& record() const { return record_; }
    const std::string& trace() const { return trace_; }

private:
    class Io;

    void afterEngine();
    bool hostSends(std::string_view line);
    void hostReceives(const std::string& bytes);
    void answer(std::string_view reply);
    void boardReceives(const std::string& bytes, double sentAt);
    void boardTakes(std::string line, double sentAt);
    double emit(std::string bytes, double at);
    int latency();
    void note(std::string_view what, std::string_view bytes = {});

    Scenario s_;
    Random chance_;
    Controller board_;
    MemoryStore store_;
    std::unique_ptr<Io> io_;
    core::BoardEngine engine_;
    EventQueue queue_;
    double now_ = 0;
    std::optional<double> tickAt_; // the deadline a Tick is queued for
    double endedAt_ = -1;

    core::SerialReplies serialReplies_;
    std::string rtuInput_;
    int arrivals_ = 0; // serial bytes that came, for telling a quiet port
    std::string boardInput_;
    double requestFree_ = 0;    // the link keeps the lines in order
    double replyFree_ = 0;      // and the board its replies
    double lastHeard_ = -1;     // when the last reply's end left the board: the soonest heard
    std::string lastHeardLine_; // and the line it answered

    Record record_;
    bool tracing_;
    std::string trace_;
};

} // namespace vantor::sim::world
