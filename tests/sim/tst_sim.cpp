// The simulated controller on its own: what the operations suite cannot see through the
// window (login, refusals, injected errors, READ at the 20-byte edge). Program and flash
// round trips over its UDP and pty fronts live in tst_ops. And the Modbus bus behind it.

#include "core/framing.h"
#include "sim/bus.h"
#include "sim/controller.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <fcntl.h>
#include <unistd.h>

using namespace vantor;

namespace {

// Every reply must end in CR LF; the tables leave that last CR LF out.
QStringList run(sim::Controller& controller, const QStringList& lines) {
    QStringList replies;
    for (const QString& line : lines)
        for (const std::string& reply : controller.handleLine(line.toStdString()))
            replies << QString::fromStdString(
                reply.ends_with("\r\n") ? reply.substr(0, reply.size() - 2) : "no CR LF: " + reply);
    return replies;
}

// "address: reply|reply late", the replies without their CR LF; "none" for no answer.
QString said(const std::optional<sim::BusAnswer>& answer) {
    if (!answer)
        return "none";
    QStringList replies;
    for (const std::string& reply : answer->replies)
        replies << QString::fromStdString(reply).chopped(2);
    return QString("%1: %2%3")
        .arg(answer->address)
        .arg(replies.join('|'), answer->late ? " late" : "");
}

const QString ver = "VANTOR-SIM BASIC V1.0";

} // namespace

Q_DECLARE_METATYPE(vantor::sim::ControllerOptions)

class TestSim : public QObject {
    Q_OBJECT
private slots:
    void replies_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<sim::ControllerOptions>("options");
        const auto row = [](const char* name, const QStringList& lines, const QStringList& expected,
                            int errorOnLine = 0, int flashErrorAfter = 0, bool login = false) {
            sim::ControllerOptions options;
            options.login = login;
            options.errorOnLine = errorOnLine;
            options.flashErrorAfter = flashErrorAfter;
            QTest::newRow(name) << lines << expected << options;
        };
        const QString d40 = "EBECEDEEEFF0F1F2F3F4F5F6F7F8F9FAFBFCFDFE"; // one READ's worth
        const QString write = "WRITE \"" + d40 + '"', open = "OPENRD \"r\"", read = "READ 20\"";

        row("editing, order, serial spelling",
            {"LIST", "", "   ", "20 B", "10 A", "10 C", "30 X", "30 ", "LISt"},
            {"OK", "OK", "OK", "OK", "OK", "OK", "OK", "OK", "10 C\r\n20 B", "OK"});
        row("commands, MDC unwrapped",
            {"VER", "UART 2,7", "FROB", "VER 2", "MDC 16,VER", "MDC 16,10 A,B", "MDC ,LIST",
             "MDC 16"},
            {ver, "OK", "ERROR", "ERROR", ver, "OK", "10 A,B", "OK", "ERROR"});
        row("flash refusals, hex digits",
            {"WRITE \"00\"", "READ 20\"", "OPENRD \"missing\"", "OPENWR \"../x\"", "OPENWR \"a/b\"",
             "OPENWR \"a\\b\"", "OPENWR \"\"", "OPENWR x", "OPENWR \"f\"", "WRITE \"ABC\"",
             "WRITE \"0G\"", "WRITE \"ab\"", "WRITE \"\"", "CLOSE", "WRITE \"00\""},
            QStringList(8, "ERROR") +
                QStringList{"OK", "ERROR", "ERROR", "OK", "OK", "OK", "ERROR"});
        // Exactly 20 bytes left: one reply with ND. 21 left: 40 digits, OK, then the last.
        row("READ at 20 and 21 bytes left",
            {"OPENWR \"r\"", write, open, "READ 20", "OPENWR \"r\"", write, "WRITE \"ff\"", open,
             read, read, "READ 21\""},
            {"OK", "OK", "OK", d40 + "ND", "OK", "OK", "OK", "OK", d40, "OK", "FFND", "ERROR"});
        row("login", {"VER", "admin", "admin", "MDC 16,VER"}, {"Login: ", "Password: ", "OK", ver},
            0, 0, true);
        row("login refused, then taken",
            {"10 A", "admin", "wrong", "LIST", "admin", "admin", "LIST"},
            {"Login: ", "Password: ", "ACCESS DENIED", "Login: ", "Password: ", "OK", "OK"}, 0, 0,
            true);
    }
    void replies() {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, expected);
        QFETCH(sim::ControllerOptions, options);
        QTemporaryDir dir;
        options.flashDir = dir.path().toStdString();
        sim::Controller controller(options);
        QCOMPARE(run(controller, lines), expected);
    }

    void bus() {
        QTemporaryDir dir;
        sim::ControllerOptions options;
        options.flashDir = dir.path().toStdString();
        sim::Bus bus(options, {{1}, {2}, {5, true}, {7, false, true}, {9, false, false, true}});
        const std::pair<QString, QString> steps[] = {{"MDC 1,10 A", "1: OK"},
                                                     {"mdc 2 ,LIST", "2: OK"},
                                                     {"MDC 1,LIST", "1: 10 A|OK"},
                                                     {"MDC 1,OPENWR \"f\"", "1: OK"},
                                                     {"MDC 3,VER", "none"},
                                                     {"MDC 5,VER", "none"},
                                                     {"MDC 7,VER", "7: ERROR"},
                                                     {"MDC 9,VER", "9: " + ver + " late"},
                                                     {"LIST", "0: OK"},
                                                     {"MDC 300,VER", "none"}};
        for (const auto& [line, expected] : steps)
            QCOMPARE(said(bus.handleText(line.toStdString())), expected);
        QCOMPARE(said(bus.handleRtu(2, "VER")), "2: " + ver);
        QCOMPARE(said(bus.handleRtu(3, "VER")), "none");
        QCOMPARE(bus.addresses(), (std::vector<int>{1, 2, 5, 7, 9}));
        QCOMPARE(bus.linesTo(1), 3);
        QCOMPARE(bus.linesTo(2), 2);
        QCOMPARE(bus.linesTo(5), 1); // heard, not answered
        QVERIFY(!bus.device(3));
        QVERIFY(QFile::exists(dir.filePath("dev-1/f")));
        QVERIFY(!bus.device(2)->flashFile("f"));

        // No devices: the board takes MDC lines and frames to any address itself.
        sim::Bus alone(bus.gateway());
        QCOMPARE(said(alone.handleText("MDC 16,VER")), "0: " + ver);
        QCOMPARE(said(alone.handleRtu(16, "VER")), "0: " + ver);
    }

    // Frames to 3, 9 (no device), 7 (late) and 8 (silent), then 3 again: the replies come
    // in order, so once the last is in, nothing came for 9 or 8.
    void busOverPty() {
        QTemporaryDir dir;
        QProcess sim;
        sim.start(QStringLiteral(VANTOR_SIM),
                  {"--serial", "--bus", "3,7-8", "--silent", "8", "--stall-on", "7", "--stall",
                   "200", "--flash-dir", dir.path()});
        QByteArray ready;
        QTRY_VERIFY((ready += sim.readAllStandardOutput()).contains('\n'));
        const int fd =
            ::open(ready.trimmed().split(' ').value(2).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY2(fd >= 0, ready.constData());
        std::string asked;
        for (const char* address : {"3", "9", "7", "8", "3"})
            asked += core::rtuFrame(address, "VER\r\n");
        const std::string reply = ver.toStdString() + "\r\n";
        const std::string expected = sim::rtuReplyFrames("3", reply) +
                                     sim::rtuReplyFrames("7", reply) +
                                     sim::rtuReplyFrames("3", reply);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::write(fd, asked.data(), asked.size()), ssize_t(asked.size()));
        std::string heard;
        const auto hear = [&] {
            char buffer[512];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                heard.append(buffer, std::size_t(n));
            return heard.size() >= expected.size();
        };
        QTRY_VERIFY(hear());
        ::close(fd);
        QCOMPARE(QByteArray::fromStdString(heard), QByteArray::fromStdString(expected));
        QVERIFY(clock.elapsed() >= 200);
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
    }

    void busUsage_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("address 0") << QStringList{"--bus", "0"};
        QTest::newRow("address 248") << QStringList{"--bus", "1,248"};
        QTest::newRow("silent off the bus") << QStringList{"--bus", "1-3", "--silent", "5"};
        QTest::newRow("stall-on off the bus") << QStringList{"--bus", "3", "--stall-on", "4"};
        QTest::newRow("stall-on without bus") << QStringList{"--stall-on", "1"};
        QTest::newRow("bus and boards") << QStringList{"--bus", "2", "--boards", "2"};
    }
    void busUsage() {
        QFETCH(QStringList, arguments);
        QProcess sim;
        sim.start(QStringLiteral(VANTOR_SIM), arguments);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
    }

    // The program serves both fronts once it says READY.
    void serves() {
        QTemporaryDir dir;
        QProcess sim;
        sim.start(QStringLiteral(VANTOR_SIM),
                  {"--udp", "--serial", "--delay", "5", "--login", "--flash-dir", dir.path()});
        QByteArray ready;
        QTRY_VERIFY((ready += sim.readAllStandardOutput()).count('\n') == 2);
        QVERIFY2(ready.contains("READY serial /dev/"), ready.constData());
        const QList<QByteArray> udp = ready.split('\n').first().split(' ');
        QCOMPARE(udp.value(1), QByteArray("udp"));
        QUdpSocket client;
        QVERIFY(client.bind(QHostAddress::LocalHost, 0));
        client.writeDatagram("VER\r\n", QHostAddress(QString::fromLatin1(udp.value(2))),
                             quint16(udp.value(3).toUInt()));
        QTRY_VERIFY(client.hasPendingDatagrams());
        QCOMPARE(client.receiveDatagram().data(), QByteArray("Login: \r\n"));
        sim.terminate(); // SIGTERM ends the event loop: a normal exit
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
