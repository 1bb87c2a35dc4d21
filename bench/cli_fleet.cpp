// bench_cli_fleet: vantor on a fleet of simulated boards that answer 5 ms after every line
// (vantor-sim --boards, one process, 4096 boards on consecutive loopback addresses): a
// 200-line download on one board alone, the yardstick of the same run; on 1024 boards at
// once; on 4096 boards 1024 at a time; and vantor scan of 1024 boards. Then buses: the
// same download to one device of an RTU bus on a pseudo-terminal (the buses' yardstick),
// to its 32 devices one after another, and to four such buses at once; and a scan of 1024
// silent addresses with the scan's defaults. `--long` adds a scan of 65,536 silent
// addresses at the default rate. Each figure is the wall time of the whole vantor process,
// start-up included, and vantor's peak resident memory, read from /proc while it runs. A
// run that does not end as it should fails the benchmark, the yardsticks' first.

#include "bench_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

using namespace vantor;
using bench::Clock;

namespace {

constexpr int kBoards = 4096;
constexpr int kLines = 200;

struct Run {
    bool done = false;
    double wallMs = 0;
    double peakMiB = 0;
    QByteArray out;
};

double peakMiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

Run runVantor(const QStringList& arguments, int status = 0) {
    QProcess p;
    const auto start = Clock::now();
    p.start(QStringLiteral(VANTOR), arguments);
    Run run;
    bench::waitUntil(
        [&] {
            if (p.state() == QProcess::Running)
                run.peakMiB = std::max(run.peakMiB, peakMiB(p.processId()));
            return p.state() == QProcess::NotRunning;
        },
        300000);
    run.wallMs = bench::msSince(start);
    run.done = p.exitStatus() == QProcess::NormalExit && p.exitCode() == status;
    run.out = p.readAllStandardOutput();
    if (!run.done)
        bench::note(QString::fromLocal8Bit(p.readAllStandardError().right(2000)));
    return run;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The boards 127.0.1.0 onwards, `count` of them, as ranges of 256 in a hosts file.
QByteArray hosts(int count, quint16 port) {
    QByteArray text = "# the fleet\n";
    for (int first = 0; first < count; first += 256)
        text += QStringLiteral("127.0.%1.0-%2:%3\n")
                    .arg(1 + first / 256)
                    .arg(std::min(count - first, 256) - 1)
                    .arg(port)
                    .toLatin1();
    return text;
}

// A simulator started with `arguments`, and its READY lines' words.
struct Sim {
    explicit Sim(const QStringList& arguments) {
        process.start(QStringLiteral(VANTOR_SIM), arguments);
        while (bench::waitUntil([&] { return process.canReadLine(); }, 60000)) {
            const QList<QByteArray> words = process.readLine().trimmed().split(' ');
            if (words.value(1) == "udp")
                port = words.value(3).toUShort();
            else
                pty = QString::fromLocal8Bit(words.value(2));
            if (!arguments.contains("--serial") || !pty.isEmpty())
                break;
        }
        if (port == 0 && pty.isEmpty())
            bench::note("a simulator did not start: " + process.readAllStandardError());
    }
    ~Sim() {
        process.terminate();
        process.waitForFinished();
    }
    QProcess process;
    quint16 port = 0;
    QString pty;
};

// 32 devices on an RTU line each: one device alone (the yardstick), the 32 one after
// another, and four lines at once.
bool buses(const QString& bas) {
    std::vector<std::unique_ptr<Sim>> lines;
    for (int i = 0; i < 4; ++i)
        lines.push_back(std::make_unique<Sim>(
            QStringList{"--serial", "--bus", "1-32", "--delay", "5", "--gap", "0", "--flash-dir",
                        QDir::temp().filePath(QStringLiteral("vantor-bench-bus%1").arg(i))}));
    QStringList four;
    for (const auto& line : lines)
        four << "--serial" << line->pty;
    const Run one = runVantor({"--serial", lines[0]->pty, "--rtu", "1", "download", bas});
    bench::figure("one RTU device, 200 lines at 5 ms (bus yardstick)", one.wallMs, "ms");
    if (!one.done) {
        bench::note("the bus yardstick failed");
        return false;
    }
    const Run bus = runVantor({"--serial", lines[0]->pty, "--rtu", "1-32", "download", bas});
    bench::figure("32 devices on one RTU bus", bus.wallMs, "ms");
    const Run buses = runVantor(four + QStringList{"--rtu", "1-32", "download", bas});
    bench::figure("4 RTU buses of 32 devices at once", buses.wallMs, "ms");
    bool met = bench::target("32 devices within 1.1 x 32 x one device",
                             bus.done && bus.wallMs <= 1.1 * 32 * one.wallMs,
                             QString::number(bus.wallMs / (32 * one.wallMs), 'f', 3));
    met &= bench::target("4 buses within 1.3 x one bus",
                         buses.done && bus.done && buses.wallMs <= 1.3 * bus.wallMs,
                         QString::number(buses.wallMs / bus.wallMs, 'f', 2));
    return met;
}

// Scans of silent addresses (boards that never answer) with the scan's defaults.
bool silentScans(const QTemporaryDir& dir, bool long_) {
    const int count = long_ ? 65536 : 1024;
    Sim silent({"--boards", QString::number(std::min(count, 4096)), "--address", "127.0.40.0",
                "--silent", QStringLiteral("1-%1").arg(std::min(count, 4096)), "--flash-dir",
                dir.filePath("silent")});
    QStringList targets;
    for (int block = 0; block < 4; ++block)
        targets << QStringLiteral("127.0.%1.0-255:%2").arg(40 + block).arg(silent.port);
    const Run scan = runVantor(QStringList{"scan"} + targets, 3);
    bench::figure("scan of 1024 silent addresses, defaults", scan.wallMs, "ms");
    bool met = bench::target("scan of 1024 silent addresses under 4 s",
                             scan.done && scan.wallMs < 4000, QString());
    if (long_) {
        // 127.1.0.0/16 less its network and broadcast addresses, and two more.
        const Run all = runVantor({"scan", "127.1.0.0/16:5999", "127.0.40.1-2:5999"}, 3);
        bench::figure("scan of 65536 silent addresses at 1000/s", all.wallMs, "ms");
        bench::figure("scan of 65536 silent addresses, peak memory", all.peakMiB, "MiB");
        met &= bench::target("65536 silent addresses under 75 s in under 64 MiB",
                             all.done && all.wallMs < 75000 && all.peakMiB < 64, QString());
    }
    return met;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QProcess sim;
    sim.start(QStringLiteral(VANTOR_SIM),
              {"--boards", QString::number(kBoards), "--address", "127.0.1.0", "--delay", "5",
               "--flash-dir", dir.filePath("flash")});
    if (!bench::waitUntil([&] { return sim.canReadLine(); }, 60000)) {
        bench::note("the simulator did not start: " + sim.readAllStandardError());
        return 1;
    }
    const QList<QByteArray> ready = sim.readLine().split(' '); // READY udp ADDRESS PORT ...
    const quint16 port = ready.value(3).toUShort();
    const QString bas = dir.filePath("p.bas");
    QByteArray program;
    for (int i = 1; i <= kLines; ++i)
        program += QByteArray::number(i * 10) + " REM line " + QByteArray::number(i) + "\r\n";
    bool ok = write(bas, program);
    for (const int count : {1, 1024, kBoards})
        ok &= write(dir.filePath(QStringLiteral("fleet%1.txt").arg(count)), hosts(count, port));
    const auto fleet = [&](int count) {
        return dir.filePath(QStringLiteral("fleet%1.txt").arg(count));
    };

    const Run one = runVantor({"--hosts", fleet(1), "download", bas});
    bench::figure("one board, 200 lines at 5 ms (yardstick)", one.wallMs, "ms");
    if (!ok || !one.done) {
        bench::note("the yardstick failed");
        return 1;
    }
    const Run many = runVantor({"--hosts", fleet(1024), "--jobs", "1024", "download", bas});
    bench::figure("1024 boards at once", many.wallMs, "ms");
    bench::figure("1024 boards at once, peak memory", many.peakMiB, "MiB");
    const Run scan = runVantor({"scan", "--hosts", fleet(1024), "--jobs", "1024"});
    const int found = int(scan.out.count('\n')) - 1;
    bench::figure("scan of 1024 boards", scan.wallMs, "ms");
    const Run waves = runVantor({"--hosts", fleet(kBoards), "--jobs", "1024", "download", bas});
    bench::figure("4096 boards, 1024 at a time", waves.wallMs, "ms");
    bench::figure("4096 boards, peak memory", waves.peakMiB, "MiB");

    bool met = true;
    met &= bench::target("1024 boards within 1.3 x one board",
                         many.done && many.wallMs <= 1.3 * one.wallMs,
                         QString::number(many.wallMs / one.wallMs, 'f', 2));
    met &= bench::target("1024 boards in at most 150 MiB", many.done && many.peakMiB <= 150,
                         QString::number(many.peakMiB, 'f', 1) + " MiB");
    met &= bench::target("scan of 1024 boards under 2 s, all found",
                         scan.done && scan.wallMs < 2000 && found == 1024,
                         QStringLiteral("%1 found").arg(found));
    met &= bench::target("4096 boards within 4.5 x one board",
                         waves.done && waves.wallMs <= 4.5 * one.wallMs,
                         QString::number(waves.wallMs / one.wallMs, 'f', 2));
    sim.terminate();
    sim.waitForFinished();
    met &= buses(bas);
    met &= silentScans(dir, QCoreApplication::arguments().contains(QStringLiteral("--long")));
    return met ? 0 : 1;
}
