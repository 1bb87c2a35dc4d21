// vantor against the simulated board: a 2048-line download and a 1 MiB put and get over
// loopback UDP beside the yardstick, a bare stop-and-wait client that runs as a process of
// its own as vantor does (bench_yardstick), in the same run, best of three each; a batch
// of 32 boards that answer 5 ms after every line against one board alone; and a download
// over a pseudo-terminal at 115200, where the window waits for its 20 ms poll and vantor
// does not. vantor's own time is the "seconds" of its JSON (from its start to the
// result); the wall time of the whole process, start-up included, is shown beside it. A
// transfer that fails, of vantor or of the yardstick, fails the benchmark.

#include "bench_support.h"
#include "program_client.h"

#include "sim/controller.h"
#include "sim/pty_front.h"
#include "sim/udp_front.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <random>

using namespace vantor;
using bench::Clock;

namespace {

struct Run {
    bool done = false;
    double seconds = 0; // vantor's own, per board as its JSON says (the longest)
    double wallMs = 0;
};

Run runVantor(const QStringList& arguments) {
    QProcess p;
    const auto start = Clock::now();
    p.start(QStringLiteral(VANTOR), arguments + QStringList{"--json"});
    bench::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 120000);
    Run run{p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, 0, bench::msSince(start)};
    for (const QByteArray& line : p.readAllStandardOutput().trimmed().split('\n'))
        run.seconds = std::max(run.seconds,
                               QJsonDocument::fromJson(line).object().value("seconds").toDouble());
    if (!run.done)
        bench::note(QString::fromLocal8Bit(p.readAllStandardError()));
    return run;
}

// The yardstick's milliseconds for one transfer; negative when it failed.
double runYardstick(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral(YARDSTICK), arguments);
    bench::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 120000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        bench::note("the yardstick failed: " + QString::fromLocal8Bit(p.readAllStandardError()));
        return -1;
    }
    return p.readAllStandardOutput().trimmed().toDouble();
}

// Best of three, the yardstick and vantor taking turns.
struct Pair {
    double clientMs = -1;
    Run vantor;
};
Pair bestOfThree(const QStringList& yardstick, const QStringList& vantor) {
    Pair best;
    for (int i = 0; i < 3; ++i) {
        const double client = runYardstick(yardstick);
        const Run run = runVantor(vantor);
        if (client < 0 || !run.done)
            return {};
        if (best.clientMs < 0 || client < best.clientMs)
            best.clientMs = client;
        if (!best.vantor.done || run.seconds < best.vantor.seconds)
            best.vantor = run;
    }
    return best;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray program(int count) {
    return bench::programLines(count).join("\r\n") + "\r\n";
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void ratio(const char* name, double clientMs, const Run& run) {
    const double ms = run.seconds * 1000;
    bench::figure(QStringLiteral("%1 yardstick").arg(name), clientMs, "ms");
    bench::figure(QStringLiteral("%1 vantor").arg(name), ms, "ms");
    bench::figure(QStringLiteral("%1 vantor wall, start-up included").arg(name), run.wallMs, "ms");
    bench::target(QStringLiteral("%1: vantor at 90 % of the yardstick's rate or more").arg(name),
                  run.done && clientMs > 0 && ms > 0 && clientMs / ms >= 0.9,
                  QString::number(ms > 0 ? clientMs / ms : 0, 'f', 3));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString bas = dir.filePath(QStringLiteral("p.bas"));
    bool ok = true;

    // One board over UDP: the client and vantor on the same simulator, which runs as a
    // process of its own, so that each of them talks to it across processes.
    {
        QProcess board;
        board.start(QStringLiteral(VANTOR_SIM),
                    {"--udp", "--flash-dir", dir.filePath(QStringLiteral("flash"))});
        QByteArray ready;
        bench::waitUntil([&] { return (ready += board.readAllStandardOutput()).contains('\n'); },
                         10000);
        const QList<QByteArray> words = ready.trimmed().split(' '); // READY udp ADDRESS PORT
        const auto port = quint16(words.value(3).toUInt());
        const QString host = QStringLiteral("127.0.0.1:%1").arg(port);
        const QString portText = QString::number(port);
        ok &= port != 0 && write(bas, program(2048));
        Pair download = bestOfThree({"download", portText, bas}, {"--host", host, "download", bas});
        ratio("download 2048 lines", download.clientMs, download.vantor);

        std::mt19937 random(7);
        QByteArray data(1024 * 1024, Qt::Uninitialized);
        for (char& b : data)
            b = char(random());
        const QString local = dir.filePath("d.bin");
        ok &= write(local, data);
        const Pair put =
            bestOfThree({"put", portText, local, "C.BIN"}, {"--host", host, "put", local, "V.BIN"});
        ratio("put 1 MiB", put.clientMs, put.vantor);
        const bool putRight = readAll(dir.filePath("flash/C.BIN")) == data &&
                              readAll(dir.filePath("flash/V.BIN")) == data;
        const Pair get = bestOfThree({"get", portText, "C.BIN", dir.filePath("c.bin")},
                                     {"--host", host, "get", "V.BIN", dir.filePath("v.bin")});
        ratio("get 1 MiB", get.clientMs, get.vantor);
        const bool getRight =
            readAll(dir.filePath("c.bin")) == data && readAll(dir.filePath("v.bin")) == data;
        bench::target("every transfer complete and byte for byte", putRight && getRight,
                      putRight ? "get" : "put");
        ok &= download.clientMs > 0 && put.clientMs > 0 && get.clientMs > 0 && putRight && getRight;
        board.terminate();
        board.waitForFinished();
    }

    // 32 boards answering 5 ms after each line, against one alone.
    {
        ok &= write(bas, program(200));
        sim::FrontOptions slow;
        slow.replyDelayMs = 5;
        std::vector<std::unique_ptr<sim::Controller>> controllers;
        std::vector<std::unique_ptr<sim::UdpFront>> fronts;
        QStringList all;
        for (int i = 0; i < 32; ++i) {
            controllers.push_back(std::make_unique<sim::Controller>());
            fronts.push_back(std::make_unique<sim::UdpFront>(*controllers.back(),
                                                             QHostAddress::LocalHost, 0, slow));
            all << "--host" << QStringLiteral("127.0.0.1:%1").arg(fronts.back()->port());
        }
        const Run one = runVantor(all.mid(0, 2) + QStringList{"download", bas});
        const Run batch = runVantor(all + QStringList{"--jobs", "32", "download", bas});
        bench::figure("one board, 200 lines at 5 ms", one.wallMs, "ms");
        bench::figure("32 boards, 200 lines at 5 ms", batch.wallMs, "ms");
        bench::target("32 boards within 1.3 x one board",
                      one.done && batch.done && batch.wallMs <= 1.3 * one.wallMs,
                      QString::number(batch.wallMs / one.wallMs, 'f', 3));
    }

    // A pseudo-terminal at 115200.
    {
        sim::Controller controller;
        sim::PtyFront front(controller);
        const Run run =
            runVantor({"--serial", front.slavePath(), "--baud", "115200", "download", bas});
        ok &= run.done;
        bench::figure("pty download, per line", run.seconds * 1000 / 200, "ms");
        bench::note(
            "the window waits for its 20 ms poll for every line; vantor reads as bytes come");
    }
    return ok ? 0 : 1;
}
