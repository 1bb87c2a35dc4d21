#include "properties.h"

#include <algorithm>
#include <map>

namespace vantor::simulation {

namespace {

using core::JobCommand;
using core::JobStatus;
using sim::world::Scenario;
using Program = std::map<long, std::string>;

constexpr std::string_view kVersion = "VANTOR-SIM BASIC V1.0";

std::string statusName(JobStatus status) {
    constexpr const char* kNames[] = {"done",      "refused", "denied", "mismatch",
                                      "no answer", "link",    "file",   "interrupted"};
    return kNames[int(status)];
}

// As a listing is compared: upper case, blank runs as one, no blanks at the ends.
std::string normal(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            if (!out.empty() && out.back() != ' ')
                out.push_back(' ');
        } else {
            out.push_back(c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c);
        }
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// A program line into the program: stored by its number, a number alone erasing it; a
// line without a number changes nothing.
void enter(Program& program, std::string_view line) {
    const std::size_t first = std::min(line.find_first_not_of(' '), line.size());
    std::size_t end = first;
    long number = 0;
    for (; end < line.size() && line[end] >= '0' && line[end] <= '9'; ++end)
        number = number * 10 + (line[end] - '0');
    if (end == first)
        return;
    const std::string rest = normal(line.substr(end));
    if (rest.empty())
        program.erase(number);
    else
        program[number] = rest;
}

Program normalProgram(const std::map<int, std::string>& board) {
    Program program;
    for (const auto& [number, text] : board)
        enter(program, text);
    return program;
}

std::string listing(const sim::Controller& board, bool crOnly) {
    std::string text;
    for (const auto& [number, line] : board.program())
        text += line + (crOnly ? "\r" : "\r\n");
    return text;
}

bool numbered(std::string_view line) {
    const std::size_t first = line.find_first_not_of(' ');
    return first != std::string_view::npos && line[first] >= '0' && line[first] <= '9';
}

template <class Lines> int count(const Lines& lines, std::string_view line) {
    return int(std::count(lines.begin(), lines.end(), line));
}

bool console(JobCommand c) {
    return c == JobCommand::Ver || c == JobCommand::Scan || c == JobCommand::New ||
           c == JobCommand::Send;
}

Program programOf(const std::vector<std::string>& lines) {
    Program program;
    for (const std::string& line : lines)
        enter(program, line);
    return program;
}

// Whether device `i` held before the run what the command compares with.
bool heldBefore(const Scenario& s, std::size_t i) {
    return s.command == JobCommand::Put ? s.flash == s.data
                                        : programOf(s.devices[i].program) == programOf(s.fileLines);
}

// Whether both sides agree after a run of device `i` that says done; what differs when
// they do not.
std::string disagreement(const Scenario& s, const sim::world::World& w, std::size_t i) {
    const sim::Controller& board = *w.board(i);
    const std::optional<std::string>& committed = w.store(i).committed();
    switch (s.command) {
    case JobCommand::Ver:
    case JobCommand::Scan:
        return w.result(i).output.find(kVersion) == std::string::npos ? "no version line in output"
                                                                      : "";
    case JobCommand::New:
        return board.program().empty() ? "" : "the board still holds a program";
    case JobCommand::Send:
        for (const std::string& line : s.sendLines)
            if (count(w.record(i).boardLines, line) != count(s.sendLines, line))
                return "\"" + line + "\" did not reach the board as often as sent";
        return "";
    case JobCommand::Download: {
        Program expected;
        if (!s.erase && !s.ifChanged)
            expected = programOf(s.devices[i].program);
        for (const std::string& line : s.fileLines)
            enter(expected, line);
        return normalProgram(board.program()) == expected ? "" : "the board's program differs";
    }
    case JobCommand::Diff:
        return heldBefore(s, i) ? "" : "the board does not hold the file";
    case JobCommand::Save:
        return committed == listing(board, s.faults.crOnly) ? "" : "the file differs from LIST";
    case JobCommand::Put:
        return board.flashFile(sim::world::kFlashName) == s.data ? "" : "the flash file differs";
    case JobCommand::Get:
        return committed && committed == board.flashFile(sim::world::kFlashName)
                   ? ""
                   : "the file differs from the flash file";
    }
    return "";
}

// What a run without any fault, refusal or login must end in.
JobStatus faultlessStatus(const Scenario& s, const sim::Controller& board, std::size_t i) {
    if (s.command == JobCommand::Save && board.program().empty() &&
        s.local == sim::world::LocalFile::Content)
        return JobStatus::Mismatch; // an empty listing never empties a file with content
    // An empty file sends nothing, and has nothing to verify.
    if (s.command == JobCommand::Diff && !heldBefore(s, i))
        return JobStatus::Mismatch;
    if (s.command == JobCommand::Download && s.verify && !s.ifChanged && !s.fileLines.empty()) {
        Program fileOnly;
        for (const std::string& line : s.fileLines)
            enter(fileOnly, line);
        if (normalProgram(board.program()) != fileOnly)
            return JobStatus::Mismatch; // the listing holds an older program's lines
    }
    return JobStatus::Done;
}

// A line the board must never take twice, or more often than it was meant to. A flash
// line that opens or moves on is never sent twice running: a transfer that starts over
// sends CLOSE between (which the link may lose; the board then opens again, harmlessly).
std::string repeated(const Scenario& s, const sim::world::Record& r) {
    const std::vector<std::string>& sent = r.hostLines;
    const std::vector<std::string>& took = r.boardLines;
    for (std::size_t i = 1; i < sent.size(); ++i)
        for (std::string_view flash : {"OPENWR", "WRITE", "OPENRD"})
            if (sent[i].starts_with(flash) && sent[i] == sent[i - 1])
                return sent[i].substr(0, 12) + " sent twice in a row";
    if ((s.command == JobCommand::New ||
         (s.command == JobCommand::Download && (s.erase || s.ifChanged))) &&
        count(took, "NEW") > 1)
        return "NEW " + std::to_string(count(took, "NEW")) + " times";
    if (s.command == JobCommand::Send)
        for (const std::string& line : s.sendLines)
            if (count(took, line) > count(s.sendLines, line))
                return "\"" + line + "\" " + std::to_string(count(took, line)) + " times";
    if (s.command == JobCommand::Download)
        for (const std::string& line : s.fileLines)
            if (!numbered(line) && count(took, line) > count(s.fileLines, line))
                return "\"" + line + "\" " + std::to_string(count(took, line)) + " times";
    return "";
}

} // namespace

void ProgressWatch::operator()(const core::BoardEngine& engine) {
    check("progress", engine.progress(), last_);
    check("main progress", engine.mainProgress(), lastMain_);
}

void ProgressWatch::check(const char* which, const core::JobProgress& now,
                          std::optional<core::JobProgress>& last) {
    if (last && failure_.empty() && last->phase == now.phase &&
        (now.attempt < last->attempt || (now.attempt == last->attempt && now.done < last->done)))
        failure_ = std::string(which) + " of " + now.phase + " went back from " +
                   std::to_string(last->done) + " (attempt " + std::to_string(last->attempt) +
                   ") to " + std::to_string(now.done) + " (attempt " + std::to_string(now.attempt) +
                   ")";
    last = now;
}

double timeBound(const Scenario& s, std::size_t i) {
    const sim::world::Faults& f = s.faults;
    const double tries = s.retries + 1.0;
    const sim::world::Device& d = s.devices[i];
    const int listed = int(d.program.size() + s.fileLines.size()) + 2; // replies of a listing
    const int flashReplies = int(std::max(s.data.size(), s.flash.value_or("").size()) / 20) + 2;
    const int pieces = int(std::max(s.data.size(), std::size_t(21)) / 21);
    // How late a reply may come after its line: two latencies, a stall, its pieces.
    const double late = 2.0 * f.latencyMs + f.stallMs + d.lateMs + 3.0 * f.pauseMs + s.gapMs + 20;
    // One line: each copy waits the time-out, from its last part that came late; then
    // the idle time for the answers to the other copies.
    const double line = tries * (s.timeoutMs + late) + s.idleMs;
    const double listing = line + listed * (s.gapMs + 3.0 * f.pauseMs + 20 + s.timeoutMs);
    double lines = 0, listings = 0;
    switch (s.command) {
    case JobCommand::Ver:
    case JobCommand::Scan:
    case JobCommand::New:
        lines = 1;
        break;
    case JobCommand::Send:
        lines = double(s.sendLines.size());
        break;
    case JobCommand::Download: // --if-changed: the readings, NEW and a verified download
        lines = (s.erase || s.ifChanged) + double(s.fileLines.size());
        listings = (s.verify || s.ifChanged) + (s.ifChanged ? 5 * tries : 0);
        break;
    case JobCommand::Diff:
        listings = 5 * tries;
        break;
    case JobCommand::Save:
        listings = (s.verify ? 7 : 5) * tries;
        break;
    case JobCommand::Put: // every try of the transfer: Open, WRITEs, CLOSE; the read-back
        lines = tries * (pieces + 3 + (s.verify ? flashReplies + 3 : 0) +
                         (s.ifChanged ? flashReplies + 3 : 0));
        break;
    case JobCommand::Get:
        lines = tries * (flashReplies + 3);
        break;
    }
    return lines * line + listings * listing + 1000;
}

std::optional<Failure> judge(const Scenario& s, const sim::world::World& w, std::size_t i,
                             const ProgressWatch& progress) {
    const sim::world::Record& r = w.record(i);
    if (!w.finished(i))
        return Failure{"ends", w.events() >= sim::world::World::kMaxEvents
                                   ? "still running after " + std::to_string(w.events()) + " events"
                                   : "nothing left to happen, and no result"};
    const JobStatus status = w.result(i).status;
    const std::string said = statusName(status) + ": " + w.result(i).message;
    if (w.endedAt(i) - w.startedAt(i) > timeBound(s, i))
        return Failure{"ends in time", "took " + std::to_string(w.endedAt(i) - w.startedAt(i)) +
                                           " ms, bound " + std::to_string(timeBound(s, i)) + " ms"};
    if (!progress.failure().empty())
        return Failure{"progress", progress.failure()};
    if (const std::string what = repeated(s, r); !what.empty())
        return Failure{"never twice", what + "; " + said};
    if (status != JobStatus::Done && w.store(i).committed())
        return Failure{"file kept", "the local file was replaced; " + said};
    if (!w.board(i)) // nobody at this address: nothing but another device's reply answers
        return status == JobStatus::NoAnswer || r.strays > 0 ||
                       (status == JobStatus::Done && r.hostLines.empty()) // nothing to send
                   ? std::nullopt
                   : std::optional(Failure{"nobody answers", said});

    // "changed": false is what a rerun trusts to have written nothing.
    if (!w.result(i).changed)
        for (const std::string& line : r.boardLines)
            if (!(line == "VER" || line.starts_with("LIS") || line.starts_with("OPENRD") ||
                  line.starts_with("READ") || line == "CLOSE"))
                return Failure{"unchanged", "\"" + line.substr(0, 12) + "\" taken; " + said};
    // A board that holds what is compared is left alone, and never said to differ: only
    // a reply that is not its own can make it look otherwise, or a board that refuses
    // to open the file for reading (it has none, as far as anyone can tell).
    if ((s.ifChanged || s.command == JobCommand::Diff) && heldBefore(s, i) &&
        r.tooLate + r.strays + r.errors == 0) {
        for (const std::string& line : r.boardLines)
            if (numbered(line) || line == "NEW" || line.starts_with("OPENWR"))
                return Failure{"left alone", "\"" + line.substr(0, 12) + "\" taken; " + said};
        if (w.result(i).same == false)
            return Failure{"left alone", "said to differ; " + said};
    }

    const bool explained = r.requestsLost + r.repliesLost + r.readDataLost + r.late + r.piecesCut +
                               r.logins + r.strays >
                           0;
    switch (status) {
    case JobStatus::Done:
        // A console reply cut by a pause of the quiet time is two replies, as the window
        // hears it: an "ERROR" cut in two is not seen, and no rule can see it.
        if (r.piecesCut > 0 && (console(s.command) || s.erase))
            break;
        // Nor can a rule tell whose answer it is when it comes later than the time-out,
        // or from another device past the quiet (the protocol has no sequence numbers):
        // --verify is the guard then.
        if (r.tooLate + r.strays > 0 && !s.verify)
            break;
        // A save believes a shorter listing when each reading it agreed on lost a reply:
        // with a tenth lost, 1 save in 100,000.
        if (s.command == JobCommand::Save && r.repliesLost >= (s.verify ? 7 : 5) &&
            w.store(i).committed().value_or("").size() <
                listing(*w.board(i), s.faults.crOnly).size())
            break;
        if (const std::string what = disagreement(s, w, i); !what.empty())
            return Failure{"done agrees", what + "; " + said};
        break;
    case JobStatus::Refused:
        if (r.errors + r.strays == 0)
            return Failure{"refused", "the board sent no ERROR; " + said};
        break;
    case JobStatus::Denied:
        if (r.logins + r.strays == 0)
            return Failure{"denied", "the board asked for no login; " + said};
        break;
    case JobStatus::NoAnswer:
        if (!explained)
            return Failure{"no answer", "nothing was lost, late or cut; " + said};
        break;
    case JobStatus::Mismatch:
        break;
    case JobStatus::Link:
    case JobStatus::File:
    case JobStatus::Interrupted:
        return Failure{"status", said};
    }
    if (!explained && r.errors == 0 && status != faultlessStatus(s, *w.board(i), i))
        return Failure{"faultless",
                       "expected " + statusName(faultlessStatus(s, *w.board(i), i)) + "; " + said};
    return std::nullopt;
}

} // namespace vantor::simulation
