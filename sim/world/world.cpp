#include "sim/world/world.h"

#include "core/flash_lines.h"
#include "core/framing.h"
#include "core/protocol.h"
#include "core/rtu_reassembly.h"

#include <algorithm>
#include <cstdio>

namespace vantor::sim::world {

namespace {

using core::SerialReplies;

std::string withoutLineEnd(std::string line) {
    if (line.ends_with("\r\n"))
        line.resize(line.size() - 2);
    else if (line.ends_with('\n'))
        line.pop_back();
    return line;
}

// Bytes for the trace: line ends and other control bytes shown, never acted on.
std::string shown(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (u < 0x20 || u >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else
            out.push_back(c);
    }
    return out;
}

ControllerOptions boardOptions(const Faults& f) {
    ControllerOptions o;
    o.login = f.login;
    o.errorOnLine = f.errorOnLine;
    o.flashErrorAfter = f.flashErrorAfter;
    o.refuseAll = f.refuseAll;
    o.memoryFlash = true;
    return o;
}

std::optional<std::string> localBefore(LocalFile local) {
    switch (local) {
    case LocalFile::None:
        return std::nullopt;
    case LocalFile::Empty:
        return std::string();
    case LocalFile::Content:
        break;
    }
    return std::string("10 OLD PROGRAM\r\n");
}

} // namespace

class World::Io : public core::JobIo {
public:
    explicit Io(World& world) : world_(world) {}
    bool send(std::string_view line, std::string&) override { return world_.hostSends(line); }
    void progressed() override {
        if (world_.observe)
            world_.observe(world_.engine_);
    }

private:
    World& world_;
};

World::World(const Scenario& scenario, bool trace)
    : s_(scenario), chance_(scenario.seed ^ 0x5EEDFA17u), board_(boardOptions(scenario.faults)),
      store_(localBefore(scenario.local)), io_(std::make_unique<Io>(*this)),
      engine_(scenario.config(), *io_, &store_), tracing_(trace) {
    for (const std::string& line : s_.program)
        board_.storeLine(line);
    if (s_.flash)
        board_.putFlashFile(kFlashName, *s_.flash);
    if (tracing_)
        note(describe(s_));
}

World::~World() = default;

void World::run() {
    engine_.start(now_);
    afterEngine();
    while (!queue_.empty() && record_.events < kMaxEvents) {
        Event event = queue_.pop();
        now_ = event.at;
        ++record_.events;
        if (engine_.finished() && event.kind != EventKind::ToBoard)
            continue; // after the result only the lines on their way still count
        switch (event.kind) {
        case EventKind::Tick:
            if (engine_.deadline() != event.mark)
                break; // a deadline moved since
            tickAt_.reset();
            note("tick");
            engine_.tick(now_);
            afterEngine();
            break;
        case EventKind::ToBoard:
            boardReceives(event.bytes, event.mark);
            break;
        case EventKind::ToHost:
            hostReceives(event.bytes);
            break;
        case EventKind::Quiet:
            if (event.mark != arrivals_)
                break; // bytes came since
            for (const std::string& reply : serialReplies_.flush())
                answer(reply);
            break;
        }
    }
}

void World::afterEngine() {
    if (observe)
        observe(engine_);
    if (engine_.finished()) {
        if (endedAt_ < 0) {
            endedAt_ = now_;
            note("result " + engine_.result().message);
        }
        return;
    }
    const std::optional<double> deadline = engine_.deadline();
    if (deadline && deadline != tickAt_) {
        tickAt_ = deadline;
        queue_.push(std::max(*deadline, now_), EventKind::Tick, {}, *deadline);
        if (tracing_)
            note("deadline " + std::to_string(std::int64_t(*deadline)));
    }
}

int World::latency() {
    return s_.faults.latencyMs > 0 ? chance_.range(0, s_.faults.latencyMs) : 0;
}

bool World::hostSends(std::string_view line) {
    record_.hostLines.emplace_back(line.substr(0, line.size() - core::kLineEnd.size()));
    note("host sends", line);
    std::string framed;
    const std::string address = std::to_string(s_.address);
    switch (s_.framing) {
    case Framing::Plain:
        framed = line;
        break;
    case Framing::Gateway:
        framed = core::gatewayLine(address, line);
        break;
    case Framing::Rtu:
        framed = core::rtuFrame(address, line);
        break;
    }
    if (chance_.chance(s_.faults.requestLoss)) {
        ++record_.requestsLost;
        note("  lost on the way to the board");
        return true;
    }
    requestFree_ = std::max(now_ + latency(), requestFree_);
    queue_.push(requestFree_, EventKind::ToBoard, std::move(framed), now_);
    return true;
}

void World::boardReceives(const std::string& bytes, double sentAt) {
    if (s_.udp) {
        boardTakes(withoutLineEnd(bytes), sentAt);
        return;
    }
    boardInput_ += bytes;
    if (s_.framing == Framing::Rtu) {
        for (core::RtuStep step;
             (step = core::takeRtuFrame(boardInput_)).kind != core::RtuStep::Kind::Incomplete;)
            if (step.kind == core::RtuStep::Kind::Good)
                boardTakes(withoutLineEnd(std::move(step.data)), sentAt);
        return;
    }
    for (std::size_t end; (end = boardInput_.find('\n')) != std::string::npos;) {
        std::string line = boardInput_.substr(0, end + 1);
        boardInput_.erase(0, end + 1);
        boardTakes(withoutLineEnd(std::move(line)), sentAt);
    }
}

// One command line at the board: its replies leave in order, after the latency, after a
// stall, after the replies before them, each one whole or lost (or, serial, in pieces).
void World::boardTakes(std::string line, double sentAt) {
    note("board takes", line);
    std::vector<std::string> replies = board_.handleLine(line);
    if (s_.framing == Framing::Gateway && line.starts_with("MDC "))
        line.erase(0, line.find(',') + 1);
    record_.boardLines.push_back(line);

    double ready = now_ + latency();
    if (chance_.chance(s_.faults.stallRate)) {
        ++record_.stalls;
        ready += s_.faults.stallMs;
        note("  the board is busy for " + std::to_string(s_.faults.stallMs) + " ms");
    }
    if (replies.size() == 2 && line.starts_with("READ") && chance_.chance(s_.faults.readNoData)) {
        ++record_.readDataLost;
        note("  data lost, its OK kept", replies.front());
        replies.erase(replies.begin());
    }

    for (std::size_t i = 0; i < replies.size(); ++i) {
        std::string& reply = replies[i];
        record_.errors += core::matches(reply, core::Reply::Error);
        record_.logins += core::matches(reply, core::Reply::Login);
        if (s_.faults.crOnly)
            for (std::size_t at; (at = reply.find("\r\n")) != std::string::npos;)
                reply.erase(at + 1, 1);
        double at = std::max(ready, replyFree_ + (i > 0 ? s_.gapMs : 0));
        const bool lost = chance_.chance(s_.faults.replyLoss);
        if (lost) {
            ++record_.repliesLost;
            note("  reply lost", reply);
        } else {
            note("  board replies", reply);
            at = emit(std::move(reply), at);
        }
        replyFree_ = at;
        // A serial reply may wait for the quiet that ends it, or be heard at once.
        const double heard = at + (s_.udp || s_.framing == Framing::Rtu ? 0 : 20);
        // Later than the time-out; or heard the idle time after the reply before it to
        // the same line (or to a copy of it), when the host may have taken that line as
        // settled. In doubt (the quiet after a serial reply) the reply is taken as late.
        const bool apart = (i > 0 || lastHeardLine_ == line) && heard - lastHeard_ >= s_.idleMs;
        if (heard - sentAt >= s_.timeoutMs || apart)
            ++record_.late;
        if (heard - sentAt >= (s_.retries + 1.0) * s_.timeoutMs || apart)
            ++record_.tooLate;
        if (!lost) {
            lastHeard_ = at;
            lastHeardLine_ = line;
        }
    }
}

// A reply on its way to the host, whole or (serial) in pieces; when its last byte leaves.
double World::emit(std::string bytes, double at) {
    if (s_.framing == Framing::Rtu)
        bytes = rtuReplyFrames(std::to_string(s_.address), bytes);
    if (s_.udp || bytes.size() < 2 || !chance_.chance(s_.faults.splitRate)) {
        queue_.push(at, EventKind::ToHost, std::move(bytes));
        return at;
    }
    const int pieces = chance_.range(2, 4);
    std::size_t from = 0;
    for (int k = 0; k < pieces && from < bytes.size(); ++k) {
        const std::size_t left = bytes.size() - from;
        const std::size_t size =
            k + 1 == pieces || left < 2 ? left : std::size_t(chance_.range(1, int(left) - 1));
        if (k > 0) {
            const int pause = chance_.range(1, s_.faults.pauseMs);
            at += pause;
            const char before = bytes[from - 1];
            // The host takes the first part for a whole reply; the LF after a CR that
            // came before the quiet is taken for that CR's, and dropped.
            if (pause >= SerialReplies::kQuietMs && s_.framing != Framing::Rtu && before != '\n' &&
                (before != '\r' || bytes[from] == '\n'))
                ++record_.piecesCut;
            if (tracing_)
                note("  pause " + std::to_string(pause) + " ms");
        }
        queue_.push(at, EventKind::ToHost, bytes.substr(from, size));
        from += size;
    }
    return at;
}

void World::hostReceives(const std::string& bytes) {
    note("host gets", bytes);
    if (s_.udp) {
        answer(bytes);
        return;
    }
    if (s_.framing == Framing::Rtu) {
        rtuInput_ += bytes;
        for (core::RtuStep step;
             (step = core::takeRtuFrame(rtuInput_)).kind != core::RtuStep::Kind::Incomplete;)
            if (step.kind == core::RtuStep::Kind::Good)
                answer(step.data);
        return;
    }
    ++arrivals_;
    for (const std::string& reply : serialReplies_.take(bytes))
        answer(reply);
    if (serialReplies_.pending())
        queue_.push(now_ + SerialReplies::kQuietMs, EventKind::Quiet, {}, arrivals_);
}

void World::answer(std::string_view reply) {
    if (engine_.finished())
        return;
    note("  answer", reply);
    engine_.answer(reply, now_);
    afterEngine();
}

void World::note(std::string_view what, std::string_view bytes) {
    if (!tracing_)
        return;
    char time[32];
    std::snprintf(time, sizeof time, "%10.1f  ", now_);
    trace_ += time;
    trace_ += what;
    if (!bytes.empty()) {
        trace_ += ": ";
        trace_ += shown(bytes);
    }
    trace_ += '\n';
}

} // namespace vantor::sim::world
