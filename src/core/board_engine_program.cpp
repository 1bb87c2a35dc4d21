// The console commands (ver, new, send, the NEW before a download --new), the program's
// download, its listing (save, download --verify, diff) and the comparison of the two.

#include "board_engine_impl.h"

#include "listing_diff.h"
#include "program_file.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace vantor::core {

namespace {

// A numbered line replaces itself when it goes twice; RUN, NEW or CLEAR would run twice.
bool numbered(std::string_view line) {
    const auto first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && std::isdigit(static_cast<unsigned char>(line[first]));
}

} // namespace

// Each line's answer is what arrives until a reply with "OK" or "ERROR", or until the
// board is quiet for the idle time after its last reply.
void BoardEngine::Impl::runConsole(std::vector<std::string> lines, bool repeatable,
                                   std::function<void()> then) {
    phase_ = then ? Phase::Erase : Phase::Console;
    consoleLines_ = std::move(lines);
    consoleAt_ = 0;
    consoleRepeatable_ = repeatable;
    afterConsole_ = std::move(then);
    nextConsoleLine();
}

void BoardEngine::Impl::nextConsoleLine() {
    result_.lines = int(consoleAt_);
    if (consoleAt_ == consoleLines_.size()) {
        if (afterConsole_)
            std::exchange(afterConsole_, nullptr)();
        else
            finish(JobStatus::Done);
        return;
    }
    std::string line = consoleLines_[consoleAt_] + std::string(kLineEnd);
    if (c_.command != JobCommand::Ver && c_.command != JobCommand::Scan &&
        normalLine(line) != "VER")
        result_.changed = true;
    next_ = [this] {
        ++consoleAt_;
        nextConsoleLine();
    };
    sendLine(line, Kind::Console, consoleRepeatable_,
             [this, line](std::string_view reply) { return consoleAnswer(line, reply); });
}

BoardEngine::Impl::Verdict BoardEngine::Impl::consoleAnswer(const std::string& line,
                                                            std::string_view reply) {
    if (phase_ == Phase::Console) {
        result_.output += reply;
        if (c_.command != JobCommand::Scan) // scan lists them in its table
            io_.print(reply);
    }
    switch (classify(reply, {Reply::Error, Reply::Ok})) {
    case Reply::Error:
        fail(JobStatus::Refused, format("\"%1\" refused by %2: %3",
                                        {trimmedText(line, *c_.codePage), where(), shown(reply)}));
        return Verdict::Ended;
    case Reply::Ok:
        return Verdict::Answered;
    default:
        return Verdict::More;
    }
}

void BoardEngine::Impl::loadProgram() {
    program_ = readProgramLines(c_.data); // its size was checked before the start
    for (std::string& line : program_)
        line = stripLeadingZeros(std::move(line));
}

void BoardEngine::Impl::startDownload() {
    loadProgram();
    download_.emplace(program_);
    setProgress(Phase::Download, "download", 0, download_->count(), ProgressUnit::Lines);
    carryOutDownload(download_->start());
}

void BoardEngine::Impl::carryOutDownload(const Step& step) {
    if (step.send.empty()) { // a program without lines
        // After NEW the listing still tells whether the board holds nothing now.
        if (c_.erase && c_.verify)
            startSave(false);
        else
            finish(JobStatus::Done, format("download: %1 has no lines", {c_.file}));
        return;
    }
    result_.lines = sent_++; // the lines the board has taken
    result_.changed = true;
    lastLineOut_ = step.outcome == Outcome::Done; // done once the board takes it too
    advance(result_.lines);
    sendLine(step.send, Kind::Program, numbered(step.send),
             [this](std::string_view reply) { return downloadAnswer(reply); });
}

BoardEngine::Impl::Verdict BoardEngine::Impl::downloadAnswer(std::string_view reply) {
    const auto refused = [&] {
        fail(JobStatus::Refused,
             format("%1 refused by %2: %3", {awaiting(), where(), shown(reply)}));
        return Verdict::Ended;
    };
    if (lastLineOut_) {
        switch (classify(reply, {Reply::Error, Reply::Ok})) {
        case Reply::Error:
            return refused();
        case Reply::Ok:
            next_ = [this] {
                result_.lines = int(program_.size());
                advance(result_.lines);
                if (c_.verify)
                    startSave(false);
                else
                    finish(JobStatus::Done,
                           format("download: %1 lines to %2", {number(result_.lines), where()}));
            };
            return Verdict::Answered;
        default:
            return Verdict::More; // not the answer yet
        }
    }
    const Step step = download_->onReply(reply, c_.link);
    if (step.outcome == Outcome::Failed)
        return refused();
    if (step.send.empty())
        return Verdict::More; // other text: the line is still waiting for its answer
    next_ = [this, step] { carryOutDownload(step); };
    return Verdict::Answered;
}

// save, and the listing behind download --verify.
void BoardEngine::Impl::startSave(bool toFile) {
    toFile_ = toFile;
    if (toFile) {
        if (!openLocal())
            return;
    }
    readListing();
}

void BoardEngine::Impl::readListing() {
    captured_.clear();
    if (toFile_) {
        result_.lines = 0;
        result_.bytes = 0;
    }
    setProgress(Phase::Listing, listingPhase(), 0, -1, ProgressUnit::Bytes);
    sendLine(std::string(ListingCapture::command(c_.link)), Kind::Listing, true,
             [this](std::string_view reply) { return saveAnswer(reply); });
}

BoardEngine::Impl::Verdict BoardEngine::Impl::saveAnswer(std::string_view reply) {
    // The listing asked for again: it starts afresh at the first answer since, so that
    // until then what came stays (and is kept, if nothing more comes).
    if (std::exchange(line_.fresh, false)) {
        captured_.clear();
        if (toFile_) {
            result_.lines = 0;
            result_.bytes = 0;
        }
        if (!restartLocal())
            return Verdict::Ended;
        setProgress(Phase::Listing, listingPhase(), 0, -1, ProgressUnit::Bytes);
    }
    // Over a serial port a pause may cut a line end from its reply: it is no listing.
    if (c_.link == Link::Serial && reply.find_first_not_of("\r\n") == std::string_view::npos)
        return Verdict::More;
    // A listing line starts with its number: a reply that starts with ERROR is the
    // board's refusal of the listing command, not a part of the listing.
    if (const auto start = reply.find_first_not_of(" \t\r\n");
        start != std::string_view::npos && reply.substr(start).starts_with("ERROR")) {
        fail(JobStatus::Refused,
             format("%1 refused by %2: %3", {awaiting(), where(), shown(reply)}));
        return Verdict::Ended;
    }
    const Step step = capture_.onReply(reply, c_.link);
    if (!writeLocal(step.store))
        return Verdict::Ended;
    captured_ += step.store;
    advance(std::int64_t(captured_.size()));
    if (toFile_) {
        result_.bytes += std::int64_t(step.store.size());
        result_.lines += int(std::count(step.store.begin(), step.store.end(), '\n'));
    }
    if (step.outcome == Outcome::Denied) {
        fail(JobStatus::Denied, format("%1 asks for a login", {where()}));
        return Verdict::Ended;
    }
    if (step.outcome != Outcome::Done)
        return Verdict::More;
    next_ = [this] {
        if (!toFile_ && !compare_) // the read-back behind --verify
            verifyListing();
        else
            confirmListing();
    };
    return Verdict::Answered;
}

void BoardEngine::Impl::commitSave() {
    const std::string target = store_->target();
    if (commitLocal())
        finish(JobStatus::Done,
               format("save: %1 lines from %2 into %3%4",
                      {number(result_.lines), where(), target, c_.verify ? ", verified" : ""}));
}

// Over UDP a lost reply of a listing cannot be told from a shorter program: the reading
// is only a shorter one. So a save reads the listing again and again, and takes the
// longest reading once it has come kReadings times (kVerifiedReadings with --verify); a
// shorter reading is one that lost a part. An empty or shrunk program is believed only
// when every reading says so: with a tenth of the replies lost, a one-reply listing lost
// five times over is 1 save in 100,000.
void BoardEngine::Impl::confirmListing() {
    const int needed = c_.verify && !compare_ ? kVerifiedReadings : kReadings;
    ++listingReads_;
    if (!longestListing_ || captured_.size() > longestListing_->size()) {
        longestListing_ = captured_;
        agreed_ = 1;
    } else if (captured_ == *longestListing_) {
        ++agreed_;
    }
    if (agreed_ >= needed && captured_ == *longestListing_) {
        if (compare_) {
            compareListing();
            return;
        }
        // A loss that repeats with the readings (every other reply) empties every one of
        // them alike: a file the operator has is never emptied by a listing of nothing.
        if (captured_.empty() && store_->targetExisted() && store_->targetHasContent())
            finish(JobStatus::Mismatch,
                   format("save: %1 listed no program %2 times; %3 left as it was (save into "
                          "a new file to keep an empty listing)",
                          {where(), number(agreed_), store_->target()}));
        else
            commitSave();
        return;
    }
    if (listingReads_ >= needed * (c_.retries + 1)) {
        finish(JobStatus::Mismatch,
               format("%1: the listing of %2 read %3 times, the longest reading only %4 "
                      "times of the %5 needed%6",
                      {command(), where(), number(listingReads_), number(agreed_), number(needed),
                       toFile_ ? format("; %1 left as it was", {store_->target()}) : ""}));
        return;
    }
    if (!restartLocal())
        return;
    readListing();
}

void BoardEngine::Impl::verifyListing() {
    const std::vector<ListedLine> expected = programAfter(program_);
    const std::vector<ListedLine> got = listedLines(captured_);
    for (std::size_t i = 0; i < std::max(expected.size(), got.size()); ++i) {
        const std::string want = i < expected.size() ? expected[i].key : "(nothing)";
        const std::string has = i < got.size() ? got[i].key : "(nothing)";
        if (want != has) {
            // A download adds to what the board holds: lines the file does not have are
            // most often an older program's.
            const bool older = i >= expected.size() && !c_.erase;
            finish(JobStatus::Mismatch,
                   format("download: line %1 of the listing of %2 differs: sent \"%3\", "
                          "listed \"%4\"%5",
                          {number(std::int64_t(i + 1)), where(), visibleText(want, *c_.codePage),
                           visibleText(has, *c_.codePage),
                           older ? " (the board held a program before; download --new "
                                   "erases it first)"
                                 : ""}));
            return;
        }
    }
    finish(JobStatus::Done,
           format("download: %1 lines to %2, verified", {number(result_.lines), where()}));
}

const char* BoardEngine::Impl::listingPhase() const {
    if (compare_)
        return c_.command == JobCommand::Diff ? "diff" : "compare";
    return toFile_ ? "save" : "verify";
}

// Read as save reads it, so that a reply lost over UDP cannot make a board that holds
// more than the file look as if it held the file.
void BoardEngine::Impl::startCompare() {
    loadProgram();
    compare_ = true;
    startSave(false);
}

void BoardEngine::Impl::compareListing() {
    compare_ = false;
    const std::vector<ListedLine> file = programAfter(program_);
    const std::vector<ListedLine> listed = listedLines(*longestListing_);
    const std::optional<FirstDifference> first = firstDifference(listed, file);
    result_.same = !first;
    if (c_.command == JobCommand::Download) {
        if (!first) {
            finish(JobStatus::Done,
                   format("download: %1 already holds %2; nothing sent", {where(), c_.file}));
            return;
        }
        // What the board holds goes, so that it then holds exactly the file.
        c_.erase = c_.verify = true;
        runConsole({"NEW"}, false, [this] { startDownload(); });
        return;
    }
    result_.lines = int(listed.size());
    if (!first) {
        finish(JobStatus::Done, format("diff: %1 holds %2", {where(), c_.file}));
        return;
    }
    const auto shownLine = [this](const std::optional<std::string>& line) {
        return line ? std::optional(visibleText(*line, *c_.codePage)) : std::nullopt;
    };
    const auto quoted = [](const std::optional<std::string>& line) {
        return line ? "\"" + *line + "\"" : std::string("nothing");
    };
    result_.differsAt = int(first->index + 1);
    result_.listedLine = shownLine(first->a);
    result_.fileLine = shownLine(first->b);
    std::vector<ListedLine> shownListed = listed, shownFile = file;
    for (auto* side : {&shownListed, &shownFile})
        for (ListedLine& line : *side)
            line.text = visibleText(line.text, *c_.codePage);
    result_.diff = unifiedDiff(shownListed, shownFile, c_.board, c_.file);
    finish(JobStatus::Mismatch,
           format("diff: line %1 of the listing of %2 differs from %3: listed %4, file %5",
                  {number(result_.differsAt), where(), c_.file, quoted(result_.listedLine),
                   quoted(result_.fileLine)}));
}

} // namespace vantor::core
