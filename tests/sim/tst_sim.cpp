// The simulated controller on its own: what the operations suite cannot see through the
// window (login, refusals, injected errors, LIST packing, READ at the 20-byte edge) and
// the options of its UDP and pty fronts. Program and flash round trips live in tst_ops.

#include "core/framing.h"
#include "sim/controller.h"
#include "sim/udp_front.h"
#ifdef Q_OS_UNIX
#include "sim/pty_front.h"
#include <fcntl.h>
#include <unistd.h>
#endif

#include <QNetworkDatagram>
#include <QScopeGuard>
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

        row("line numbers", {"65529 END", "65530 END", "99999999999999999999 END", "LIST"},
            {"OK", "ERROR", "ERROR", "65529 END", "OK"});
        row("editing, order, serial spelling",
            {"LIST", "", "   ", "20 B", "10 A", "10 C", "30 X", "30 ", "LISt"},
            {"OK", "OK", "OK", "OK", "OK", "OK", "OK", "OK", "10 C\r\n20 B", "OK"});
        row("commands, MDC unwrapped",
            {"VER", "UART 2,7", "FROB", "VER 2", "MDC 16,VER", "MDC 16,10 A,B", "MDC ,LIST",
             "MDC 16"},
            {ver, "OK", "ERROR", "ERROR", ver, "OK", "10 A,B", "OK", "ERROR"});
        row("error on line 2", {"10 A", "20 B", "30 C", "LIST"},
            {"OK", "ERROR", "OK", "10 A\r\n30 C", "OK"}, 2);
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
        row("flash errors after 2",
            {"OPENWR \"f\"", "WRITE \"00\"", "WRITE \"00\"", "CLOSE", "OPENRD \"f\""},
            {"OK", "OK", "ERROR", "OK", "ERROR"}, 0, 2);
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

    // A listing goes out in bursts of at most 512 bytes and 16 lines, then OK on its own.
    void listPacking_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("bursts");
        QTest::newRow("fills 512 exactly") << 32 << 14 << 1;
        QTest::newRow("513 bytes split") << 27 << 17 << 2;
        QTest::newRow("16 lines a burst") << 100 << 30 << 7;
        QTest::newRow("lines over 512") << 2 << 600 << 2;
    }
    void listPacking() {
        QFETCH(int, count);
        QFETCH(int, length);
        QFETCH(int, bursts);
        sim::Controller controller; // no flash commands: the default folder does
        std::string listing, joined;
        for (int i = 0; i < count; ++i) {
            const std::string line = std::to_string(1000 + i) + ' ' + std::string(length - 5, 'X');
            QCOMPARE(controller.handleLine(line), std::vector<std::string>{"OK\r\n"});
            listing += line + "\r\n";
        }
        std::vector<std::string> replies = controller.handleLine("LIST");
        QCOMPARE(replies.back(), std::string("OK\r\n"));
        replies.pop_back();
        QCOMPARE(int(replies.size()), bursts);
        for (const std::string& burst : replies) {
            QVERIFY(burst.size() <= 512 || burst.size() == std::size_t(length) + 2);
            QVERIFY(burst.ends_with("\r\n"));
            joined += burst;
        }
        QCOMPARE(QByteArray::fromStdString(joined), QByteArray::fromStdString(listing));
    }

    // Plain replies over UDP are proven by tst_ops; here the delay and drop options.
    void udpFront_data() {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("dropEvery");
        QTest::addColumn<QByteArrayList>("expected");
        const QByteArray ver = "VANTOR-SIM BASIC V1.0\r\n";
        QTest::newRow("delayed") << 30 << 0 << QByteArrayList{"OK\r\n", "10 A\r\n", "OK\r\n", ver};
        QTest::newRow("every 3rd lost") << 0 << 3 << QByteArrayList{"OK\r\n", "10 A\r\n", ver};
    }
    void udpFront() {
        QFETCH(int, delayMs);
        QFETCH(int, dropEvery);
        QFETCH(QByteArrayList, expected);
        sim::Controller controller;
        sim::UdpFront front(controller, QHostAddress::LocalHost, 0, {delayMs, dropEvery, false});
        QVERIFY2(front.isBound(), qPrintable(front.errorString()));

        QUdpSocket client;
        QVERIFY2(client.bind(QHostAddress::LocalHost, 0), qPrintable(client.errorString()));
        QByteArrayList received;
        connect(&client, &QUdpSocket::readyRead, this, [&] {
            while (client.hasPendingDatagrams())
                received << client.receiveDatagram().data();
        });
        for (const char* line : {"10 A\r\n", "LIST\n", "VER\r\n"})
            client.writeDatagram(line, QHostAddress::LocalHost, front.port());
        QTRY_COMPARE(received, expected);
    }

    void ptyFront() {
#ifdef Q_OS_UNIX
        sim::Controller controller;
        sim::PtyFront front(controller);
        QVERIFY2(front.isOpen(), qPrintable(front.errorString()));
        const int fd =
            ::open(front.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        std::string got;
        const auto drain = [&] {
            char buffer[512];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                got.append(buffer, std::size_t(n));
            return QByteArray::fromStdString(got);
        };
        const auto put = [fd](const std::string& b) {
            return ::write(fd, b.data(), b.size()) == ssize_t(b.size());
        };

        // A plain line, ended by a lone LF, gets a plain reply.
        const std::string line = "10 " + std::string(297, 'X');
        QVERIFY(put(line + "\n"));
        QTRY_COMPARE(drain(), QByteArray("OK\r\n"));
        got.clear();

        // A frame with a bad CRC is dropped; the 302-byte listing comes back in two frames.
        std::string corrupt = core::rtuFrame("16", "VER\r\n");
        corrupt.back() ^= 1;
        QVERIFY(put(corrupt + core::rtuFrame("16", "LISt\r\n")));
        const std::string listing = line + "\r\n";
        const std::string frames = core::rtuFrame("16", listing.substr(0, 255)) +
                                   core::rtuFrame("16", listing.substr(255)) +
                                   core::rtuFrame("16", "OK\r\n");
        QTRY_COMPARE(drain(), QByteArray::fromStdString(frames));
#else
        QSKIP("no pseudo-terminals here");
#endif
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
