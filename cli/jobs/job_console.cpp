// The console commands (ver, new, send) and the NEW before a download --new.

#include "jobs/board_job.h"
#include "jobs/job_support.h"

#include "core/protocol.h"

namespace vantor::cli {

using namespace job;

// Each line's answer is what arrives until a reply with "OK" or "ERROR", or until the
// board is quiet for --idle after its last reply.
void BoardJob::runConsole(const QList<QByteArray>& lines, bool repeatable,
                          std::function<void()> then) {
    phase_ = then ? Phase::Erase : Phase::Console;
    consoleLines_ = lines;
    consoleAt_ = 0;
    consoleRepeatable_ = repeatable;
    afterConsole_ = std::move(then);
    nextConsoleLine();
}

void BoardJob::nextConsoleLine() {
    result_.lines = int(consoleAt_);
    if (consoleAt_ == consoleLines_.size()) {
        if (afterConsole_)
            std::exchange(afterConsole_, nullptr)();
        else
            finish(Status::Done);
        return;
    }
    const QByteArray line = consoleLines_[consoleAt_] + "\r\n";
    next_ = [this] {
        ++consoleAt_;
        nextConsoleLine();
    };
    sendLine(line, Kind::Console, consoleRepeatable_,
             [this, line](const QByteArray& reply) { return consoleAnswer(line, reply); });
}

BoardJob::Verdict BoardJob::consoleAnswer(const QByteArray& line, const QByteArray& reply) {
    if (phase_ == Phase::Console) {
        const QString text = out_.text(reply);
        result_.output += text;
        if (o_.command != QLatin1String("scan")) // scan lists them in its table
            out_.print(where(), text);
    }
    switch (core::classify(view(reply), {core::Reply::Error, core::Reply::Ok})) {
    case core::Reply::Error:
        fail(Status::Refused, QStringLiteral("\"%1\" refused by %2: %3")
                                  .arg(out_.text(line).trimmed(), where(), shown(out_, reply)));
        return Verdict::Ended;
    case core::Reply::Ok:
        return Verdict::Answered;
    default:
        return Verdict::More;
    }
}

} // namespace vantor::cli
