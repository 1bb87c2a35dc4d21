// The flash disk: put, get, and the read-back behind put --verify.

#include "board_engine_impl.h"

#include <algorithm>
#include <utility>

namespace vantor::core {

namespace {

bool hexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A READ's data as the board sends it: 40 hex digits; the last ones, fewer, before "ND".
bool dataReply(std::string_view reply, bool last) {
    while (!reply.empty() && (reply.back() == '\r' || reply.back() == '\n'))
        reply.remove_suffix(1);
    if (last) {
        if (!reply.ends_with("ND"))
            return false;
        reply.remove_suffix(2);
    }
    const bool sized = last ? reply.size() % 2 == 0 && reply.size() <= 40 : reply.size() == 40;
    return sized && std::all_of(reply.begin(), reply.end(), hexDigit);
}

} // namespace

// A lost answer starts the whole transfer again from its Open line, never one WRITE or
// READ (the board would take it twice); the retries bound how often, for the command.
void BoardEngine::Impl::sendFlashLine(const std::string& line, Handler handler) {
    sendLine(line, Kind::Flash, false, std::move(handler));
}

void BoardEngine::Impl::startPut() {
    restart_ = [this] { closeThen([this] { openPut(); }, true); };
    openPut();
}

void BoardEngine::Impl::openPut() {
    // What the board took stays in flashTaken_ until the new Open line is answered.
    write_.emplace(c_.data, c_.flashName);
    result_.changed = true; // opening the file for writing empties it
    setProgress(Phase::Put, "put", 0, std::int64_t(c_.data.size()), ProgressUnit::Bytes);
    sendFlashLine(write_->open().send, [this](std::string_view r) { return putAnswer(r); });
}

// "ERROR": the file is closed on the board, then the job ends refused.
BoardEngine::Impl::Verdict BoardEngine::Impl::refuseFlash(std::string_view reply) {
    // The file cannot be opened to be read: there is none, most often. It is written;
    // the CLOSE is waited for, or its answer would be taken for the Open line's.
    if (flashCompare_ && !readLine_) {
        next_ = [this] { closeThen([this] { putAfterCompare(); }, true); };
        return Verdict::Answered;
    }
    std::string message = format("%1 refused by %2: %3",
                                 {pageText(c_.flashName, *c_.codePage), where(), shown(reply)});
    next_ = [this, message] { closeThen([this, message] { fail(JobStatus::Refused, message); }); };
    return Verdict::Answered;
}

BoardEngine::Impl::Verdict BoardEngine::Impl::putAnswer(std::string_view reply) {
    const std::int64_t sent = write_->position() - 1; // the bytes out before this answer
    const Step step = write_->onReply(reply);
    if (step.outcome == Outcome::Failed)
        return refuseFlash(reply);
    if (step.outcome == Outcome::Done) {
        flashTaken_ = result_.bytes = write_->total();
        advance(flashTaken_);
        next_ = [this] {
            closeThen(
                [this] {
                    if (c_.verify)
                        startGet(false);
                    else
                        finish(JobStatus::Done,
                               format("put: %1 bytes to %2 on %3",
                                      {number(result_.bytes), pageText(c_.flashName, *c_.codePage),
                                       where()}));
                },
                c_.verify);
        };
        return Verdict::Answered;
    }
    if (step.send.empty())
        return Verdict::More; // neither "OK" nor "ERROR"
    flashTaken_ = sent;       // this "OK" confirmed every piece sent so far
    advance(flashTaken_);
    next_ = [this, line = step.send] {
        sendFlashLine(line, [this](std::string_view r) { return putAnswer(r); });
    };
    return Verdict::Answered;
}

// get, and the read-back behind put --verify.
void BoardEngine::Impl::startGet(bool toFile) {
    toFile_ = toFile;
    if (toFile && !openLocal())
        return;
    restart_ = [this] { closeThen([this] { openGet(); }, true); };
    captured_.clear();
    openGet();
}

void BoardEngine::Impl::openGet() {
    freshCapture_ = !captured_.empty();
    read_.emplace(c_.flashName);
    readLine_ = false;
    readData_ = true; // no data is due to the Open line
    // What the last try received stays until the new try's first answer; the progress
    // counts this try's.
    setProgress(Phase::ReadBack,
                toFile_         ? "get"
                : flashCompare_ ? "compare"
                                : "verify",
                0, toFile_ ? -1 : std::int64_t(c_.data.size()), ProgressUnit::Bytes);
    sendFlashLine(read_->open().send, [this](std::string_view r) { return getAnswer(r); });
}

BoardEngine::Impl::Verdict BoardEngine::Impl::getAnswer(std::string_view reply) {
    const Reply kind = classify(reply, {Reply::Error, Reply::EndOfData, Reply::Ok});
    if (reply.find_first_not_of("\r\n") == std::string_view::npos)
        return Verdict::More; // a line end a pause cut from its reply
    // A READ is answered by its data, then "OK": an "OK" alone means the data was lost,
    // and data that is not 20 bytes of digits (a part, other text) is lost as well. The
    // window takes any text for 20 bytes; a copy that is to be believed cannot.
    if (kind == Reply::Ok && (!readData_ || badData_))
        return Verdict::Lost;
    if (kind == Reply::Other || kind == Reply::EndOfData) {
        if (!readLine_)
            return Verdict::More; // no data is due to the Open line
        if (readData_ || !dataReply(reply, kind == Reply::EndOfData)) {
            if (kind == Reply::EndOfData) // no "OK" comes after it
                return Verdict::Lost;
            readData_ = badData_ = true;
            return Verdict::More;
        }
    }
    if (std::exchange(freshCapture_, false)) {
        // A transfer started again: what the last try received gives way only now, so
        // that it is kept if the new try gets no answer at all.
        captured_.clear();
        if (!restartLocal())
            return Verdict::Ended;
    }
    const Step step = read_->onReply(reply);
    if (!writeLocal(step.store))
        return Verdict::Ended;
    captured_ += step.store;
    if (toFile_)
        result_.bytes = std::int64_t(captured_.size());
    if (!step.store.empty())
        advance(std::int64_t(captured_.size()));
    if (kind == Reply::Other) {
        readData_ = true;
        return Verdict::More;
    }
    if (step.outcome == Outcome::Failed)
        return refuseFlash(reply);
    if (step.outcome == Outcome::Done) {
        next_ = [this] {
            closeThen(
                [this] {
                    if (!toFile_) {
                        verifyFlash();
                        return;
                    }
                    const std::string target = store_->target();
                    if (commitLocal())
                        finish(JobStatus::Done, format("get: %1 bytes from %2 into %3",
                                                       {number(result_.bytes), where(), target}));
                },
                flashCompare_); // the file may be written next
        };
        return Verdict::Answered;
    }
    next_ = [this, line = step.send] {
        readLine_ = true;
        readData_ = badData_ = false;
        sendFlashLine(line, [this](std::string_view r) { return getAnswer(r); });
    };
    return Verdict::Answered;
}

void BoardEngine::Impl::verifyFlash() {
    const std::string& data = c_.data;
    const auto mismatch =
        std::mismatch(data.begin(), data.end(), captured_.begin(), captured_.end());
    const bool same = mismatch.first == data.end() && mismatch.second == captured_.end();
    if (flashCompare_) {
        result_.same = same;
        if (!same) {
            putAfterCompare();
            return;
        }
        finish(JobStatus::Done, format("put: %1 on %2 already holds %3; nothing written",
                                       {c_.flashShown, where(), c_.file}));
        return;
    }
    if (same) {
        finish(JobStatus::Done, format("put: %1 bytes to %2 on %3, verified",
                                       {number(result_.bytes), c_.flashShown, where()}));
        return;
    }
    finish(JobStatus::Mismatch,
           format("put: %1 on %2 differs from %3 at byte %4",
                  {c_.flashShown, where(), c_.file, number(mismatch.first - data.begin())}));
}

void BoardEngine::Impl::putAfterCompare() {
    flashCompare_ = false;
    captured_.clear();
    startPut();
}

} // namespace vantor::core
