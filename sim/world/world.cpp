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
    Io(World& world, Host& host) : world_(world), host_(host) {}
    bool send(std::string_view line, std::string&) override {
        return world_.hostSends(host_, line);
    }
    void progressed() override;

private:
    World& world_;
    Host& host_;
};

// One device: its engine on the host's side, what the world keeps of its run.
struct World::Host {
    Host(World& world, std::size_t index, Controller* board)
        : index(index), device(world.s_.devices[index]), board(board),
          store(localBefore(world.s_.local)), io(world, *this),
          engine(world.s_.config(), io, &store) {}

    const std::size_t index;
    const Device& device;
    Controller* board;
    MemoryStore store;
    Io io;
    core::BoardEngine engine;
    Record record;
    double startedAt = -1;
    double endedAt = -1;
    std::optional<double> tickAt; // the deadline a Tick is queued for
    double lastHeard = -1;        // when the last reply's end left the board: the soonest heard
    std::string lastHeardLine;    // and the line it answered
    std::vector<std::pair<double, double>> heard; // the soonest and latest each reply is heard
};

void World::Io::progressed() {
    if (world_.observe)
        world_.observe(host_.index, host_.engine);
}

World::World(const Scenario& scenario, bool trace)
    : s_(scenario), chance_(scenario.seed ^ 0x5EEDFA17u), quiet_(scenario.idleMs), tracing_(trace) {
    const ControllerOptions options = boardOptions(s_.faults);
    if (s_.devices.size() == 1) {
        own_ = std::make_unique<Controller>(options);
        bus_ = std::make_unique<Bus>(*own_);
    } else {
        std::vector<BusDevice> present;
        for (const Device& d : s_.devices)
            if (!d.absent)
                present.push_back({d.address, false, d.refusing || options.refuseAll, false});
        bus_ = std::make_unique<Bus>(options, present);
    }
    for (std::size_t i = 0; i < s_.devices.size(); ++i) {
        Controller* board = own_ ? own_.get() : bus_->device(s_.devices[i].address);
        hosts_.push_back(std::make_unique<Host>(*this, i, board));
        if (!board)
            continue;
        for (const std::string& line : s_.devices[i].program)
            board->storeLine(line);
        if (s_.flash)
            board->putFlashFile(kFlashName, *s_.flash);
    }
    if (tracing_)
        note(describe(s_));
}

World::~World() = default;

bool World::finished(std::size_t i) const {
    return hosts_[i]->engine.finished();
}
const core::JobResult& World::result(std::size_t i) const {
    return hosts_[i]->engine.result();
}
double World::startedAt(std::size_t i) const {
    return hosts_[i]->startedAt;
}
double World::endedAt(std::size_t i) const {
    return hosts_[i]->endedAt;
}
const Controller* World::board(std::size_t i) const {
    return hosts_[i]->board;
}
const MemoryStore& World::store(std::size_t i) const {
    return hosts_[i]->store;
}
const Record& World::record(std::size_t i) const {
    return hosts_[i]->record;
}

void World::run() {
    startNext();
    while (!queue_.empty() && events_ < kMaxEvents) {
        Event event = queue_.pop();
        now_ = event.at;
        ++events_;
        if (finished() && event.kind != EventKind::ToBoard)
            continue; // after the last result only the lines on their way still count
        switch (event.kind) {
        case EventKind::Tick: {
            Host& host = *hosts_[event.device];
            if (host.engine.finished() || host.engine.deadline() != event.mark)
                break; // a deadline moved since
            host.tickAt.reset();
            note("tick");
            host.engine.tick(now_);
            afterEngine(host);
            break;
        }
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
        case EventKind::Next:
            startNext();
            break;
        }
    }
    countStrays();
}

// The next device once the line has been quiet long enough; else woken again then.
void World::startNext() {
    const std::optional<double> at = quiet_.readyAt();
    if (!at || finished())
        return;
    if (*at > now_) {
        queue_.push(*at, EventKind::Next);
        return;
    }
    Host& host = *hosts_[current_];
    listening_ = current_;
    quiet_.began();
    host.startedAt = now_;
    if (hosts_.size() > 1)
        note("device " + std::to_string(host.device.address) + " starts");
    host.engine.start(now_);
    afterEngine(host);
}

void World::afterEngine(Host& host) {
    if (observe)
        observe(host.index, host.engine);
    if (host.engine.finished()) {
        if (host.endedAt < 0) {
            host.endedAt = now_;
            note("result " + host.engine.result().message);
            // As vantor does: a gateway's replies carry no address, so the line is always
            // left quiet for the idle time there.
            quiet_.ended(now_, host.engine.owesAnswers() || s_.framing == Framing::Gateway);
            ++current_;
            startNext();
        }
        return;
    }
    const std::optional<double> deadline = host.engine.deadline();
    if (deadline && deadline != host.tickAt) {
        host.tickAt = deadline;
        queue_.push(std::max(*deadline, now_), EventKind::Tick, {}, *deadline, host.index);
        if (tracing_)
            note("deadline " + std::to_string(std::int64_t(*deadline)));
    }
}

// Over a gateway a late reply of one device, heard while another's command runs, is that
// one's answer for all the host can tell; the quiet before each device keeps out only
// those within the idle time of their own device's end.
void World::countStrays() {
    if (s_.framing != Framing::Gateway)
        return;
    for (const auto& to : hosts_)
        for (const auto& from : hosts_) {
            if (from == to || from->endedAt < 0 || to->startedAt < 0)
                continue;
            const double until = to->endedAt < 0 ? 1e300 : to->endedAt;
            for (const auto& [soonest, latest] : from->heard)
                to->record.strays += latest >= from->endedAt + s_.idleMs &&
                                     latest >= to->startedAt && soonest <= until;
        }
}

World::Host& World::addressed(int address) {
    for (const auto& host : hosts_)
        if (host->device.address == address)
            return *host;
    return *hosts_.front(); // the line's only board, which takes any address
}

int World::latency() {
    return s_.faults.latencyMs > 0 ? chance_.range(0, s_.faults.latencyMs) : 0;
}

bool World::hostSends(Host& host, std::string_view line) {
    host.record.hostLines.emplace_back(line.substr(0, line.size() - core::kLineEnd.size()));
    note("host sends", line);
    std::string framed;
    const std::string address = std::to_string(host.device.address);
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
        ++host.record.requestsLost;
        note("  lost on the way to the board");
        return true;
    }
    requestFree_ = std::max(now_ + latency(), requestFree_);
    queue_.push(requestFree_, EventKind::ToBoard, std::move(framed), now_);
    return true;
}

void World::boardReceives(const std::string& bytes, double sentAt) {
    if (s_.udp) {
        boardTakes(withoutLineEnd(bytes), sentAt, -1);
        return;
    }
    boardInput_ += bytes;
    if (s_.framing == Framing::Rtu) {
        for (;;) {
            const int to = boardInput_.empty() ? -1 : static_cast<unsigned char>(boardInput_[0]);
            core::RtuStep step = core::takeRtuFrame(boardInput_);
            if (step.kind == core::RtuStep::Kind::Incomplete)
                break;
            if (step.kind == core::RtuStep::Kind::Good)
                boardTakes(withoutLineEnd(std::move(step.data)), sentAt, to);
        }
        return;
    }
    for (std::size_t end; (end = boardInput_.find('\n')) != std::string::npos;) {
        std::string line = boardInput_.substr(0, end + 1);
        boardInput_.erase(0, end + 1);
        boardTakes(withoutLineEnd(std::move(line)), sentAt, -1);
    }
}

// One command line at the board: its replies leave in order, after the latency, after a
// stall, after the replies before them, each one whole or lost (or, serial, in pieces).
void World::boardTakes(std::string line, double sentAt, int rtuAddress) {
    std::optional<BusAnswer> answered =
        rtuAddress >= 0 ? bus_->handleRtu(rtuAddress, line) : bus_->handleText(line);
    int address = rtuAddress;
    if (const std::optional<MdcLine> mdc = mdcLine(line); mdc && s_.framing == Framing::Gateway) {
        address = mdc->device;
        line = std::string(mdc->rest);
    }
    Host& h = addressed(address);
    if (!answered) {
        note("nobody takes", line);
        return;
    }
    note("board takes", line);
    std::vector<std::string>& replies = answered->replies;
    h.record.boardLines.push_back(line);

    double ready = now_ + latency() + h.device.lateMs;
    if (chance_.chance(s_.faults.stallRate)) {
        ++h.record.stalls;
        ready += s_.faults.stallMs;
        note("  the board is busy for " + std::to_string(s_.faults.stallMs) + " ms");
    }
    if (replies.size() == 2 && line.starts_with("READ") && chance_.chance(s_.faults.readNoData)) {
        ++h.record.readDataLost;
        note("  data lost, its OK kept", replies.front());
        replies.erase(replies.begin());
    }

    for (std::size_t i = 0; i < replies.size(); ++i) {
        std::string& reply = replies[i];
        h.record.errors += core::matches(reply, core::Reply::Error);
        h.record.logins += core::matches(reply, core::Reply::Login);
        if (s_.faults.crOnly)
            for (std::size_t at; (at = reply.find("\r\n")) != std::string::npos;)
                reply.erase(at + 1, 1);
        double at = std::max(ready, replyFree_ + (i > 0 ? s_.gapMs : 0));
        const double first = at;
        const bool lost = chance_.chance(s_.faults.replyLoss);
        if (lost) {
            ++h.record.repliesLost;
            note("  reply lost", reply);
        } else {
            note("  board replies", reply);
            at = emit(std::move(reply), at, h);
        }
        replyFree_ = at;
        // A serial reply may wait for the quiet that ends it, or be heard at once.
        const double heard = at + (s_.udp || s_.framing == Framing::Rtu ? 0 : 20);
        // Later than the time-out; or heard the idle time after the reply before it to
        // the same line (or to a copy of it), when the host may have taken that line as
        // settled. In doubt (the quiet after a serial reply) the reply is taken as late.
        const bool apart = (i > 0 || h.lastHeardLine == line) && heard - h.lastHeard >= s_.idleMs;
        if (heard - sentAt >= s_.timeoutMs || apart)
            ++h.record.late;
        if (heard - sentAt >= (s_.retries + 1.0) * s_.timeoutMs || apart)
            ++h.record.tooLate;
        if (!lost) {
            h.lastHeard = at;
            h.lastHeardLine = line;
            h.heard.emplace_back(first, heard);
        }
    }
}

// A reply on its way to the host, whole or (serial) in pieces; when its last byte leaves.
double World::emit(std::string bytes, double at, Host& host) {
    if (s_.framing == Framing::Rtu)
        bytes = rtuReplyFrames(std::to_string(host.device.address), bytes);
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
                ++host.record.piecesCut;
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
        // Frames of another address are dropped: the host listens to one device at a time.
        rtuInput_ += bytes;
        for (;;) {
            const int from = rtuInput_.empty() ? -1 : static_cast<unsigned char>(rtuInput_[0]);
            const core::RtuStep step = core::takeRtuFrame(rtuInput_);
            if (step.kind == core::RtuStep::Kind::Incomplete)
                break;
            if (step.kind != core::RtuStep::Kind::Good)
                continue;
            if (from == hosts_[listening_]->device.address)
                answer(step.data);
            else
                note("  another device's frame, dropped");
        }
        return;
    }
    ++arrivals_;
    for (const std::string& reply : serialReplies_.take(bytes))
        answer(reply);
    if (serialReplies_.pending())
        queue_.push(now_ + SerialReplies::kQuietMs, EventKind::Quiet, {}, arrivals_);
}

// Every reply the host hears counts for the quiet between devices; the device whose
// command runs takes it as its answer.
void World::answer(std::string_view reply) {
    quiet_.heard(now_);
    if (finished() || hosts_[current_]->startedAt < 0) {
        note("  nobody's answer", reply);
        return;
    }
    Host& host = *hosts_[current_];
    note("  answer", reply);
    host.engine.answer(reply, now_);
    afterEngine(host);
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
