// The console commands (ver, new, send) and the NEW before a download --new.

#include "board_job.h"
#include "job_support.h"

#include "core/protocol.h"

namespace vantor::cli {

using namespace job;

// ver, new, send: each line's answer is what arrives until a reply with "OK" or "ERROR",
// or until the board is quiet for --idle after its last reply.
void BoardJob::runConsole(const QStringList& lines, bool repeatable, std::function<void()> then) {
    phase_ = then ? Phase::Erase : Phase::Console;
    consoleLines_ = lines;
    consoleAt_ = 0;
    consoleRepeatable_ = repeatable;
    afterConsole_ = std::move(then);
    triesLeft_ = o_.retries;
    nextConsoleLine();
}

void BoardJob::nextConsoleLine() {
    if (finished_)
        return;
    result_.lines = int(consoleAt_);
    if (consoleAt_ == consoleLines_.size()) {
        if (afterConsole_)
            std::exchange(afterConsole_, nullptr)();
        else
            finish(Status::Done);
        return;
    }
    QByteArray line;
    for (const QChar c : consoleLines_[consoleAt_]) {
        const int b = o_.codePage->fromUnicode(c.unicode());
        line += char(b < 0 ? '?' : b);
    }
    line += "\r\n";
    repeat_ =
        consoleRepeatable_ ? std::function<void()>([this, line] { sendLine(line); }) : nullptr;
    afterQuiet_ = [this] {
        ++consoleAt_;
        nextConsoleLine();
    };
    handler_ = [this, line](const QByteArray& reply) {
        const QString text = out_.text(reply);
        if (phase_ == Phase::Console) {
            result_.output += text;
            out_.print(where(), text);
        }
        switch (core::classify(view(reply), {core::Reply::Error, core::Reply::Ok})) {
        case core::Reply::Error:
            fail(Status::Refused, QStringLiteral("\"%1\" refused by %2: %3")
                                      .arg(out_.text(line).trimmed(), where(), shown(out_, reply)));
            return;
        case core::Reply::Ok:
            quiet_.stop();
            afterQuiet_ = nullptr;
            ++consoleAt_;
            nextConsoleLine();
            return;
        default:
            quiet_.start();
        }
    };
    sendLine(line);
}

} // namespace vantor::cli
