#include "sim/world/world.h"
#include "sim/world/world_host.h"

#include "core/flash_lines.h"
#include "core/framing.h"
#include "core/protocol.h"
#include "core/rtu_reassembly.h"

#include <algorithm>
#include <cstdio>

namespace vantor::sim::world {

namespace {

using core::SerialReplies;

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

} // namespace

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
