// The flash disk: put, get, and the read-back behind put --verify.

#include "board_job.h"
#include "job_support.h"

#include "core/flash_lines.h"

namespace vantor::cli {

using namespace job;

void BoardJob::startPut(bool again) {
    QFile file(o_.args[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        finish(Status::File, QStringLiteral("put: cannot read %1").arg(o_.args[0]));
        return;
    }
    flashData_ = file.readAll().toStdString(); // what the board took stays until it answers
    const QByteArray name = o_.args[1].toLatin1();
    write_.emplace(flashData_, view(name));
    setProgress(Phase::Put, "put", 0, qint64(flashData_.size()), Unit::Bytes);
    if (!again)
        triesLeft_ = o_.retries;
    // A lost answer starts the whole transfer again from its Open line, never one Write.
    repeat_ = [this] { closeThen([this] { startPut(true); }); };
    handler_ = [this](const QByteArray& reply) { putAnswer(reply); };
    sendLine(bytes(write_->open().send));
}

void BoardJob::putAnswer(const QByteArray& reply) {
    const qint64 sent = write_->position() - 1; // the bytes out before this answer
    const core::Step step = write_->onReply(view(reply));
    if (step.outcome == core::Outcome::Failed) {
        const QString message =
            QStringLiteral("%1 refused by %2: %3").arg(o_.args[1], where(), shown(out_, reply));
        closeThen([this, message] { fail(Status::Refused, message); });
    } else if (step.outcome == core::Outcome::Done) {
        flashTaken_ = result_.bytes = write_->total();
        advance(flashTaken_);
        closeThen([this] {
            if (o_.verify)
                startGet(false);
            else
                finish(Status::Done, QStringLiteral("put: %1 bytes to %2 on %3")
                                         .arg(result_.bytes)
                                         .arg(o_.args[1], where()));
        });
    } else if (!step.send.empty()) {
        flashTaken_ = sent; // this "OK" confirmed every piece sent so far
        advance(flashTaken_);
        sendLine(bytes(step.send));
    } else {
        silence_.start();
    }
}

// get, and the read-back behind put --verify.
void BoardJob::startGet(bool toFile, bool again) {
    toFile_ = toFile;
    freshStart_ = again;
    if (!again)
        captured_.clear();
    if (toFile && !local_ && !openLocal(o_.args.size() > 1 ? o_.args[1] : o_.args[0]))
        return;
    setProgress(Phase::ReadBack, toFile ? "get" : "verify", qint64(captured_.size()),
                toFile ? -1 : qint64(flashData_.size()), Unit::Bytes);
    const QByteArray name = (toFile ? o_.args[0] : o_.args[1]).toLatin1();
    read_.emplace(view(name));
    if (!again)
        triesLeft_ = o_.retries;
    repeat_ = [this] { closeThen([this] { startGet(toFile_, true); }); };
    handler_ = [this](const QByteArray& reply) { getAnswer(reply); };
    sendLine(bytes(read_->open().send));
}

void BoardJob::getAnswer(const QByteArray& reply) {
    if (!startAfresh())
        return;
    const core::Step step = read_->onReply(view(reply));
    if (!writeLocal(step.store))
        return;
    captured_ += step.store;
    if (toFile_)
        result_.bytes = qint64(captured_.size());
    if (!step.store.empty())
        advance(qint64(captured_.size()));
    if (step.outcome == core::Outcome::Failed) {
        const QString name = toFile_ ? o_.args[0] : o_.args[1];
        const QString message =
            QStringLiteral("%1 refused by %2: %3").arg(name, where(), shown(out_, reply));
        closeThen([this, message] { fail(Status::Refused, message); });
    } else if (step.outcome == core::Outcome::Done) {
        closeThen([this] {
            if (!toFile_) {
                verifyFlash();
                return;
            }
            const QString target = local_->target();
            if (commitLocal())
                finish(Status::Done, QStringLiteral("get: %1 bytes from %2 into %3")
                                         .arg(result_.bytes)
                                         .arg(where(), target));
        });
    } else if (!step.send.empty()) {
        sendLine(bytes(step.send));
    } else {
        silence_.start();
    }
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
