// A board that never stops printing: 500 MiB of CR LF lines in datagrams of 1 to 1400
// bytes, from a sender thread on 127.0.0.1 into the idle display of a connected window,
// with probe datagrams among them. The sender keeps a bounded amount in flight, measured
// by the window's own log (flushed per datagram), so that nothing is lost and the figures
// are the window's, not the socket buffer's.
//
// bench_udp_ingest [MIB [LINE]]: a smaller run, e.g. under a profiler; lines of 1 to LINE
// characters (120 unless told; 1000000 is a board that hardly ever ends a line).

#include "bench_support.h"
#include "shell/receive_view.h"
#include "window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

using namespace vantor;
using bench::Clock;

namespace {

constexpr qint64 kMiB = 1024 * 1024;
qint64 textBytes = 500 * kMiB;
constexpr int kMaxDatagram = 1400;
int maxLine = 120;
// The text repeats a block of random lines; an odd length, so that a lost or doubled
// stretch of a round size cannot line up with it.
constexpr qint64 kBlockBytes = 1000003;
// Far below the window's socket buffer, so a burst never overflows it.
constexpr qint64 kInFlightBytes = 128 * 1024;
constexpr int kLoadProbes = 1000;
constexpr int kIdleProbes = 200;
constexpr int kProbeLimitMs = 1000;
// '@' never occurs in the text: it marks a probe.
constexpr char kProbeMark = '@';
constexpr int kTickMs = 5;

QByteArray probeText(int id) {
    return kProbeMark + QByteArray::number(id).rightJustified(6, '0') + kProbeMark + "\r\n";
}

QByteArray makeBlock() {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> lineLength(1, maxLine);
    std::uniform_int_distribution<int> printable(0x20, 0x7E);
    QByteArray text;
    while (text.size() < kBlockBytes - 2) {
        for (int i = lineLength(random); i > 0 && text.size() < kBlockBytes - 2; --i) {
            const char c = char(printable(random));
            text.append(c == kProbeMark ? '#' : c);
        }
        text.append("\r\n");
    }
    text.truncate(kBlockBytes - 2);
    return text + "\r\n";
}

struct Probe {
    qint64 at; // where in the wire it went
    int id;
};

// The bytes the window was sent, in order: the text with the probes among it.
class Wire {
public:
    Wire(const QByteArray& block, const std::vector<Probe>& probes)
        : block_(block), probes_(probes) {}

    QByteArray take(qint64 n) {
        QByteArray out;
        while (out.size() < n) {
            if (next_ < probes_.size() && probes_[next_].at == at_ + out.size()) {
                out += probeText(probes_[next_++].id);
                continue;
            }
            qint64 take = std::min(n - out.size(), block_.size() - text_ % block_.size());
            if (next_ < probes_.size())
                take = std::min(take, probes_[next_].at - (at_ + out.size()));
            take = std::min(take, textBytes - text_);
            if (take <= 0)
                break;
            out.append(block_.constData() + text_ % block_.size(), take);
            text_ += take;
        }
        at_ += out.size();
        return out;
    }

private:
    const QByteArray& block_;
    const std::vector<Probe>& probes_;
    std::size_t next_ = 0;
    qint64 at_ = 0;
    qint64 text_ = 0;
};

struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<bool> senderDone{false};
    std::atomic<bool> flooded{false}; // the whole flood is in the log
    std::atomic<int> probesSeen{0};
    Clock::time_point firstSend, floodLogged;
    std::vector<Clock::time_point> probeSent =
        std::vector<Clock::time_point>(kLoadProbes + kIdleProbes);
    std::vector<Clock::time_point> probeShown =
        std::vector<Clock::time_point>(kLoadProbes + kIdleProbes);
    std::vector<Probe> probes;
    qint64 sent = 0;
    int sendRetries = 0;
    bool ok = true;
    QString failure;
};

void send(const QByteArray& block, quint16 port, const std::filesystem::path& log, qint64 logBase,
          Shared& shared) {
    QUdpSocket socket;
    const auto fail = [&](const QString& why) {
        shared.ok = false;
        shared.failure = why;
        shared.senderDone = true;
    };
    if (!socket.bind(QHostAddress::LocalHost, 0))
        return fail(socket.errorString());
    const auto deadline = Clock::now() + std::chrono::minutes(10);
    qint64 consumed = 0;
    const auto refresh = [&] {
        std::error_code ec;
        const auto size = std::filesystem::file_size(log, ec);
        if (!ec)
            consumed = qint64(size) - logBase;
    };
    const auto put = [&](const char* data, int size) {
        // A refused write is retried, never dropped; counted, as it should not happen.
        while (socket.writeDatagram(data, size, QHostAddress::LocalHost, port) != size) {
            ++shared.sendRetries;
            if (Clock::now() > deadline || shared.sendRetries > 10000)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        shared.sent += size;
        return true;
    };
    const auto room = [&](qint64 size) {
        while (shared.sent - consumed + size > kInFlightBytes) {
            if (shared.stop || Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            refresh();
        }
        return true;
    };

    std::mt19937 random(7);
    std::uniform_int_distribution<int> datagramSize(1, kMaxDatagram);
    const qint64 probeEvery = textBytes / kLoadProbes;
    char datagram[kMaxDatagram];
    int probes = 0;
    bool endsWithCr = false;
    shared.firstSend = Clock::now();
    for (qint64 text = 0; text < textBytes;) {
        // Never between a CR and its LF: the pane would show the two as separate breaks.
        if (probes < kLoadProbes && text >= probes * probeEvery + probeEvery / 2 && !endsWithCr) {
            const QByteArray p = probeText(probes);
            if (!room(p.size()))
                return fail(QStringLiteral("flood timed out at %1 bytes").arg(consumed));
            shared.probes.push_back({shared.sent, probes});
            shared.probeSent[std::size_t(probes)] = Clock::now();
            if (!put(p.constData(), int(p.size())))
                return fail(QStringLiteral("send refused"));
            ++probes;
        }
        const int size = int(std::min<qint64>(datagramSize(random), textBytes - text));
        for (int i = 0; i < size; ++i)
            datagram[i] = block[(text + i) % block.size()];
        if (!room(size))
            return fail(QStringLiteral("flood timed out at %1 bytes").arg(consumed));
        if (!put(datagram, size))
            return fail(QStringLiteral("send refused"));
        text += size;
        endsWithCr = datagram[size - 1] == '\r';
    }
    while (consumed < shared.sent) {
        if (shared.stop || Clock::now() > deadline)
            return fail(QStringLiteral("drain timed out"));
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        refresh();
    }
    shared.floodLogged = Clock::now();
    shared.flooded = true;

    // One probe at a time into an idle window: the latency without a queue in front.
    for (int p = kLoadProbes; p < kLoadProbes + kIdleProbes; ++p) {
        const QByteArray text = probeText(p);
        const int seen = shared.probesSeen;
        shared.probes.push_back({shared.sent, p});
        shared.probeSent[std::size_t(p)] = Clock::now();
        if (!put(text.constData(), int(text.size())))
            return fail(QStringLiteral("probe refused"));
        const auto probeDeadline = Clock::now() + std::chrono::milliseconds(kProbeLimitMs);
        while (shared.probesSeen == seen) {
            if (shared.stop || Clock::now() > probeDeadline)
                return fail(QStringLiteral("probe %1 not shown").arg(p));
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    shared.senderDone = true;
}

// The pane's rule for line breaks: CR LF, CR and LF are each one.
QString paneForm(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        out += QLatin1Char(bytes[i] == '\r' ? '\n' : bytes[i]);
    }
    return out;
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        textBytes = qBound(20, QByteArray(argv[1]).toInt(), 4096) * kMiB;
    if (argc > 2)
        maxLine = qBound(1, QByteArray(argv[2]).toInt(), 10000000);

    const QByteArray block = makeBlock();
    test::WindowFixture f;
    QUdpSocket controller; // the window's remote end; it sends nothing here
    if (!controller.bind(QHostAddress::LocalHost, 0) || !f.connectTo(controller.localPort())) {
        bench::note(QStringLiteral("cannot connect the window"));
        return 1;
    }
    f.c().Command2->click(); // an empty pane to start with
    const quint16 windowPort = f.window().winsock().localPort();
    const QString logName = f.path(QStringLiteral("Terminal.log"));
    const std::filesystem::path logPath = logName.toStdString();
    const qint64 logBase = QFileInfo(logName).size();
    ReceiveView* pane = f.c().tbReceiveData;

    Shared shared;
    // When each MiB of text was in the pane, counted in its characters.
    std::vector<Clock::time_point> mibShown;
    std::uint64_t seen = pane->store().end();
    const std::uint64_t start = seen;
    QObject::connect(pane, &ReceiveView::changed, pane, [&] {
        const auto now = Clock::now();
        const std::uint64_t end = pane->store().end();
        // A probe is a datagram of its own, so it comes as one short piece.
        if (end - seen <= 10) {
            const std::u16string_view text = pane->store().text(seen, end);
            if (text.size() == 9 && text[0] == char16_t(kProbeMark)) {
                const int id = QString::fromUtf16(text.data() + 1, 6).toInt();
                if (id >= 0 && id < kLoadProbes + kIdleProbes) {
                    shared.probeShown[std::size_t(id)] = now;
                    ++shared.probesSeen;
                }
            }
        }
        seen = end;
        while (end - start >= (mibShown.size() + 1) * std::uint64_t(kMiB))
            mibShown.push_back(now);
    });
    // The event loop's longest pause, seen by a timer that should tick every 5 ms.
    double longestGapMs = 0;
    QElapsedTimer gap;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!shared.flooded && gap.isValid())
            longestGapMs = std::max(longestGapMs, gap.nsecsElapsed() / 1e6);
        gap.start();
    });
    ticker.start(kTickMs);
    PaintCounter paints;
    pane->viewport()->installEventFilter(&paints);

    const double memBefore = bench::peakMemoryMiB();
    const double cpuStart = bench::threadCpuMs();
    std::thread sender(send, std::cref(block), windowPort, logPath, logBase, std::ref(shared));
    const bool finished = bench::waitUntil([&] { return shared.senderDone.load(); }, 20 * 60000);
    const double cpuMs = bench::threadCpuMs() - cpuStart;
    shared.stop = true;
    sender.join();
    ticker.stop();
    const double memPeak = bench::peakMemoryMiB();
    if (!finished || !shared.ok) {
        bench::note(QStringLiteral("FAILED: %1").arg(finished ? shared.failure : "timed out"));
        return 1;
    }

    // The log must hold every byte sent, in order; it is read back a piece at a time.
    QFile log(logName);
    bool logOk = log.open(QIODevice::ReadOnly) && log.seek(logBase);
    Wire wire(block, shared.probes);
    qint64 checked = 0;
    while (logOk && checked < shared.sent) {
        const QByteArray got = log.read(4 * kMiB);
        logOk = !got.isEmpty() && got == wire.take(got.size());
        checked += got.size();
    }
    logOk = logOk && checked == shared.sent && log.atEnd();

    // The pane holds the newest text, whole lines of it; a line longer than the store's
    // longest may have lost its start.
    const QString shown = pane->toPlainText();
    log.seek(std::max(logBase, log.size() - 2 * shown.size() - 4));
    const QString tail = paneForm(log.readAll());
    const bool paneOk = tail.endsWith(shown) && tail.size() > shown.size() &&
                        (tail[tail.size() - shown.size() - 1] == QLatin1Char('\n') ||
                         maxLine > int(core::PaneText::kDefaultMaxLine));

    const auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    const double floodMs = ms(shared.firstSend, shared.floodLogged);
    const double rate = double(textBytes) / kMiB / (floodMs / 1000.0);
    std::vector<double> perMiB;
    for (std::size_t i = 0; i < mibShown.size(); ++i)
        perMiB.push_back(ms(i ? mibShown[i - 1] : shared.firstSend, mibShown[i]));
    // Ten MiB at either end, so that one slow MiB does not decide it.
    const auto mean = [&](std::size_t from, std::size_t n) {
        double sum = 0;
        for (std::size_t i = from; i < from + n; ++i)
            sum += perMiB[i];
        return sum / double(n);
    };
    const std::size_t ends = std::min<std::size_t>(10, perMiB.size() / 2);
    const double first = mean(0, ends), last = mean(perMiB.size() - ends, ends);

    std::vector<double> loaded, idle;
    for (int p = 0; p < kLoadProbes + kIdleProbes; ++p)
        (p < kLoadProbes ? loaded : idle)
            .push_back(ms(shared.probeSent[std::size_t(p)], shared.probeShown[std::size_t(p)]));
    const double worstProbe = bench::percentile(loaded, 100);

    bench::note(QStringLiteral("udp_ingest: %1 MiB of text in lines of 1 to %5 characters, in "
                               "datagrams of 1 to %2 bytes, %3 probes among them, at most %4 "
                               "KiB in flight")
                    .arg(textBytes / kMiB)
                    .arg(kMaxDatagram)
                    .arg(kLoadProbes)
                    .arg(kInFlightBytes / 1024)
                    .arg(maxLine));
    bench::figure(QStringLiteral("throughput overall"), rate, QStringLiteral("MiB/s"));
    bench::figure(QStringLiteral("flood wall time"), floodMs, QStringLiteral("ms"), 0);
    bench::figure(QStringLiteral("window thread CPU"), cpuMs, QStringLiteral("ms"), 0);
    bench::figure(QStringLiteral("time per MiB, first 10"), first, QStringLiteral("ms"));
    bench::figure(QStringLiteral("time per MiB, last 10"), last, QStringLiteral("ms"));
    bench::figure(QStringLiteral("last/first ratio"), last / first, QString(), 3);
    bench::figure(QStringLiteral("time per MiB, slowest"), bench::percentile(perMiB, 100),
                  QStringLiteral("ms"));
    for (std::size_t mib = 50; mib <= perMiB.size(); mib += 50)
        bench::figure(QStringLiteral("time per MiB, MiB %1 to %2").arg(mib - 9).arg(mib),
                      mean(mib - 10, 10), QStringLiteral("ms"));
    bench::figure(QStringLiteral("probe latency under load, median"), bench::percentile(loaded, 50),
                  QStringLiteral("ms"), 3);
    bench::figure(QStringLiteral("probe latency under load, p99"), bench::percentile(loaded, 99),
                  QStringLiteral("ms"), 3);
    bench::figure(QStringLiteral("probe latency under load, worst"), worstProbe,
                  QStringLiteral("ms"), 3);
    bench::figure(QStringLiteral("probe latency idle, median"), bench::percentile(idle, 50),
                  QStringLiteral("ms"), 3);
    bench::figure(QStringLiteral("longest pause of a 5 ms timer during the flood"), longestGapMs,
                  QStringLiteral("ms"), 1);
    bench::figure(QStringLiteral("pane repaints"), paints.paints, QString(), 0);
    bench::figure(QStringLiteral("peak memory before the flood"), memBefore, QStringLiteral("MiB"),
                  1);
    bench::figure(QStringLiteral("peak memory (VmHWM)"), memPeak, QStringLiteral("MiB"), 1);
    bench::figure(QStringLiteral("characters in the pane at the end"), double(shown.size()),
                  QString(), 0);
    bench::figure(QStringLiteral("send retries"), shared.sendRetries, QString(), 0);
    bench::note(QStringLiteral("log holds every byte sent: %1; pane holds the newest whole lines: "
                               "%2")
                    .arg(logOk ? "yes" : "NO", paneOk ? "yes" : "NO"));

    bool met = true;
    met &= bench::target(QStringLiteral("throughput >= 20 MiB/s"), rate >= 20,
                         QString::number(rate, 'f', 1));
    met &= bench::target(QStringLiteral("time per MiB flat: last/first <= 1.5"),
                         last / first <= 1.5, QString::number(last / first, 'f', 2));
    met &= bench::target(QStringLiteral("no stall: every probe under 100 ms"), worstProbe < 100,
                         QString::number(worstProbe, 'f', 1));
    met &= bench::target(QStringLiteral("peak memory < 200 MiB"), memPeak < 200,
                         QString::number(memPeak, 'f', 0));
    met &=
        bench::target(QStringLiteral("nothing lost"), logOk && paneOk, QStringLiteral("log, pane"));
    bench::note(met ? QStringLiteral("all targets met") : QStringLiteral("some target missed"));
    // A missed target is a figure to read; only a broken run fails.
    return logOk && paneOk ? 0 : 1;
}
