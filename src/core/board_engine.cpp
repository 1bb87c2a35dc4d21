#include "board_engine.h"
#include "board_engine_impl.h"

#include "failure.h"
#include "flash_lines.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vantor::core {

namespace {

// A reply that is a login prompt or a failed login, not a reply that mentions one.
bool prompt(std::string_view reply) {
    const std::size_t start = reply.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos)
        return false;
    const std::string_view text = reply.substr(start);
    return text.starts_with("Login") || text.starts_with("Passwor") ||
           text.starts_with("ACCESS DENIED");
}

} // namespace

// The engine's face: each call takes the time, and nothing happens after the end.

BoardEngine::BoardEngine(JobConfig config, JobIo& io, JobStore* store)
    : d_(std::make_unique<Impl>(std::move(config), io, store)) {}

BoardEngine::~BoardEngine() = default;

void BoardEngine::start(double now) {
    d_->now_ = now;
    if (!d_->finished_)
        d_->start();
}

void BoardEngine::answer(std::string_view reply, double now) {
    d_->now_ = now;
    d_->onAnswer(reply);
}

void BoardEngine::tick(double now) {
    d_->now_ = now;
    d_->tick();
}

void BoardEngine::unreachable() {
    d_->unreachable_ = true;
}

void BoardEngine::linkFailed(std::string_view why, double now) {
    d_->now_ = now;
    d_->fail(JobStatus::Link, std::string(why));
}

void BoardEngine::interrupt(double now) {
    d_->now_ = now;
    d_->fail(JobStatus::Interrupted, "interrupted");
}

std::optional<double> BoardEngine::deadline() const {
    return d_->deadline();
}

bool BoardEngine::owesAnswers() const {
    return d_->owes_;
}

bool BoardEngine::finished() const {
    return d_->finished_;
}

const JobResult& BoardEngine::result() const {
    return d_->result_;
}

const JobProgress& BoardEngine::progress() const {
    return d_->progress_;
}

const JobProgress& BoardEngine::mainProgress() const {
    return d_->main_;
}

std::string_view BoardEngine::lastAnswer() const {
    return d_->lastAnswer_;
}

bool BoardEngine::timedOut() const {
    return d_->timedOut_;
}

// The lines and their answers.

BoardEngine::Impl::Impl(JobConfig config, JobIo& io, JobStore* store)
    : c_(std::move(config)), io_(io), store_(store) {
    progress_.phase = main_.phase = std::string(command());
}

void BoardEngine::Impl::start() {
    restartsLeft_ = c_.retries; // a flash transfer's starts over, for the whole command
    switch (c_.command) {
    case JobCommand::Ver:
    case JobCommand::Scan:
        runConsole({"VER"}, true);
        return;
    case JobCommand::New:
        runConsole({"NEW"}, false);
        return;
    case JobCommand::Send:
        runConsole(c_.lines, false);
        return;
    case JobCommand::Download:
        if (c_.ifChanged)
            startCompare();
        else if (c_.erase)
            runConsole({"NEW"}, false, [this] { startDownload(); });
        else
            startDownload();
        return;
    case JobCommand::Diff:
        startCompare();
        return;
    case JobCommand::Save:
        startSave(true);
        return;
    case JobCommand::Put:
        if (c_.ifChanged) {
            flashCompare_ = true;
            startGet(false);
        } else {
            startPut();
        }
        return;
    case JobCommand::Get:
        startGet(true);
        return;
    }
}

std::optional<double> BoardEngine::Impl::deadline() const {
    if (finished_)
        return std::nullopt;
    if (silenceAt_ && quietAt_)
        return std::min(*silenceAt_, *quietAt_);
    return silenceAt_ ? silenceAt_ : quietAt_;
}

void BoardEngine::Impl::tick() {
    if (finished_)
        return;
    // One expiry per call, the earlier first: what it does may move the other.
    if (quietAt_ && *quietAt_ <= now_ && (!silenceAt_ || *quietAt_ <= *silenceAt_)) {
        quietAt_.reset();
        onQuiet();
    } else if (silenceAt_ && *silenceAt_ <= now_) {
        silenceAt_.reset();
        onSilence();
    }
}

void BoardEngine::Impl::sendLine(std::string line, Kind kind, bool resendable, Handler handler,
                                 bool awaited) {
    line_ = InFlight{std::move(line), kind, resendable};
    line_.awaited = awaited;
    handler_ = std::move(handler);
    triesLeft_ = c_.retries;
    waited_ = 0;
    // The window logs what its console and its flash transfers send, nothing else.
    if (kind == Kind::Flash || kind == Kind::Close ||
        (kind == Kind::Console && c_.command == JobCommand::Send))
        io_.log(line_.bytes);
    transmit();
}

void BoardEngine::Impl::transmit() {
    ++line_.copies;
    if (firstSentMs_ < 0)
        firstSentMs_ = now_;
    std::string why;
    if (!io_.send(line_.bytes, why)) {
        fail(JobStatus::Link, format("cannot send %1 to %2%3",
                                     {awaiting(), where(), why.empty() ? "" : ": " + why}));
        return;
    }
    if (line_.kind == Kind::Close && !line_.awaited)
        startQuiet(); // nothing is relied on from a CLOSE: its answer, or a quiet moment
    else
        startSilence();
}

// What the line in flight is, for a message.
std::string BoardEngine::Impl::awaiting() const {
    if (line_.kind == Kind::Program)
        return format("line %1 of %2", {number(sent_), c_.file});
    return describeLine(line_.bytes, *c_.codePage);
}

// The answers that end a line's answer, by what the line is.
bool BoardEngine::Impl::ends(Kind kind, std::string_view reply) {
    switch (kind) {
    case Kind::Program:
        return classify(reply, {Reply::Error, Reply::Ok}) != Reply::Other;
    case Kind::Listing:
        return matches(reply, Reply::OkNearStart);
    case Kind::Console:
    case Kind::Flash:
    case Kind::Close:
        break;
    }
    return classify(reply, {Reply::Error, Reply::EndOfData, Reply::Ok}) != Reply::Other;
}

void BoardEngine::Impl::onAnswer(std::string_view reply) {
    if (finished_ || line_.copies == 0)
        return;
    unreachable_ = false;
    if (result_.ms < 0)
        result_.ms = now_ - firstSentMs_;
    lastAnswer_.assign(reply);
    timedOut_ = false;
    // Over UDP a login prompt ends any command, as the window's dispatcher ends any
    // operation with "ACCESS DENIED". On any link a reply that is a prompt, or the
    // board's refusal of a login, does: the board has not run the line.
    if ((c_.link == Link::Udp && matches(reply, Reply::Login)) || prompt(reply)) {
        fail(JobStatus::Denied, format("%1 asks for a login: \"%2\"", {where(), shown(reply)}));
        return;
    }
    if (owed_ > 0) { // an answer of a line given up: it only tells that line has ended
        if (ends(Kind::Flash, reply))
            --owed_;
        if (line_.awaited)
            startSilence();
        else
            startQuiet();
        return;
    }
    if (line_.first)
        otherCopyAnswered(reply);
    else
        take(handler_(reply));
}

// An answer to another copy of a line answered already: it only counts, or refuses.
void BoardEngine::Impl::otherCopyAnswered(std::string_view reply) {
    silenceAt_.reset();
    if (line_.kind != Kind::Listing && line_.kind != Kind::Close && matches(reply, Reply::Error)) {
        fail(JobStatus::Refused, format("%1 refused by %2: %3 (the answer to the line sent again)",
                                        {awaiting(), where(), shown(reply)}));
        return;
    }
    if (ends(line_.kind, reply) && ++line_.answered >= line_.copies)
        settle();
    else
        startQuiet();
}

void BoardEngine::Impl::take(Verdict verdict) {
    switch (verdict) {
    case Verdict::More:
        if (line_.awaited) {
            startSilence();
        } else if (line_.kind == Kind::Console || line_.kind == Kind::Close) {
            silenceAt_.reset();
            startQuiet(); // an answer without "OK" ends when the board falls quiet
        } else if (line_.kind != Kind::Flash) { // a READ's data and "OK" come together
            startSilence(); // a long answer (a listing) has its time from its last part
        }
        return;
    case Verdict::Answered:
        silenceAt_.reset();
        quietAt_.reset();
        line_.first = true;
        if (++line_.answered >= line_.copies)
            settle();
        else
            startQuiet(); // the answers to the other copies, or a quiet moment
        return;
    case Verdict::Lost:
        silenceAt_.reset();
        ++line_.answered; // that copy's answer has ended, short of a part
        lose();
        return;
    case Verdict::Ended:
        return;
    }
}

void BoardEngine::Impl::onQuiet() {
    settle(); // whatever else is due has been lost
}

void BoardEngine::Impl::settle() {
    quietAt_.reset();
    silenceAt_.reset();
    owed_ = 0;
    line_.first = true;
    if (const auto next = std::exchange(next_, nullptr))
        next();
}

void BoardEngine::Impl::onSilence() {
    // A flash line cannot go twice (the board would write or read twice): a slow board
    // gets the time of the tries, and the transfer starts over only after them. A CLOSE
    // before an Open line gets that time too, so that its answer is not the Open's.
    if (!line_.resendable && triesLeft_ > 0) {
        --triesLeft_;
        ++waited_;
        startSilence();
        return;
    }
    if (line_.awaited) { // nothing is relied on from a CLOSE: it has had its time
        settle();
        return;
    }
    lose();
}

void BoardEngine::Impl::lose() {
    timedOut_ = true;
    lostAny_ = true;
    if (line_.resendable && triesLeft_ > 0) {
        --triesLeft_;
        line_.fresh = true;
        transmit();
        return;
    }
    if (restart_ && restartsLeft_ > 0) {
        --restartsLeft_;
        ++restarts_;
        owed_ += line_.copies - line_.answered; // a late answer is still to come
        restart_();
        return;
    }
    const int tries = line_.copies + waited_;
    std::string what = tries > 1
                           ? format("no answer from %1 to %2 (%3 tries, %4 each)",
                                    {where(), awaiting(), number(tries), secondsText(c_.timeoutMs)})
                           : format("no answer from %1 to %2 within %3",
                                    {where(), awaiting(), secondsText(c_.timeoutMs)});
    if (restarts_ > 0)
        what += format(", the transfer started over %1 times", {number(restarts_)});
    if (unreachable_)
        what +=
            format("; the system reported the port unreachable: nothing listens on %1", {where()});
    fail(JobStatus::NoAnswer, what);
}

void BoardEngine::Impl::closeThen(std::function<void()> next, bool awaited) {
    next_ = std::move(next);
    sendLine(
        std::string(kCloseCommand), Kind::Close, false,
        [](std::string_view reply) {
            return ends(Kind::Close, reply) ? Verdict::Answered : Verdict::More;
        },
        awaited);
}

} // namespace vantor::core
