// The end of a command on a board and what it leaves behind: the result, what the board
// and the local file hold when it failed midway, progress, and the local file of save and
// get, which goes in its target's place only when the command is done.

#include "board_engine.h"
#include "board_engine_impl.h"

namespace vantor::core {

void BoardEngine::Impl::finish(JobStatus status, const std::string& message) {
    if (finished_)
        return;
    finished_ = true;
    // A console line settles only after a quiet moment: nothing more of it is owed.
    owes_ = lostAny_ || owed_ > 0 || status == JobStatus::Interrupted ||
            status == JobStatus::Link ||
            (line_.kind != Kind::Console && line_.copies > line_.answered);
    silenceAt_.reset();
    quietAt_.reset();
    handler_ = nullptr;
    next_ = nullptr;
    restart_ = nullptr;
    if (localOpen_) {
        store_->abandon(false); // committed already when the command is done
        localOpen_ = false;
    }
    result_.status = status;
    result_.message = message.empty() ? format("%1: done on %2", {command(), where()}) : message;
    io_.finished(result_);
}

void BoardEngine::Impl::fail(JobStatus status, const std::string& what) {
    if (finished_)
        return;
    const std::string after = aftermath();
    finish(status, format("%1: %2%3", {command(), what, after.empty() ? "" : "; " + after}));
}

std::string BoardEngine::Impl::aftermath() {
    const std::string& file = c_.file;
    switch (phase_) {
    case Phase::Opening:
    case Phase::Console:
        return {};
    case Phase::Erase:
        return format("nothing of %1 was sent", {file});
    case Phase::Download:
        if (progress_.done == 0)
            return format("the board took no line of %1", {file});
        return format("the board took %1 of the %2 of %3: it holds part of the program",
                      {progress_.done == 1 ? "line 1" : "lines 1 to " + number(progress_.done),
                       number(progress_.total), file});
    case Phase::Put:
        return format("the board took %1 of %2 bytes: %3 on its flash disk is incomplete",
                      {number(flashTaken_), number(std::int64_t(c_.data.size())), c_.flashShown});
    case Phase::Listing:
    case Phase::ReadBack:
        break;
    }
    if (compare_ || flashCompare_) // what the board holds, read before anything is written
        return c_.command == JobCommand::Diff ? std::string()
                                              : format("nothing of %1 was sent", {file});
    if (!toFile_) // the read-back behind --verify
        return c_.command == JobCommand::Put
                   ? format("all %1 bytes were taken, but could not be read back",
                            {number(std::int64_t(c_.data.size()))})
                   : format("all %1 lines were taken, but the listing could not be read back",
                            {number(std::int64_t(program_.size()))});
    return localAftermath();
}

// A local file left as it was, and what came kept beside it.
std::string BoardEngine::Impl::localAftermath() {
    if (!localOpen_)
        return {};
    const std::string target = store_->target();
    const std::int64_t received = store_->size();
    const bool existed = store_->targetExisted();
    const std::string kept = store_->abandon(true);
    localOpen_ = false;
    const std::string left = format(existed ? "%1 left as it was" : "%1 not created", {target});
    if (kept.empty())
        return left;
    return format("%1; the %2 received are in %3", {left, sizeText(received), kept});
}

void BoardEngine::Impl::setProgress(Phase phase, const char* name, std::int64_t done,
                                    std::int64_t total, ProgressUnit unit) {
    phase_ = phase;
    const int attempt = progress_.phase == name ? progress_.attempt + 1 : 0;
    progress_ = {name, done, total, unit, attempt};
    if (progress_.phase == command())
        main_ = progress_;
    io_.progressed();
}

void BoardEngine::Impl::advance(std::int64_t done) {
    progress_.done = done;
    if (progress_.phase == command())
        main_.done = done;
    io_.progressed();
}

bool BoardEngine::Impl::openLocal() {
    if (store_->open()) {
        localOpen_ = true;
        return true;
    }
    finish(JobStatus::File,
           format("%1: cannot write %2: %3", {command(), store_->target(), store_->errorString()}));
    return false;
}

bool BoardEngine::Impl::writeLocal(std::string_view bytes) {
    if (!toFile_ || !localOpen_ || store_->write(bytes))
        return true;
    fail(JobStatus::File, format("cannot write %1: %2", {store_->target(), store_->errorString()}));
    return false;
}

bool BoardEngine::Impl::restartLocal() {
    if (!localOpen_ || store_->restart())
        return true;
    fail(JobStatus::File, format("cannot write %1: %2", {store_->target(), store_->errorString()}));
    return false;
}

bool BoardEngine::Impl::commitLocal() {
    if (store_->commit()) {
        localOpen_ = false;
        return true;
    }
    fail(JobStatus::File,
         format("cannot replace %1: %2", {store_->target(), store_->errorString()}));
    return false;
}

} // namespace vantor::core
