// The board's side of the world: what reaches the board over the link, what it takes and
// says, and how its replies leave (late, lost, in pieces).

#include "sim/world/world.h"
#include "sim/world/world_host.h"

#include "core/protocol.h"
#include "core/rtu_reassembly.h"

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

} // namespace

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

} // namespace vantor::sim::world
