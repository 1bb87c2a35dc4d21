// The flash disk: put, get, and the read-back behind put --verify.

#include "jobs/board_job.h"
#include "jobs/job_support.h"

#include "core/flash_lines.h"

namespace vantor::cli {

using namespace job;

// A lost answer starts the whole transfer again from its Open line, never one WRITE or
// READ (the board would take it twice); --retries bounds how often, for the command.
void BoardJob::sendFlashLine(const std::string& line, Handler handler) {
    sendLine(bytes(line), Kind::Flash, false, std::move(handler));
}

void BoardJob::startPut() {
    QFile file(o_.args[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        finish(Status::File, QStringLiteral("put: cannot read %1").arg(o_.args[0]));
        return;
    }
    flashData_ = file.readAll().toStdString();
    restart_ = [this] { closeThen([this] { openPut(); }); };
    openPut();
}

void BoardJob::openPut() {
    // What the board took stays in flashTaken_ until the new Open line is answered.
    write_.emplace(flashData_, view(o_.flashName));
    setProgress(Phase::Put, "put", 0, qint64(flashData_.size()), Unit::Bytes);
    sendFlashLine(write_->open().send, [this](const QByteArray& r) { return putAnswer(r); });
}

// "ERROR": the file is closed on the board, then the job ends refused.
BoardJob::Verdict BoardJob::refuseFlash(const QByteArray& reply) {
    const QString message = QStringLiteral("%1 refused by %2: %3")
                                .arg(out_.text(o_.flashName), where(), shown(out_, reply));
    next_ = [this, message] { closeThen([this, message] { fail(Status::Refused, message); }); };
    return Verdict::Answered;
}

BoardJob::Verdict BoardJob::putAnswer(const QByteArray& reply) {
    const qint64 sent = write_->position() - 1; // the bytes out before this answer
    const core::Step step = write_->onReply(view(reply));
    if (step.outcome == core::Outcome::Failed)
        return refuseFlash(reply);
    if (step.outcome == core::Outcome::Done) {
        flashTaken_ = result_.bytes = write_->total();
        advance(flashTaken_);
        next_ = [this] {
            closeThen([this] {
                if (o_.verify)
                    startGet(false);
                else
                    finish(Status::Done, QStringLiteral("put: %1 bytes to %2 on %3")
                                             .arg(result_.bytes)
                                             .arg(out_.text(o_.flashName), where()));
            });
        };
        return Verdict::Answered;
    }
    if (step.send.empty())
        return Verdict::More; // neither "OK" nor "ERROR"
    flashTaken_ = sent;       // this "OK" confirmed every piece sent so far
    advance(flashTaken_);
    next_ = [this, line = step.send] {
        sendFlashLine(line, [this](const QByteArray& r) { return putAnswer(r); });
    };
    return Verdict::Answered;
}

// get, and the read-back behind put --verify.
void BoardJob::startGet(bool toFile) {
    toFile_ = toFile;
    if (toFile && !openLocal(o_.args.size() > 1 ? o_.args[1] : o_.args[0]))
        return;
    restart_ = [this] { closeThen([this] { openGet(); }); };
    captured_.clear();
    openGet();
}

void BoardJob::openGet() {
    freshCapture_ = !captured_.empty();
    read_.emplace(view(o_.flashName));
    readData_ = true; // no data is due to the Open line
    setProgress(Phase::ReadBack, toFile_ ? "get" : "verify", qint64(captured_.size()),
                toFile_ ? -1 : qint64(flashData_.size()), Unit::Bytes);
    sendFlashLine(read_->open().send, [this](const QByteArray& r) { return getAnswer(r); });
}

BoardJob::Verdict BoardJob::getAnswer(const QByteArray& reply) {
    const core::Reply kind =
        core::classify(view(reply), {core::Reply::Error, core::Reply::EndOfData, core::Reply::Ok});
    // A READ is answered by its data, then "OK": an "OK" alone means the data was lost.
    if (kind == core::Reply::Ok && !readData_)
        return Verdict::Lost;
    if (std::exchange(freshCapture_, false)) {
        // A transfer started again: what the last try received gives way only now, so
        // that it is kept if the new try gets no answer at all.
        captured_.clear();
        if (local_ && !local_->restart()) {
            fail(
                Status::File,
                QStringLiteral("cannot write %1: %2").arg(local_->target(), local_->errorString()));
            return Verdict::Ended;
        }
    }
    const core::Step step = read_->onReply(view(reply));
    if (!writeLocal(step.store))
        return Verdict::Ended;
    captured_ += step.store;
    if (toFile_)
        result_.bytes = qint64(captured_.size());
    if (!step.store.empty())
        advance(qint64(captured_.size()));
    if (kind == core::Reply::Other) {
        readData_ = true;
        return Verdict::More;
    }
    if (step.outcome == core::Outcome::Failed)
        return refuseFlash(reply);
    if (step.outcome == core::Outcome::Done) {
        next_ = [this] { closeThen([this] { toFile_ ? commitGet() : verifyFlash(); }); };
        return Verdict::Answered;
    }
    next_ = [this, line = step.send] {
        readData_ = false;
        sendFlashLine(line, [this](const QByteArray& r) { return getAnswer(r); });
    };
    return Verdict::Answered;
}

// A transfer started again: what the last try received gives way only at the new try's
// first answer, so that it is kept if the new try gets no answer at all.
bool BoardJob::restartCapture() {
    if (!std::exchange(freshCapture_, false))
        return true;
    captured_.clear();
    if (!local_ || local_->restart())
        return true;
    fail(Status::File,
         QStringLiteral("cannot write %1: %2").arg(local_->target(), local_->errorString()));
    return false;
}

void BoardJob::commitGet() {
    const QString target = local_->target();
    if (commitLocal())
        finish(Status::Done, QStringLiteral("get: %1 bytes from %2 into %3")
                                 .arg(result_.bytes)
                                 .arg(where(), target));
}

void BoardJob::verifyFlash() {
    const auto mismatch =
        std::mismatch(flashData_.begin(), flashData_.end(), captured_.begin(), captured_.end());
    if (mismatch.first == flashData_.end() && mismatch.second == captured_.end()) {
        finish(Status::Done, QStringLiteral("put: %1 bytes to %2 on %3, verified")
                                 .arg(result_.bytes)
                                 .arg(o_.args[1], where()));
        return;
    }
    finish(Status::Mismatch, QStringLiteral("put: %1 on %2 differs from %3 at byte %4")
                                 .arg(o_.args[1], where(), o_.args[0])
                                 .arg(mismatch.first - flashData_.begin()));
}

} // namespace vantor::cli
