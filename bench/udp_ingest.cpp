// Text flooding the idle display: 20 MiB of CR LF lines in datagrams of 1 to 1400 bytes,
// from a sender thread on 127.0.0.1 into the pane of a connected window. The sender keeps
// a bounded amount in flight, measured by the window's own log (flushed per datagram),
// so that nothing is lost and the figures are the window's, not the socket buffer's.

#include "bench_support.h"
#include "window_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
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
// 20 MiB unless a smaller run is asked for (bench_udp_ingest MIB), e.g. under a profiler.
qint64 textBytes = 20 * kMiB;
constexpr int kMaxDatagram = 1400;
constexpr int kMaxLine = 120;
// Far below the window's socket buffer, so a burst never overflows it.
constexpr qint64 kInFlightBytes = 128 * 1024;
constexpr int kLoadProbes = 200;
constexpr int kIdleProbes = 200;
constexpr int kFloodLimitMs = 45000;
constexpr int kProbeLimitMs = 1000;
// '@' never occurs in the text: it marks a probe.
constexpr char kProbeMark = '@';

struct Datagram {
    qint64 offset;
    int size;
    int probe; // -1 for text
};

QByteArray probeText(int id) {
    return kProbeMark + QByteArray::number(id).rightJustified(6, '0') + kProbeMark + "\r\n";
}

// How many characters the pane's document gains from a datagram: it joins a CR LF into
// one break, also when the CR ended the previous datagram.
int paneChars(QByteArrayView bytes, bool& endsWithCr) {
    if (endsWithCr && bytes.startsWith('\n')) {
        bytes = bytes.sliced(1);
        endsWithCr = false;
    }
    if (bytes.isEmpty())
        return 0;
    int chars = int(bytes.size());
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == '\r' && bytes[i + 1] == '\n')
            --chars;
    }
    endsWithCr = bytes.endsWith('\r');
    return chars;
}

struct Flood {
    QByteArray wire; // every datagram of the flood, back to back
    std::vector<Datagram> datagrams;
};

Flood makeFlood() {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> lineLength(1, kMaxLine);
    std::uniform_int_distribution<int> printable(0x20, 0x7E);
    std::uniform_int_distribution<int> datagramSize(1, kMaxDatagram);

    QByteArray text;
    text.reserve(textBytes);
    while (text.size() < textBytes) {
        const int n = lineLength(random);
        for (int i = 0; i < n; ++i) {
            char c = static_cast<char>(printable(random));
            text.append(c == kProbeMark ? '#' : c);
        }
        text.append("\r\n");
    }
    text.truncate(textBytes - 2);
    text.append("\r\n");

    Flood flood;
    flood.wire.reserve(textBytes + (kLoadProbes + 1) * 16);
    const qint64 probeEvery = textBytes / kLoadProbes;
    int probes = 0;
    for (qint64 at = 0; at < text.size();) {
        // Not between a CR and its LF: the pane would show the two as separate breaks.
        if (probes < kLoadProbes && at >= (probes + 1) * probeEvery - probeEvery / 2 &&
            !flood.wire.endsWith('\r')) {
            const QByteArray p = probeText(probes);
            flood.datagrams.push_back({flood.wire.size(), int(p.size()), probes++});
            flood.wire.append(p);
        }
        const int size = int(std::min<qint64>(datagramSize(random), text.size() - at));
        flood.datagrams.push_back({flood.wire.size(), size, -1});
        flood.wire.append(text.constData() + at, size);
        at += size;
    }
    return flood;
}

struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<int> probesSeen{0};
    std::atomic<bool> senderDone{false};
    Clock::time_point firstSend;
    std::vector<Clock::time_point> probeSent =
        std::vector<Clock::time_point>(kLoadProbes + kIdleProbes);
    std::vector<Clock::time_point> probeShown =
        std::vector<Clock::time_point>(kLoadProbes + kIdleProbes);
    qint64 sent = 0;
    int sendRetries = 0;
    bool ok = true;
    QString failure;
};

void send(const Flood& flood, quint16 port, const std::filesystem::path& log, qint64 logBase,
          Shared& shared) {
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::LocalHost, 0)) {
        shared.ok = false;
        shared.failure = socket.errorString();
        shared.senderDone = true;
        return;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kFloodLimitMs);
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
    const auto fail = [&](const QString& why) {
        shared.ok = false;
        shared.failure = why;
        shared.senderDone = true;
    };

    for (std::size_t i = 0; i < flood.datagrams.size(); ++i) {
        const Datagram& d = flood.datagrams[i];
        while (shared.sent - consumed + d.size > kInFlightBytes) {
            if (shared.stop || Clock::now() > deadline)
                return fail(QStringLiteral("flood timed out at %1 bytes").arg(consumed));
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            refresh();
        }
        const auto now = Clock::now();
        if (i == 0)
            shared.firstSend = now;
        if (d.probe >= 0)
            shared.probeSent[std::size_t(d.probe)] = now;
        if (!put(flood.wire.constData() + d.offset, d.size))
            return fail(QStringLiteral("send refused"));
    }
    while (consumed < shared.sent) {
        if (shared.stop || Clock::now() > deadline)
            return fail(QStringLiteral("drain timed out"));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        refresh();
    }

    // One probe at a time into an idle window: the latency without a queue in front.
    for (int p = kLoadProbes; p < kLoadProbes + kIdleProbes; ++p) {
        const QByteArray text = probeText(p);
        const int seen = shared.probesSeen;
        shared.probeSent[std::size_t(p)] = Clock::now();
        if (!put(text.constData(), int(text.size())))
            return fail(QStringLiteral("probe refused"));
        const auto probeDeadline = Clock::now() + std::chrono::milliseconds(kProbeLimitMs);
        while (shared.probesSeen == seen) {
            if (shared.stop || Clock::now() > probeDeadline) {
                refresh();
                return fail(QStringLiteral("probe %1 not shown; seen %2, consumed %3 of %4")
                                .arg(p)
                                .arg(shared.probesSeen.load())
                                .arg(consumed)
                                .arg(shared.sent));
            }
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    shared.senderDone = true;
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
        textBytes = qBound(2, QByteArray(argv[1]).toInt(), 20) * kMiB;

    const Flood flood = makeFlood();
    test::WindowFixture f;
    QUdpSocket controller; // the window's remote end; it sends nothing here
    if (!controller.bind(QHostAddress::LocalHost, 0) || !f.connectTo(controller.localPort())) {
        bench::note(QStringLiteral("cannot connect the window"));
        return 1;
    }
    const quint16 windowPort = f.window().winsock().localPort();
    const std::filesystem::path logPath = f.path(QStringLiteral("Terminal.log")).toStdString();
    const QByteArray logBefore = f.log();
    const QByteArray paneBefore = f.pane();
    QTextDocument* doc = f.c().tbReceiveData->document();
    const int charsBefore = doc->characterCount();

    // Where each datagram ends, in bytes sent and in characters of the document, so that
    // a change of the document (one datagram, or a burst of them) maps back to bytes. The
    // window puts a burst in at most every 10 ms or 256 KiB: that is the resolution.
    std::vector<qint64> byteEnds, charEnds;
    {
        bool endsWithCr = false;
        qint64 bytes = 0, chars = 0;
        for (const Datagram& d : flood.datagrams) {
            bytes += d.size;
            chars += paneChars(QByteArrayView(flood.wire).sliced(d.offset, d.size), endsWithCr);
            byteEnds.push_back(bytes);
            charEnds.push_back(chars);
        }
    }
    const qint64 floodChars = charEnds.back();

    Shared shared;
    struct Change {
        Clock::time_point at;
        qint64 chars; // added so far
    };
    std::vector<Change> changes;
    changes.reserve(flood.datagrams.size() + kIdleProbes + 16);
    qint64 charsAdded = 0;
    PaintCounter paints;
    f.c().tbReceiveData->viewport()->installEventFilter(&paints);
    int floodPaints = -1;
    std::size_t floodChanges = 0;
    double cpuStartMs = 0, floodCpuMs = 0;
    QObject::connect(doc, &QTextDocument::contentsChange, doc,
                     [&](int pos, int removed, int added) {
                         const auto now = Clock::now();
                         charsAdded += added - removed;
                         changes.push_back({now, charsAdded});
                         if (floodPaints < 0 && charsAdded >= floodChars) {
                             floodPaints = paints.paints;
                             floodChanges = changes.size();
                             floodCpuMs = bench::threadCpuMs() - cpuStartMs;
                         }
                         // A probe is a datagram of its own, so it is never split between changes.
                         QTextCursor range(doc);
                         range.setPosition(pos);
                         range.setPosition(pos + added, QTextCursor::KeepAnchor);
                         const QString text = range.selectedText();
                         for (qsizetype at = text.indexOf(QLatin1Char(kProbeMark));
                              at >= 0 && at + 7 < text.size();
                              at = text.indexOf(QLatin1Char(kProbeMark), at + 8)) {
                             const int id = text.mid(at + 1, 6).toInt();
                             if (id >= 0 && id < kLoadProbes + kIdleProbes) {
                                 shared.probeShown[std::size_t(id)] = now;
                                 ++shared.probesSeen;
                             }
                         }
                     });

    const double memBefore = bench::peakMemoryMiB();
    cpuStartMs = bench::threadCpuMs();
    std::thread sender(send, std::cref(flood), windowPort, logPath, qint64(logBefore.size()),
                       std::ref(shared));
    const bool finished = bench::waitUntil([&] { return shared.senderDone.load(); },
                                           kFloodLimitMs + kIdleProbes * 50);
    shared.stop = true;
    sender.join();
    const double memPeak = bench::peakMemoryMiB();

    if (!finished || !shared.ok) {
        bench::note(QStringLiteral("FAILED: %1").arg(finished ? shared.failure : "timed out"));
        return 1;
    }

    // Everything sent must be in the log and in the pane, byte for byte.
    QByteArray idleProbes;
    for (int p = kLoadProbes; p < kLoadProbes + kIdleProbes; ++p)
        idleProbes += probeText(p);
    const QByteArray log = f.log();
    const QByteArray pane = f.pane();
    const bool logOk = log == logBefore + flood.wire + idleProbes;
    const bool paneOk = pane == paneBefore + flood.wire + idleProbes;
    if (!paneOk) {
        const QByteArray expected = paneBefore + flood.wire + idleProbes;
        qsizetype at = 0;
        while (at < pane.size() && at < expected.size() && pane[at] == expected[at])
            ++at;
        bench::note(
            QStringLiteral("pane differs at %1 of %2 (expected %3): shown \"%4\", sent \"%5\"")
                .arg(at)
                .arg(pane.size())
                .arg(expected.size())
                .arg(QString::fromLatin1(pane.mid(at - 8, 24).toPercentEncoding()),
                     QString::fromLatin1(expected.mid(at - 8, 24).toPercentEncoding())));
    }
    const bool charsOk = charsAdded == doc->characterCount() - charsBefore;
    const qint64 total = flood.wire.size();
    // When the byte at offset `bytes` (1-based) was in the document.
    const auto timeAt = [&](qint64 bytes) {
        const auto d = std::lower_bound(byteEnds.begin(), byteEnds.end(), bytes);
        const qint64 chars = charEnds[std::size_t(d - byteEnds.begin())];
        const auto c = std::lower_bound(changes.begin(), changes.end(), chars,
                                        [](const Change& x, qint64 v) { return x.chars < v; });
        return c->at;
    };
    const auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    const double floodMs = ms(shared.firstSend, timeAt(total));
    const double firstMiBMs = ms(shared.firstSend, timeAt(kMiB));
    const double lastMiBMs = ms(timeAt(total - kMiB), timeAt(total));
    const double rate = double(total) / kMiB / (floodMs / 1000.0);

    std::vector<double> loaded, idle;
    for (int p = 0; p < kLoadProbes + kIdleProbes; ++p)
        (p < kLoadProbes ? loaded : idle)
            .push_back(ms(shared.probeSent[std::size_t(p)], shared.probeShown[std::size_t(p)]));

    bench::note(QStringLiteral("udp_ingest: %1 bytes in %2 datagrams (%3 probes), at most %4 KiB "
                               "in flight")
                    .arg(total)
                    .arg(flood.datagrams.size())
                    .arg(kLoadProbes)
                    .arg(kInFlightBytes / 1024));
    bench::figure(QStringLiteral("throughput overall"), rate, QStringLiteral("MiB/s"));
    bench::figure(QStringLiteral("window thread CPU during the flood"), floodCpuMs,
                  QStringLiteral("ms"), 0);
    bench::figure(QStringLiteral("flood wall time"), floodMs, QStringLiteral("ms"), 0);
    if (floodCpuMs > 0)
        bench::figure(QStringLiteral("throughput per CPU second of the window"),
                      double(total) / kMiB / (floodCpuMs / 1000.0), QStringLiteral("MiB/s"));
    bench::figure(QStringLiteral("time for the first MiB"), firstMiBMs, QStringLiteral("ms"));
    bench::figure(QStringLiteral("time for the last MiB"), lastMiBMs, QStringLiteral("ms"));
    bench::figure(QStringLiteral("last/first MiB ratio"), lastMiBMs / firstMiBMs, QString(), 3);
    for (qint64 mib = 4; mib < total / kMiB; mib += 4)
        bench::figure(QStringLiteral("time for MiB %1").arg(mib + 1),
                      ms(timeAt(mib * kMiB), timeAt((mib + 1) * kMiB)), QStringLiteral("ms"));
    bench::figure(QStringLiteral("latency under load, median"), bench::percentile(loaded, 50),
                  QStringLiteral("ms"), 3);
    bench::figure(QStringLiteral("latency under load, p95"), bench::percentile(loaded, 95),
                  QStringLiteral("ms"), 3);
    bench::figure(QStringLiteral("latency idle, median"), bench::percentile(idle, 50),
                  QStringLiteral("ms"), 3);
    bench::figure(QStringLiteral("latency idle, p95"), bench::percentile(idle, 95),
                  QStringLiteral("ms"), 3);
    bench::figure(QStringLiteral("peak memory before the flood"), memBefore, QStringLiteral("MiB"),
                  1);
    bench::figure(QStringLiteral("peak memory (VmHWM)"), memPeak, QStringLiteral("MiB"), 1);
    bench::figure(QStringLiteral("peak memory after this program's own checks"),
                  bench::peakMemoryMiB(), QStringLiteral("MiB"), 1);
    bench::figure(QStringLiteral("pane repaints during the flood"), floodPaints, QString(), 0);
    bench::figure(QStringLiteral("document changes during the flood"), double(floodChanges),
                  QString(), 0);
    bench::figure(QStringLiteral("send retries"), shared.sendRetries, QString(), 0);
    bench::note(QStringLiteral("log holds every byte sent: %1; pane holds every byte sent: %2; "
                               "document grew by what was inserted: %3")
                    .arg(logOk ? "yes" : "NO", paneOk ? "yes" : "NO", charsOk ? "yes" : "NO"));

    bool met = true;
    met &= bench::target(QStringLiteral("throughput >= 20 MiB/s"), rate >= 20,
                         QString::number(rate, 'f', 1));
    met &= bench::target(QStringLiteral("last/first MiB <= 1.5"), lastMiBMs / firstMiBMs <= 1.5,
                         QString::number(lastMiBMs / firstMiBMs, 'f', 2));
    met &= bench::target(QStringLiteral("peak memory < 200 MiB"), memPeak < 200,
                         QString::number(memPeak, 'f', 0));
    met &=
        bench::target(QStringLiteral("nothing lost"), logOk && paneOk, QStringLiteral("log, pane"));
    bench::note(met ? QStringLiteral("all targets met") : QStringLiteral("some target missed"));
    // A missed target is a figure to read; only a broken run fails.
    return logOk && paneOk ? 0 : 1;
}
