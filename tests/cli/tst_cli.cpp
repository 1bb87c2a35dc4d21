// vantor end to end: the program against the simulated board in this process, over UDP and
// a pseudo-terminal, one board and a batch; its exit status, stdout, stderr and files.

#include "core/framing.h"
#include "pty_pair.h"
#include "sim/controller.h"
#include "sim/pty_front.h"
#include "sim/udp_front.h"
#include "vantor_run.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <filesystem>
#include <optional>

using namespace vantor;
using namespace vantor::test;

namespace {

// A simulated board on UDP with its flash disk in `dir`.
struct Board {
    Board(const QTemporaryDir& dir, sim::ControllerOptions o = {}, sim::FrontOptions f = {})
        : controller((o.flashDir = dir.filePath(QStringLiteral("flash")).toStdString(), o)),
          front(controller, QHostAddress::LocalHost, 0, f) {}
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(front.port()); }
    sim::Controller controller;
    sim::UdpFront front;
};

// A board that misbehaves, on UDP or on a pseudo-terminal.
struct Fault {
    sim::ControllerOptions board;
    sim::FrontOptions link;
    bool serial = false;
};

} // namespace

Q_DECLARE_METATYPE(Fault)

namespace {

const QByteArray kProgram = "10 PRINT \"HI\"\r\n0020 GOTO 10\r\n30 REM  ok\r\n";
const QByteArray kListing = "10 PRINT \"HI\"\r\n20 GOTO 10\r\n30 REM  ok\r\n";

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    // Every command once over UDP, each checked where it shows: output, files, the board.
    void udpCommands() {
        QTemporaryDir dir;
        Board board(dir);
        const QString p = dir.filePath(QStringLiteral("p.bas")), log = dir.filePath("t.log");
        writeFile(p, kProgram);
        const QStringList b{"--host", board.host(), "--log", log};
        QVERIFY(runVantor({"--version"}).out.startsWith("vantor 3.1.1"));
        QCOMPARE(runVantor({"ports"}).status, 0);
        Run r = runVantor(b + QStringList{"VER"}); // commands in any case
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("VANTOR-SIM BASIC V1.0\r\n"));
        QCOMPARE(runVantor(QStringList{"download", p, "--verify"} + b).status, 0);
        QCOMPARE(board.controller.program().size(), std::size_t(3));
        // A download adds to what the board holds; --new makes it hold the file alone.
        board.controller.handleLine("40 END");
        r = runVantor(b + QStringList{"download", p, "--verify"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("listed \"40 END\" (the board held a program before"), r.err);
        QCOMPARE(runVantor(b + QStringList{"download", p, "--verify", "--new"}).status, 0);
        QCOMPARE(board.controller.program().size(), std::size_t(3));
        QCOMPARE(runVantor(b + QStringList{"save", dir.filePath("back.bas")}).status, 0);
        QCOMPARE(readFile(dir.filePath("back.bas")), kListing);
        QCOMPARE(runVantor(b + QStringList{"new"}).status, 0);
        QVERIFY(board.controller.program().empty());
        r = runVantor(b + QStringList{"send", "10 A", "FROB", "VER"});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray("OK\r\nERROR\r\n"));
        QVERIFY2(r.err.contains("\"FROB\" refused by " + board.host().toLatin1()), r.err);

        QByteArray data(5000, Qt::Uninitialized);
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i * 7 + i / 256);
        writeFile(dir.filePath("d.bin"), data);
        writeFile(dir.filePath("back.bin"), QByteArray(9000, 'Z')); // replaced whole
        QCOMPARE(
            runVantor(b + QStringList{"put", dir.filePath("d.bin"), "D.BIN", "--verify"}).status,
            0);
        QCOMPARE(readFile(dir.filePath("flash/D.BIN")), data);
        // A flash name goes out in the code page, as every other line.
        QCOMPARE(runVantor(b + QStringList{"put", dir.filePath("d.bin"),
                                           QString::fromUtf8("\u0424\u0410\u0419\u041B.TXT")})
                     .status,
                 0);
        QVERIFY(std::filesystem::exists(std::filesystem::path(dir.filePath("flash").toStdString()) /
                                        "\xD4\xC0\xC9\xCB.TXT"));
        QCOMPARE(runVantor(b + QStringList{"get", "D.BIN", dir.filePath("back.bin")}).status, 0);
        QCOMPARE(readFile(dir.filePath("back.bin")), data);
        // The window's log: what the console and the flash transfers send, all that came.
        const QByteArray logged = readFile(log);
        QVERIFY(logged.startsWith("VANTOR-SIM BASIC V1.0\r\nOK\r\n")); // VER not logged
        QVERIFY(logged.contains("10 A\r\nOK\r\nFROB\r\nERROR\r\n"));
        QVERIFY(logged.contains("OPENWR \"D.BIN\"\r\nOK\r\nWRITE \""));
        QVERIFY(!logged.contains("LIST"));
        r = runVantor(b + QStringList{"get", "NONE.BIN", dir.filePath("back.bin")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("NONE.BIN refused"), r.err);
        QVERIFY2(r.err.contains("back.bin left as it was"), r.err);
        QCOMPARE(readFile(dir.filePath("back.bin")), data);
    }

    void serialFramings_data() {
        QTest::addColumn<QStringList>("framing");
        QTest::addColumn<QByteArray>("logged"); // an answer as the log has it
        QTest::newRow("plain") << QStringList{} << QByteArray("OK\r\n");
        QTest::newRow("gateway") << QStringList{"--gateway", "16"} << QByteArray("OK\r\n");
        QTest::newRow("RTU") << QStringList{"--rtu", "65"}
                             << QByteArray::fromStdString(core::rtuFrame("65", "OK\r\n"));
    }
    // A download verified by the listing and a save, over a pseudo-terminal; the listing
    // command is spelt as the serial console wants it.
    void serialFramings() {
        QFETCH(QStringList, framing);
        QFETCH(QByteArray, logged);
        QTemporaryDir dir;
        sim::Controller controller;
        sim::PtyFront front(controller);
        QVERIFY2(front.isOpen(), qPrintable(front.errorString()));
        const QString p = dir.filePath(QStringLiteral("p.bas")), log = dir.filePath("t.log");
        writeFile(p, kProgram);
        const QStringList link = QStringList{"--serial", front.slavePath(), "--log", log} + framing;
        Run r = runVantor(link + QStringList{"download", p, "--verify", "--json"});
        QCOMPARE(r.status, 0);
        const QJsonObject json = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(json.value("result").toString(), QStringLiteral("done"));
        QCOMPARE(json.value("lines").toInt(), 3);
        QCOMPARE(runVantor(link + QStringList{"save", dir.filePath("back.bas")}).status, 0);
        QCOMPARE(readFile(dir.filePath("back.bas")), kListing);
        QVERIFY(readFile(log).startsWith(logged + logged + logged)); // as the bytes came
    }

    // Three boards, one of which refuses line 2: the other two are done all the same.
    void batch() {
        QTemporaryDir dir;
        sim::ControllerOptions refusing;
        refusing.errorOnLine = 2;
        Board a(dir), b(dir, refusing), c(dir);
        writeFile(dir.filePath("p.bas"), kProgram);
        const Run r = runVantor({"download", dir.filePath("p.bas"), "--json", "--host", a.host(),
                                 "--host", b.host(), "--host", c.host(), "--jobs", "2", "--log",
                                 dir.filePath("t.log")});
        QCOMPARE(r.status, 1);
        QMap<QString, QString> results;
        for (const QByteArray& line : r.out.trimmed().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            results[o.value("host").toString()] = o.value("result").toString();
        }
        QCOMPARE(results, (QMap<QString, QString>{
                              {a.host(), "done"}, {b.host(), "refused"}, {c.host(), "done"}}));
        QVERIFY2(r.err.contains("line 2 of " + dir.filePath("p.bas").toLatin1() + " refused by " +
                                b.host().toLatin1()),
                 r.err);
        // The closing table: the refusal on top, the two boards done in one group.
        QVERIFY2(QRegularExpression("^refused +1 .*\n.*\n^done +2\n +" +
                                        QRegularExpression::escape(a.host()),
                                    QRegularExpression::MultilineOption)
                     .match(QString::fromUtf8(r.err))
                     .hasMatch(),
                 r.err);
        QVERIFY2(!r.err.contains("vantor: download:"), r.err); // the table alone, on a pipe
        QCOMPARE(a.controller.program().size(), std::size_t(3));
        // One log per board, named as save names its files.
        const QString logA = dir.filePath("t-" + QString(a.host()).replace(':', '_') + ".log");
        QCOMPARE(readFile(logA), QByteArray("OK\r\nOK\r\nOK\r\n"));
    }

    // One board named twice, by name and by address, is one board: two jobs on it would
    // take each other's answers.
    void sameBoardTwice() {
        QTemporaryDir dir;
        sim::FrontOptions slow;
        slow.replyDelayMs = 50;
        Board board(dir, {}, slow);
        const QString port = QString::number(board.front.port());
        const Run r = runVantor(
            {"--host", "localhost:" + port, "--host", "127.0.0.1:" + port, "--json", "ver"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed().split('\n').size(), 1);
        QVERIFY2(r.err.contains("1 duplicate targets dropped"), r.err);
    }

    // A lost answer is asked again; a board that never answers fails after the retries.
    void lostAnswers() {
        QTemporaryDir dir;
        sim::FrontOptions dropping;
        dropping.dropEvery = 2;
        Board board(dir, {}, dropping);
        writeFile(dir.filePath("p.bas"), kProgram);
        QCOMPARE(runVantor({"--host", board.host(), "--timeout", "0.3", "download",
                            dir.filePath("p.bas")})
                     .status,
                 0);
        QCOMPARE(board.controller.program().size(), std::size_t(3));
        QUdpSocket silent;
        QVERIFY(silent.bind(QHostAddress::LocalHost, 0));
        const Run r = runVantor({"--host", QStringLiteral("127.0.0.1:%1").arg(silent.localPort()),
                                 "--timeout", "0.2", "--retries", "1", "ver"});
        QCOMPARE(r.status, 3);
        QVERIFY2(
            r.err.contains("no answer from 127.0.0.1:" + QByteArray::number(silent.localPort()) +
                           " to VER (2 tries, 0.2 s each)"),
            r.err);
        QVERIFY2(!r.err.contains("unreachable"), r.err);
        int heard = 0;
        for (; silent.hasPendingDatagrams(); ++heard)
            silent.receiveDatagram();
        QCOMPARE(heard, 2); // the first try and one more
        // A flash transfer is tried again from its Open line, and gives up all the same.
        writeFile(dir.filePath("d.bin"), "data");
        QCOMPARE(runVantor({"--host", QStringLiteral("127.0.0.1:%1").arg(silent.localPort()),
                            "--timeout", "0.2", "--retries", "1", "--idle", "0", "put",
                            dir.filePath("d.bin")})
                     .status,
                 3);
        // Nothing listens: the system says so, and the tries still run.
        const quint16 closed = silent.localPort();
        silent.close();
        const Run unreachable = runVantor({"--host", QStringLiteral("127.0.0.1:%1").arg(closed),
                                           "--timeout", "0.2", "--retries", "1", "ver"});
        QCOMPARE(unreachable.status, 3);
        QVERIFY2(unreachable.err.contains("2 tries, 0.2 s each); the system reported the port "
                                          "unreachable"),
                 unreachable.err);
    }

    // A save whose closing "OK" is lost leaves the old file as it was, and keeps what came.
    void interruptedSave() {
        QTemporaryDir dir;
        sim::FrontOptions dropping;
        dropping.dropEvery = 2; // the listing, then its "OK", which is lost
        Board board(dir, {}, dropping);
        for (const char* line : {"10 A=1", "20 B=2", "30 C=3"})
            board.controller.handleLine(line);
        const QString mine = dir.filePath("mine.bas");
        writeFile(mine, "1 OLD\r\n");
        const Run r =
            runVantor({"--host", board.host(), "--timeout", "0.3", "--retries", "0", "save", mine});
        QCOMPARE(r.status, 3);
        QCOMPARE(readFile(mine), QByteArray("1 OLD\r\n"));
        QCOMPARE(readFile(mine + ".partial"), QByteArray("10 A=1\r\n20 B=2\r\n30 C=3\r\n"));
        QVERIFY2(r.err.contains("mine.bas left as it was; the 24 bytes received are in " +
                                mine.toLatin1() + ".partial"),
                 r.err);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary file left
    }

    // A loss that comes back with every reading (every other reply: the one line of the
    // listing, never its "OK") never empties the operator's file.
    void saveNeverEmpties() {
        QTemporaryDir dir;
        sim::FrontOptions dropping;
        dropping.dropEvery = 2;
        Board board(dir, {}, dropping);
        board.controller.handleLine("10 A=1");
        const QString mine = dir.filePath("mine.bas");
        writeFile(mine, "10 A=1\r\n");
        // VER's one reply is kept: from then on each listing's line is lost, its "OK" not.
        QCOMPARE(runVantor({"--host", board.host(), "ver"}).status, 0);
        const Run r = runVantor({"--host", board.host(), "save", mine, "--verify"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("listed no program"), r.err);
        QCOMPARE(readFile(mine), QByteArray("10 A=1\r\n"));
    }

    // A line without a number (RUN, NEW) is never sent twice: the board would run it
    // twice. It is waited for instead.
    void unnumberedOnce() {
        QTemporaryDir dir;
        sim::FrontOptions slow;
        slow.stallAt = 1;
        slow.stallMs = 500;
        Board board(dir, {}, slow);
        writeFile(dir.filePath("p.bas"), "NEW\r\n10 A=1\r\n");
        const Run r = runVantor({"--host", board.host(), "--timeout", "0.3", "--idle", "600",
                                 "download", dir.filePath("p.bas")});
        QCOMPARE(r.status, 0);
        QCOMPARE(board.front.faults().commands, 2);
    }

    // A serial port that goes away mid-command ends it at once as a link failure.
    void serialGone() {
        test::PtyPair pty;
        QVERIFY(pty.ok());
        QProcess p;
        p.start(QStringLiteral(VANTOR), {"--serial", pty.slavePath(), "--timeout", "600", "ver"});
        QByteArray heard;
        QVERIFY(QTest::qWaitFor([&] { return (heard += pty.readAvailable()).contains("VER"); }));
        pty.close();
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000));
        QCOMPARE(p.exitCode(), 4);
        QVERIFY(p.readAllStandardError().contains(pty.slavePath().toLatin1() + " went away"));
    }

    // The manual page and --help name the same options, so that neither falls behind.
    void manualMatchesHelp() {
        const auto options = [](const QByteArray& text) {
            QSet<QString> names;
            static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*[a-z]"));
            for (auto it = option.globalMatch(QString::fromUtf8(text)); it.hasNext();)
                names.insert(it.next().captured());
            return names;
        };
        const QSet<QString> help = options(runVantor({"--help"}).out);
        QVERIFY(help.contains("--retries"));
        const QByteArray manual = readFile(QStringLiteral(VANTOR_MANUAL));
        // The examples also start the simulator, whose options are its own.
        QCOMPARE(options(manual.left(manual.indexOf(".SH EXAMPLES")).replace("\\-", "-")), help);
    }

    void faults_data() {
        QTest::addColumn<Fault>("fault");
        // p.bas: 2 lines; d.bin: 2000 bytes; s.bin: 10 bytes
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const auto row = [](const char* name, Fault f, const QStringList& a, int status,
                            const char* said) { QTest::newRow(name) << f << a << status << said; };
        const QStringList quick{"--timeout", "0.3", "--idle", "600"};
        Fault slowFirst; // busy with its first command past the time-out
        slowFirst.link.stallAt = 1;
        slowFirst.link.stallMs = 400;
        Fault slowThenRefused = slowFirst;
        slowThenRefused.board.errorOnLine = 3; // line 2, after line 1 went twice
        row("a late answer is not the next line's", slowThenRefused,
            quick + QStringList{"download", "p.bas"}, 1, "p.bas refused");
        // The Open is given up and sent again; its late answer must not pass for the
        // second Open's, or the second Open's for the WRITE's, which the board refuses.
        Fault lateOpen;
        lateOpen.link.stallAt = 1;
        lateOpen.link.stallMs = 700;
        lateOpen.board.flashErrorAfter = 2; // the two Opens, then refusals
        row("a late Open answer is not the WRITE's", lateOpen,
            {"put", "s.bin", "--timeout", "0.3", "--retries", "1", "--idle", "600"}, 1,
            "refused by");
        row("late answers in time: done", slowFirst, quick + QStringList{"download", "p.bas"}, 0,
            "");
        Fault crOnly;
        crOnly.link.crOnly = true;
        crOnly.serial = true;
        row("serial lines ended by CR alone", crOnly, {"download", "p.bas", "--verify"}, 0, "");
        Fault otherPort;
        otherPort.link.otherPortEvery = 1;
        row("answers from another port", otherPort, {"ver"}, 0, "VANTOR-SIM");
        Fault lossy;
        lossy.link.dropEvery = 5;
        row("a lossy link ends a transfer", lossy,
            {"put", "d.bin", "--timeout", "0.2", "--retries", "1", "--idle", "100"}, 3,
            "no answer");
        Fault lostData;
        lostData.link.dropEvery = 2; // the data of the first READ
        row("a READ answered without its data", lostData,
            {"get", "F.BIN", "f.bin", "--timeout", "0.2", "--retries", "1", "--idle", "100"}, 3,
            "no answer");
        Fault login;
        login.board.login = true;
        row("a login prompt is denied", login, {"ver"}, 1, "asks for a login");
    }
    // Each fault a board may have, and the verdict that tells the truth about it.
    void faults() {
        QFETCH(Fault, fault);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        QTemporaryDir dir;
        writeFile(dir.filePath("p.bas"), "10 A=1\r\n20 B=2\r\n");
        writeFile(dir.filePath("d.bin"), QByteArray(2000, 'd'));
        writeFile(dir.filePath("s.bin"), QByteArray(10, 's'));
        fault.board.flashDir = dir.filePath("flash").toStdString();
        sim::Controller controller(fault.board);
        writeFile(dir.filePath("flash/F.BIN"), QByteArray(30, 'f'));
        std::optional<sim::UdpFront> udp;
        std::optional<sim::PtyFront> pty;
        QStringList link;
        if (fault.serial) {
            pty.emplace(controller, fault.link);
            link = {"--serial", pty->slavePath()};
        } else {
            udp.emplace(controller, QHostAddress::LocalHost, 0, fault.link);
            link = {"--host", QStringLiteral("127.0.0.1:%1").arg(udp->port())};
        }
        for (QString& a : arguments)
            if (a.endsWith(".bas") || a.endsWith(".bin"))
                a = dir.filePath(a);
        const Run r = runVantor(link + arguments);
        QCOMPARE(r.status, status);
        QVERIFY2((r.out + r.err).contains(said.toLatin1()), r.err);
        if (status == 0 && arguments.contains("put")) // done: the board holds the file
            QCOMPARE(readFile(dir.filePath("flash/s.bin")), readFile(dir.filePath("s.bin")));
    }

    // Ctrl-C in a batch: the boards in flight end interrupted, with how far they got.
    void interrupted() {
        QTemporaryDir dir;
        sim::FrontOptions busy;
        busy.stallAt = 2; // line 2 is never answered in time
        busy.stallMs = 60000;
        Board a(dir, {}, busy), b(dir, {}, busy), c(dir);
        writeFile(dir.filePath("p.bas"), kProgram);
        const QString again = dir.filePath("again.txt");
        QProcess p;
        p.start(QStringLiteral(VANTOR), {"--host", a.host(), "--host", b.host(), "--host", c.host(),
                                         "--jobs", "2", "--json", "--failed-to", again, "--timeout",
                                         "100", "download", dir.filePath("p.bas")});
        // Line 2 has reached each board: vantor has taken the answer to line 1.
        QVERIFY(QTest::qWaitFor([&] {
            return a.controller.program().size() == 2 && b.controller.program().size() == 2;
        }));
        p.terminate();
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }));
        QCOMPARE(p.exitCode(), 130);
        // Every target once: those in flight interrupted, the one not started skipped, and
        // all three in the file for a rerun.
        QMap<QString, QString> results;
        for (const QByteArray& object : p.readAllStandardOutput().trimmed().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(object).object();
            QVERIFY(!results.contains(o.value("host").toString()));
            results[o.value("host").toString()] = o.value("result").toString();
            QCOMPARE(o.value("lines").toInt(), o.value("host") == c.host() ? 0 : 1);
        }
        QCOMPARE(results,
                 (QMap<QString, QString>{
                     {a.host(), "interrupted"}, {b.host(), "interrupted"}, {c.host(), "skipped"}}));
        QCOMPARE(readFile(again).split('\n').size(), 4);
        QCOMPARE(p.readAllStandardError().count("result "), 1); // one closing table
    }

    void badInput_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const QStringList& a, int status, const char* m) {
            QTest::newRow(name) << a << status << m;
        };
        row("missing file", {"download", "missing.bas"}, 2, "cannot read missing.bas");
        row("a folder", {"put", "."}, 2, "a folder");
        row("2049 lines", {"download", "long.bas"}, 2, "more than 2048 lines");
        row("baud 1234", {"--baud", "1234", "ver"}, 2, "--baud wants");
        row("RTU address 248", {"--rtu", "248", "ver"}, 2, "from 1 to 247");
        row("RTU broadcast", {"--rtu", "0", "ver"}, 2, "from 1 to 247");
        row("an address list without --rtu", {"--serial", "/dev/null@3", "ver"}, 2,
            "wants --gateway or --rtu");
        row("unknown command", {"frob"}, 2, "unknown command frob");
        row("diff of a missing file", {"diff", "missing.bas"}, 2, "cannot read missing.bas");
        row("--if-changed with save", {"save", "x.bas", "--if-changed"}, 2,
            "--if-changed goes with download or put");
        row("a command mistyped", {"dowload", "p.bas"}, 2, "did you mean download?");
        row("a line the code page cannot carry", {"send", "caf\u00e9 \u20ac"}, 2, "cannot carry");
        row("a flash file through the gateway", {"get", "X", "x.bin", "--gateway", "1"}, 2,
            "plain UDP only");
        row("a log in no folder", {"--log", "/nonexistent/x.log", "ver"}, 2, "no folder");
        row("a rerun list that is a folder", {"--failed-to", ".", "ver"}, 2, "a folder");
        row("a save into no folder", {"save", "long.bas/x.bas"}, 2, "no folder");
        row("a get into no folder", {"get", "X", "long.bas/x.bin"}, 2, "no folder");
        row("unknown host", {"--host", "no-such-host.invalid", "ver"}, 4, "cannot resolve");
        row("no such port", {"--serial", "/dev/vantor-no-such-port", "ver"}, 4, "cannot open");
    }
    // A clear message, its exit status, and nothing sent.
    void badInput() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QByteArray program;
        for (int n = 1; n <= 2049; ++n)
            program += QByteArray::number(n) + " P\r\n";
        writeFile(dir.filePath("long.bas"), program);
        QUdpSocket board;
        QVERIFY(board.bind(QHostAddress::LocalHost, 0));
        if (!arguments.contains("--host") && !arguments.contains("--serial"))
            arguments << "--host" << QStringLiteral("127.0.0.1:%1").arg(board.localPort());
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(VANTOR), arguments);
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(p.exitCode(), status);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains(message.toUtf8()), err);
        QVERIFY(!board.hasPendingDatagrams());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"long.bas"});
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
