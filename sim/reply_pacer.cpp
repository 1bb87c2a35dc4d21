#include "sim/reply_pacer.h"

#include <algorithm>

namespace vantor::sim {

FrontOptions FrontOptions::chaos(std::uint32_t seed) {
    std::mt19937 random(seed);
    const auto pick = [&random](std::initializer_list<double> values) {
        return *(values.begin() +
                 std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random));
    };
    FrontOptions o;
    o.seed = seed;
    o.dropRate = pick({0, 0, 0.02, 0.1});
    o.stallRate = pick({0, 0.05, 0.2});
    o.stallMs = int(pick({100, 400, 900}));
    o.otherPortRate = pick({0, 0.3, 1});
    o.crOnly = pick({0, 1}) != 0;
    o.splitMs = int(pick({0, 5, 15}));
    return o;
}

ReplyPacer::ReplyPacer(FrontOptions options, int gapMs, QObject* parent)
    : QObject(parent), options_(options), gapMs_(gapMs), random_(options.seed) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ReplyPacer::release);
}

bool ReplyPacer::chance(int every, int count, double rate) {
    if (every > 0 && count % every == 0)
        return true;
    return rate > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < rate;
}

void ReplyPacer::post(const QList<QByteArray>& replies, const Sender& send, bool text,
                      int extraDelayMs) {
    const qint64 arrivedAt = clock_.elapsed();
    qint64 readyAt = arrivedAt + std::max(0, options_.replyDelayMs) + std::max(0, extraDelayMs);
    ++faults_.commands;
    if (chance(options_.stallEvery, ++commandsSeen_, options_.stallRate) ||
        commandsSeen_ == options_.stallAt) {
        // Busy with this command: its answers, and those queued behind them, come late.
        readyAt += options_.stallMs;
        ++faults_.stalled;
    }
    // How late this command's answer will be, counting what is queued before it: a reply
    // still waiting when a client gives up counts too.
    const qint64 due = pending_.empty() ? readyAt : std::max(readyAt, pending_.back().readyAt);
    faults_.longestDelayMs = std::max(faults_.longestDelayMs, due - arrivedAt);
    bool first = true;
    for (QByteArray reply : replies) {
        if (chance(options_.dropEvery, ++repliesSeen_, options_.dropRate)) {
            ++faults_.dropped;
            continue;
        }
        if (options_.crOnly && text)
            reply.replace("\r\n", "\r");
        faults_.refusals += reply.contains("ERROR");
        const bool otherPort =
            chance(options_.otherPortEvery, repliesSeen_, options_.otherPortRate);
        faults_.otherPort += otherPort;
        queue(reply, {reply, send, readyAt, arrivedAt, first ? 0 : gapMs_, otherPort});
        first = false;
    }
    release();
}

// A reply whole, or (serial) in two to four pieces cut anywhere, splitMs apart.
void ReplyPacer::queue(const QByteArray& reply, Pending item) {
    if (options_.splitMs <= 0 || reply.size() < 2) {
        pending_.push_back(std::move(item));
        return;
    }
    ++faults_.split;
    const int pieces = std::uniform_int_distribution<int>(2, 4)(random_);
    qsizetype at = 0;
    for (int i = 0; i < pieces && at < reply.size(); ++i) {
        const qsizetype left = reply.size() - at;
        const qsizetype size = i + 1 == pieces ? left : std::max<qsizetype>(1, left / 2);
        Pending piece = item;
        piece.bytes = reply.mid(at, size);
        if (i > 0)
            piece.gapMs = options_.splitMs;
        pending_.push_back(std::move(piece));
        at += size;
    }
}

void ReplyPacer::release() {
    while (!pending_.empty()) {
        const qint64 now = clock_.elapsed();
        const Pending& next = pending_.front();
        const qint64 due = std::max(next.readyAt, lastSentAt_ + next.gapMs);
        if (due > now) {
            timer_.start(static_cast<int>(due - now));
            return;
        }
        const Pending item = next;
        pending_.pop_front();
        lastSentAt_ = now;
        faults_.longestDelayMs = std::max(faults_.longestDelayMs, now - item.arrivedAt);
        item.send(item.bytes, item.otherPort);
    }
}

} // namespace vantor::sim
