#include "sim/reply_pacer.h"

#include <algorithm>

namespace vantor::sim {

ReplyPacer::ReplyPacer(FrontOptions options, int gapMs, QObject* parent)
    : QObject(parent), options_(options), gapMs_(gapMs) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ReplyPacer::release);
}

void ReplyPacer::post(const QList<QByteArray>& replies, const Sender& send) {
    const qint64 readyAt = clock_.elapsed() + std::max(0, options_.replyDelayMs);
    bool first = true;
    for (const QByteArray& reply : replies) {
        ++repliesSeen_;
        if (options_.dropEvery > 0 && repliesSeen_ % options_.dropEvery == 0)
            continue;
        pending_.push_back({reply, send, readyAt, !first});
        first = false;
    }
    release();
}

void ReplyPacer::release() {
    while (!pending_.empty()) {
        const qint64 now = clock_.elapsed();
        const Pending& next = pending_.front();
        const qint64 due =
            next.afterGap ? std::max(next.readyAt, lastSentAt_ + gapMs_) : next.readyAt;
        if (due > now) {
            timer_.start(static_cast<int>(due - now));
            return;
        }
        const Pending item = next;
        pending_.pop_front();
        lastSentAt_ = now;
        item.send(item.bytes);
    }
}

} // namespace vantor::sim
