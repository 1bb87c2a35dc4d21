// vantor on a fleet of simulated boards in this process, on consecutive loopback addresses
// and one port: targets as ranges, duplicates and exclusions, scan, --failed-to and a
// rerun of it, --max-failures and --canary stopping where they should.

#include "sim/bus.h"
#include "sim/controller.h"
#include "sim/pty_front.h"
#include "sim/udp_front.h"
#include "vantor_run.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <sstream>
#include <sys/resource.h>
#include <vector>

using namespace vantor;
using namespace vantor::test;

namespace {

// Five boards on 127.0.9.1-5: the third refuses every line, the fourth never answers.
struct Fleet {
    explicit Fleet(const QTemporaryDir& dir) {
        quint16 port = 0;
        for (int n = 1; n <= 5; ++n) {
            sim::ControllerOptions c;
            c.flashDir = dir.filePath(QStringLiteral("flash%1").arg(n)).toStdString();
            c.refuseAll = n == 3;
            c.journal = journals.emplace_back(std::make_shared<std::ostringstream>());
            sim::FrontOptions f;
            f.dropRate = n == 4 ? 1 : 0;
            boards.push_back(std::make_unique<sim::Controller>(c));
            fronts.push_back(std::make_unique<sim::UdpFront>(
                *boards.back(), QHostAddress(QStringLiteral("127.0.9.%1").arg(n)), port, f));
            port = fronts.back()->port();
        }
    }
    QString target(const char* hosts) const {
        return QStringLiteral("127.0.9.%1:%2").arg(QLatin1String(hosts)).arg(fronts[0]->port());
    }
    // The boards (from 1) that hold a program: those a download reached (the silent one
    // takes lines, it only never answers).
    QList<int> reached() const {
        QList<int> out;
        for (std::size_t i = 0; i < boards.size(); ++i)
            if (!boards[i]->program().empty())
                out << int(i + 1);
        return out;
    }
    // What each board took since the last look, a line each.
    QStringList took(std::size_t board) {
        const QString lines = QString::fromStdString(journals[board]->str());
        journals[board]->str({});
        return lines.split('\n', Qt::SkipEmptyParts);
    }
    std::vector<std::shared_ptr<std::ostringstream>> journals;
    std::vector<std::unique_ptr<sim::Controller>> boards;
    std::vector<std::unique_ptr<sim::UdpFront>> fronts;
};

// host -> result, from one JSON object per line.
QMap<QString, QString> results(const QByteArray& out) {
    QMap<QString, QString> map;
    for (const QByteArray& line : out.trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        map[o.value("host").toString()] = o.value("result").toString();
    }
    return map;
}

const QStringList kQuick{"--timeout", "0.3", "--retries", "0", "--idle", "50", "--json"};

// Devices behind a gateway or on an RTU line: 1 and 4 healthy, 2 refusing, 3 silent.
std::vector<sim::BusDevice> fourDevices() {
    return {{1}, {2, false, true}, {3, true}, {4}};
}

QJsonObject byHost(const QByteArray& out, const QString& host) {
    for (const QByteArray& line : out.trimmed().split('\n'))
        if (const QJsonObject o = QJsonDocument::fromJson(line).object(); o["host"] == host)
            return o;
    return {};
}

} // namespace

class TestFleet : public QObject {
    Q_OBJECT
private slots:
    // A range with a duplicate and an exclusion; the failed boards written for a rerun,
    // which runs exactly those.
    void rangeAndRerun() {
        QTemporaryDir dir;
        Fleet fleet(dir);
        const QString failed = dir.filePath(QStringLiteral("failed.txt"));
        Run r = runVantor(kQuick + QStringList{"--host", fleet.target("1-5"), "--host",
                                               fleet.target("2"), "--exclude", "127.0.9.5",
                                               "--failed-to", failed, "ver"});
        QCOMPARE(r.status, 3); // the silent board: no answer
        QVERIFY2(r.err.contains("1 duplicate targets dropped"), r.err);
        QCOMPARE(results(r.out), (QMap<QString, QString>{{fleet.target("1"), "done"},
                                                         {fleet.target("2"), "done"},
                                                         {fleet.target("3"), "refused"},
                                                         {fleet.target("4"), "no answer"}}));
        QCOMPARE(readFile(failed), (fleet.target("3") + '\n' + fleet.target("4") + '\n').toUtf8());
        r = runVantor(kQuick + QStringList{"--hosts", failed, "ver"});
        QCOMPARE(results(r.out).keys(), QStringList({fleet.target("3"), fleet.target("4")}));
    }

    // diff tells the boards that hold the file from those that do not; download and put
    // --if-changed write only the latter. A board that cannot be read is a failure.
    void onlyWhatDiffers() {
        QTemporaryDir dir;
        Fleet fleet(dir); // 3 refuses, 4 is silent
        const QString p = dir.filePath("p.bas"), data = dir.filePath("d.bin");
        writeFile(p, "10 PRINT 1\r\n20 END\r\n");
        for (const std::size_t board : {0, 4})
            for (const char* line : {"10 print  1", "20 END"})
                fleet.boards[board]->storeLine(line);
        fleet.boards[1]->storeLine("10 PRINT 2");
        fleet.boards[4]->storeLine("30 STOP");
        Run r = runVantor(kQuick + QStringList{"--host", fleet.target("1-5"), "diff", p});
        QCOMPARE(r.status, 3);
        QCOMPARE(results(r.out), (QMap<QString, QString>{{fleet.target("1"), "done"},
                                                         {fleet.target("2"), "mismatch"},
                                                         {fleet.target("3"), "refused"},
                                                         {fleet.target("4"), "no answer"},
                                                         {fleet.target("5"), "mismatch"}}));
        QCOMPARE(byHost(r.out, fleet.target("1"))["same"], true);
        QVERIFY(!byHost(r.out, fleet.target("3")).contains("same"));
        const QJsonObject extra = byHost(r.out, fleet.target("5"));
        QCOMPARE(extra["same"], false);
        QCOMPARE(extra["first_difference"].toObject(),
                 (QJsonObject{{"line", 3}, {"listed", "30 STOP"}, {"file", QJsonValue()}}));
        r = runVantor({"--host", fleet.target("1-2"), "diff", p});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains((fleet.target("1") + ": same\n").toUtf8()), r.out);
        QVERIFY2(r.out.contains(("--- " + fleet.target("2") + "\n+++ " + p +
                                 "\n@@ -1,1 +1,2 @@\n-10 PRINT 2\n+10 PRINT 1\n+20 END\n")
                                    .toUtf8()),
                 r.out);

        for (std::size_t board = 0; board < 5; ++board)
            fleet.took(board);
        r = runVantor(kQuick + QStringList{"--host", fleet.target("1-2"), "--host",
                                           fleet.target("5"), "download", "--if-changed", p});
        QCOMPARE(r.status, 0);
        QCOMPARE(byHost(r.out, fleet.target("1"))["changed"], false);
        QVERIFY(fleet.took(0).filter(QRegularExpression("^\\S+ (?!LIST$)")).isEmpty());
        for (const std::size_t board : {1, 4}) {
            QCOMPARE(byHost(r.out, fleet.target(board == 1 ? "2" : "5"))["changed"], true);
            QCOMPARE(fleet.boards[board]->program(),
                     (std::map<int, std::string>{{10, "10 PRINT 1"}, {20, "20 END"}}));
        }

        // The flash file the same on 1, another on 2, none on 5.
        writeFile(data, QByteArray("\0\x01\xFF data", 8));
        fleet.boards[0]->putFlashFile("D.BIN", readFile(data).toStdString());
        fleet.boards[1]->putFlashFile("D.BIN", "other");
        fleet.took(0);
        r = runVantor(kQuick + QStringList{"--host", fleet.target("1-2"), "--host",
                                           fleet.target("5"), "put", "--if-changed", data,
                                           "D.BIN"});
        QCOMPARE(r.status, 0);
        QCOMPARE(byHost(r.out, fleet.target("1"))["changed"], false);
        QVERIFY(fleet.took(0).filter("OPENWR").isEmpty());
        for (const std::size_t board : {0, 1, 4})
            QCOMPARE(fleet.boards[board]->flashFile("D.BIN"), readFile(data).toStdString());
    }

    // scan lists what answers, ERROR included, and --all the silent ones; its output is a
    // hosts file as it stands.
    void scan() {
        QTemporaryDir dir;
        Fleet fleet(dir);
        Run r =
            runVantor({"scan", fleet.target("1-5"), "--timeout", "0.3", "--retries", "0", "--all"});
        QCOMPARE(r.status, 0);
        const QList<QByteArray> rows = r.out.trimmed().split('\n');
        QCOMPARE(rows.size(), 6);
        QVERIFY(rows[0].startsWith('#'));
        QVERIFY(rows[1].startsWith(fleet.target("1").toLatin1()) &&
                rows[1].endsWith("VANTOR-SIM BASIC V1.0"));
        QVERIFY(rows[3].endsWith("ERROR"));
        QVERIFY(rows[4].endsWith("(no answer)"));
        const QString hosts = dir.filePath(QStringLiteral("found.txt"));
        writeFile(hosts, runVantor({"scan", fleet.target("1-5"), "--timeout", "0.3"}).out);
        r = runVantor(kQuick + QStringList{"--hosts", hosts, "ver"});
        QCOMPARE(results(r.out).size(), 4);
        r = runVantor(
            {"scan", fleet.target("1-5"), "--timeout", "0.3", "--retries", "0", "--json"});
        QCOMPARE(results(r.out).keys(), QStringList({fleet.target("1"), fleet.target("2"),
                                                     fleet.target("3"), fleet.target("5")}));
        QCOMPARE(
            runVantor({"scan", fleet.target("4"), "--timeout", "0.2", "--retries", "0"}).status, 3);
    }

    // Boards that fail as they start (each one's log is a folder) end the run once, with
    // one table, and starting the next never nests in the last one's end.
    void failingAtOnce() {
        QTemporaryDir dir;
        const QString range = QStringLiteral("127.0.8.0/24:5999");
        for (int n = 1; n <= 254; ++n)
            QDir(dir.path()).mkdir(QStringLiteral("b-127.0.8.%1_5999.log").arg(n));
        const Run r = runVantor({"--host", range, "--log", dir.filePath("b.log"), "--json", "ver"});
        QCOMPARE(r.status, 2);
        QCOMPARE(results(r.out).values().count("file"), 254);
        QCOMPARE(r.err.count("result "), 1);
    }

    // A scan of 65,536 targets makes each board as it starts: its memory stays small. The
    // targets in flight are bounded by --jobs: on a loaded machine a scan this fast falls
    // behind its rate and catches up in bursts, up to the bound (4096 unless given).
    void scanMemory() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's own memory would be measured");
#endif
        const Run r = runVantor({"scan", "127.1.0.0/16:5999", "--timeout", "0.01", "--retries", "0",
                                 "--rate", "20000", "--jobs", "1024"});
        QCOMPARE(r.status, 3);
        rusage usage{};
        QCOMPARE(::getrusage(RUSAGE_CHILDREN, &usage), 0);
        QVERIFY2(usage.ru_maxrss < 64 * 1024, qPrintable(QString::number(usage.ru_maxrss)));
    }

    // No board starts after the stop; those not started are skipped, in the JSON and the
    // table, and the exit status is at least 1.
    void stops_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QList<int>>("reached");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("status");
        QTest::newRow("max-failures 1, one at a time")
            << QStringList{"--max-failures", "1", "--jobs", "1"} << QList<int>{1, 2} << 2 << 1;
        QTest::newRow("max-failures 50% of 5 is 3: never reached")
            << QStringList{"--max-failures", "50%", "--jobs", "1"} << QList<int>{1, 2, 4, 5} << 0
            << 3;
        QTest::newRow("a canary refuses")
            << QStringList{"--canary", "3"} << QList<int>{1, 2} << 2 << 1;
        QTest::newRow("the canaries succeed")
            << QStringList{"--canary", "2"} << QList<int>{1, 2, 4, 5} << 0 << 3;
    }
    void stops() {
        QFETCH(QStringList, options);
        QFETCH(QList<int>, reached);
        QFETCH(int, skipped);
        QFETCH(int, status);
        QTemporaryDir dir;
        Fleet fleet(dir);
        const QString p = dir.filePath(QStringLiteral("p.bas"));
        writeFile(p, "10 PRINT 1\r\n");
        const Run r =
            runVantor(kQuick + options + QStringList{"--host", fleet.target("1-5"), "download", p});
        QCOMPARE(fleet.reached(), reached);
        QCOMPARE(results(r.out).values().count("skipped"), skipped);
        QCOMPARE(r.err.contains("skipped"), skipped > 0);
        QCOMPARE(r.status, status);
    }

    // Under a descriptor limit too low for --jobs (each board here keeps a log open), vantor
    // says so before it starts and runs fewer at once: every board still done.
    void descriptorLimit() {
        QTemporaryDir dir;
        Fleet fleet(dir);
        QProcess p;
        p.start("bash", {"-c", "ulimit -n 66 && exec \"$0\" \"$@\"", QStringLiteral(VANTOR),
                         "--host", fleet.target("1-2"), "--host", fleet.target("5"), "--jobs", "3",
                         "--json", "--log", dir.filePath("b.log"), "ver"});
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000));
        QVERIFY2(p.readAllStandardError().contains("open files: 2 boards at once, not 3"),
                 "no word of the limit");
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(results(p.readAllStandardOutput()).values(),
                 QStringList({"done", "done", "done"}));
    }

    // A gateway bus over UDP: each device a board of its own, named TARGET@N, with what
    // it answered; the failed ones rerun from --failed-to; a scan lists the bus's devices.
    void gatewayBus() {
        QTemporaryDir dir;
        sim::ControllerOptions board;
        board.memoryFlash = true;
        sim::Bus bus(board, fourDevices());
        sim::UdpFront front(bus, QHostAddress(QStringLiteral("127.0.9.9")), 0);
        const QString link = QStringLiteral("127.0.9.9:%1").arg(front.port());
        const QString p = dir.filePath("p.bas"), failed = dir.filePath("failed.txt");
        writeFile(p, "10 PRINT 1\r\n20 END\r\n");
        Run r = runVantor(kQuick + QStringList{"--host", link, "--gateway", "1-4", "download", p,
                                               "--failed-to", failed});
        QCOMPARE(r.status, 3);
        QCOMPARE(results(r.out), (QMap<QString, QString>{{link + "@1", "done"},
                                                         {link + "@2", "refused"},
                                                         {link + "@3", "no answer"},
                                                         {link + "@4", "done"}}));
        const QJsonObject first = byHost(r.out, link + "@1");
        QCOMPARE(first["link"].toString(), link);
        QCOMPARE(first["address"].toInt(), 1);
        for (const int n : {1, 4})
            QCOMPARE(bus.device(n)->program().size(), std::size_t(2));
        QCOMPARE(bus.linesTo(2), 1); // refused at its first line
        QCOMPARE(readFile(failed), (link + "@2\n" + link + "@3\n").toUtf8());
        r = runVantor(kQuick + QStringList{"--hosts", failed, "--gateway", "1", "ver"});
        QCOMPARE(results(r.out).keys(), QStringList({link + "@2", link + "@3"}));
        QCOMPARE(bus.linesTo(1), 2);
        r = runVantor({"scan", "--host", link + "@1-5", "--gateway", "9", "--timeout", "0.3"});
        QCOMPARE(r.status, 0);
        const QList<QByteArray> rows = r.out.trimmed().split('\n');
        QCOMPARE(rows.size(), 4); // the header, 1, 2 (ERROR) and 4
        QVERIFY2(rows[3].startsWith((link + "@4").toLatin1()), r.out);
    }

    // A device that answers after its time-out, but within the idle time, holds the line:
    // its late answer is never the next device's.
    void lateDeviceOnGateway() {
        sim::ControllerOptions board;
        board.memoryFlash = true;
        sim::Bus bus(board, {{1, false, false, true}, {2, true}});
        sim::FrontOptions f;
        f.stallMs = 400;
        sim::UdpFront front(bus, QHostAddress(QStringLiteral("127.0.9.9")), 0, f);
        const Run r = runVantor({"--host", QStringLiteral("127.0.9.9:%1").arg(front.port()),
                                 "--gateway", "1-2", "--timeout", "0.3", "--retries", "0", "--idle",
                                 "300", "--json", "ver"});
        QCOMPARE(results(r.out).values(), QStringList({"no answer", "no answer"}));
    }

    // Two RTU lines at once, one of them named with its own device: a frame for an address
    // where nobody is gets no answer, and each device's saved listing has a file of its own.
    void rtuBuses() {
        QTemporaryDir dir;
        sim::ControllerOptions board;
        board.memoryFlash = true;
        sim::Bus a(board, fourDevices()), b(board, {{3}});
        a.device(1)->storeLine("10 PRINT 1");
        b.device(3)->storeLine("10 PRINT 3");
        sim::PtyFront lineA(a), lineB(b);
        const Run r = runVantor(kQuick + QStringList{"--serial", lineA.slavePath(), "--serial",
                                                     lineB.slavePath() + "@3", "--rtu", "1,3",
                                                     "save", dir.filePath("back.bas")});
        QCOMPARE(results(r.out), (QMap<QString, QString>{{lineA.slavePath() + "@1", "done"},
                                                         {lineA.slavePath() + "@3", "no answer"},
                                                         {lineB.slavePath() + "@3", "done"}}));
        const QString baseA = QFileInfo(lineA.slavePath()).fileName();
        const QString baseB = QFileInfo(lineB.slavePath()).fileName();
        QCOMPARE(readFile(dir.filePath("back-" + baseA + "-1.bas")), QByteArray("10 PRINT 1\r\n"));
        QCOMPARE(readFile(dir.filePath("back-" + baseB + "-3.bas")), QByteArray("10 PRINT 3\r\n"));
    }

    void badTargets_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("reversed") << QStringList{"--host", "127.0.9.5-1", "ver"} << "reversed";
        QTest::newRow("too many") << QStringList{"--host", "127.0.0.0/15", "ver"} << "65536";
        QTest::newRow("all excluded")
            << QStringList{"--host", "127.0.9.1", "--exclude", "127.0.9.0/24", "ver"}
            << "all of them excluded";
        QTest::newRow("failed-to in no folder")
            << QStringList{"--host", "127.0.9.1", "--failed-to", "/nonexistent/f", "ver"}
            << "--failed-to";
        QTest::newRow("max-failures 0%")
            << QStringList{"--host", "127.0.9.1", "--max-failures", "0%", "ver"}
            << "--max-failures wants";
        QTest::newRow("a reversed device range")
            << QStringList{"--host", "127.0.9.1", "--gateway", "5-3", "ver"} << "--gateway wants";
        QTest::newRow("a device list, no framing")
            << QStringList{"--host", "127.0.9.1@1-3", "ver"} << "wants --gateway or --rtu";
    }
    void badTargets() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run r = runVantor(arguments);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(message.toUtf8()), r.err);
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
