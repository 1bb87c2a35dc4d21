// The simulated controller on its own: what the operations suite cannot see through the
// window (login, refusals, injected errors, READ at the 20-byte edge). Program and flash
// round trips over its UDP and pty fronts live in tst_ops.

#include "sim/controller.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

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
            QTest::newRow(name) << lines << expected
                                << sim::ControllerOptions{login, errorOnLine, flashErrorAfter, {}};
        };
        const QString ver = "VANTOR-SIM BASIC V1.0";
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
