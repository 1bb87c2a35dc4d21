#include "core/crc16.h"
#include "core/framing.h"
#include "core/hex.h"
#include "sim/controller.h"
#include "sim/udp_front.h"
#ifdef Q_OS_UNIX
#include "sim/pty_front.h"
#include <fcntl.h>
#include <unistd.h>
#endif

#include <QFile>
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
    for (const QString& line : lines) {
        for (const std::string& reply : controller.handleLine(line.toStdString())) {
            QString text = QString::fromStdString(reply);
            if (!text.endsWith("\r\n"))
                return {"reply without CR LF: " + text};
            text.chop(2);
            replies << text;
        }
    }
    return replies;
}

sim::ControllerOptions inDir(const QTemporaryDir& dir) {
    sim::ControllerOptions options;
    options.flashDir = dir.path().toStdString();
    return options;
}

} // namespace

class TestSim : public QObject {
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void listPacking_data();
    void listPacking();
    void flashRoundTrip_data();
    void flashRoundTrip();
    void udpFront_data();
    void udpFront();
    void ptyFront();
};

void TestSim::replies_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("errorOnLine");
    QTest::addColumn<int>("flashErrorAfter");
    QTest::addColumn<bool>("login");
    QTest::addColumn<QStringList>("expected");
    const QString ver = "VANTOR-SIM BASIC V1.0";

    QTest::newRow("program line") << QStringList{"10 PRINT X", "LIST"} << 0 << 0 << false
                                  << QStringList{"OK", "10 PRINT X", "OK"};
    QTest::newRow("highest line number")
        << QStringList{"65529 END"} << 0 << 0 << false << QStringList{"OK"};
    QTest::newRow("line number too high")
        << QStringList{"65530 END", "99999999999999999999 END", "LIST"} << 0 << 0 << false
        << QStringList{"ERROR", "ERROR", "OK"};
    QTest::newRow("blank lines") << QStringList{"", "   "} << 0 << 0 << false
                                 << QStringList{"OK", "OK"};
    QTest::newRow("number order, serial spelling")
        << QStringList{"20 B", "10 A", "LISt"} << 0 << 0 << false
        << QStringList{"OK", "OK", "10 A\r\n20 B", "OK"};
    QTest::newRow("empty listing") << QStringList{"LIST"} << 0 << 0 << false << QStringList{"OK"};
    QTest::newRow("replace and delete")
        << QStringList{"10 A", "20 B", "10 C", "20 ", "LIST"} << 0 << 0 << false
        << QStringList{"OK", "OK", "OK", "OK", "10 C", "OK"};
    QTest::newRow("NEW") << QStringList{"10 A", "NEW", "LIST"} << 0 << 0 << false
                         << QStringList{"OK", "OK", "OK"};
    QTest::newRow("VER, UART") << QStringList{"VER", "UART 2,7"} << 0 << 0 << false
                               << QStringList{ver, "OK"};
    QTest::newRow("unknown") << QStringList{"FROB", "VER 2"} << 0 << 0 << false
                             << QStringList{"ERROR", "ERROR"};
    QTest::newRow("MDC unwrapped")
        << QStringList{"MDC 16,VER", "MDC 16,10 A,B", "MDC ,LIST", "MDC 16"} << 0 << 0 << false
        << QStringList{ver, "OK", "10 A,B", "OK", "ERROR"};
    QTest::newRow("error on line 2")
        << QStringList{"10 A", "20 B", "30 C", "LIST"} << 2 << 0 << false
        << QStringList{"OK", "ERROR", "OK", "10 A\r\n30 C", "OK"};
    QTest::newRow("flash refusals")
        << QStringList{"WRITE \"00\"",   "READ 20\"",       "OPENRD \"missing\"", "OPENWR \"../x\"",
                       "OPENWR \"a/b\"", "OPENWR \"a\\b\"", "OPENWR \"\"",        "OPENWR x"}
        << 0 << 0 << false << QStringList(8, "ERROR");
    QTest::newRow("hex digits") << QStringList{"OPENWR \"f\"", "WRITE \"ABC\"", "WRITE \"0G\"",
                                               "WRITE \"ab\"", "WRITE \"\"",    "CLOSE",
                                               "WRITE \"00\""}
                                << 0 << 0 << false
                                << QStringList{"OK", "ERROR", "ERROR", "OK", "OK", "OK", "ERROR"};
    QTest::newRow("READ without quote")
        << QStringList{"OPENWR \"g\"", "WRITE \"01FF\"", "OPENRD \"g\"", "READ 20", "READ 21\""}
        << 0 << 0 << false << QStringList{"OK", "OK", "OK", "01FFND", "ERROR"};
    QTest::newRow("flash errors after 2")
        << QStringList{"OPENWR \"f\"", "WRITE \"00\"", "WRITE \"00\"", "CLOSE", "OPENRD \"f\""} << 0
        << 2 << false << QStringList{"OK", "OK", "ERROR", "OK", "ERROR"};
    QTest::newRow("login") << QStringList{"VER", "admin", "admin", "VER"} << 0 << 0 << true
                           << QStringList{"Login: ", "Password: ", "OK", ver};
    QTest::newRow("login refused, then taken")
        << QStringList{"10 A", "admin", "wrong", "LIST", "admin", "admin", "LIST"} << 0 << 0 << true
        << QStringList{
               "Login: ", "Password: ", "ACCESS DENIED", "Login: ", "Password: ", "OK", "OK"};
}

void TestSim::replies() {
    QFETCH(QStringList, lines);
    QFETCH(int, errorOnLine);
    QFETCH(int, flashErrorAfter);
    QFETCH(bool, login);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    sim::ControllerOptions options = inDir(dir);
    options.errorOnLine = errorOnLine;
    options.flashErrorAfter = flashErrorAfter;
    options.login = login;
    sim::Controller controller(options);
    QCOMPARE(run(controller, lines), expected);
}

void TestSim::listPacking_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("bursts");
    QTest::newRow("fills 512 exactly") << 32 << 14 << 1;
    QTest::newRow("513 bytes split") << 27 << 17 << 2;
    QTest::newRow("16 lines a burst") << 100 << 30 << 7;
    QTest::newRow("lines over 512") << 2 << 600 << 2;
}

void TestSim::listPacking() {
    QFETCH(int, count);
    QFETCH(int, length);
    QFETCH(int, bursts);
    QTemporaryDir dir;
    sim::Controller controller(inDir(dir));
    std::string listing;
    for (int i = 0; i < count; ++i) {
        const std::string line = std::to_string(1000 + i) + ' ' + std::string(length - 5, 'X');
        QCOMPARE(controller.handleLine(line), std::vector<std::string>{"OK\r\n"});
        listing += line + "\r\n";
    }
    std::vector<std::string> replies = controller.handleLine("LIST");
    QCOMPARE(replies.back(), std::string("OK\r\n"));
    replies.pop_back();
    QCOMPARE(int(replies.size()), bursts);
    std::string joined;
    for (const std::string& burst : replies) {
        QVERIFY(burst.size() <= 512 || burst.size() == std::size_t(length) + 2);
        QVERIFY(burst.ends_with("\r\n"));
        joined += burst;
    }
    QCOMPARE(QByteArray::fromStdString(joined), QByteArray::fromStdString(listing));
}

void TestSim::flashRoundTrip_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("lowerCase");
    QTest::addColumn<int>("reads");
    for (int size : {0, 1, 20, 21, 40, 41})
        QTest::addRow("%d bytes", size) << size << false << (size <= 20 ? 1 : (size + 19) / 20);
    QTest::newRow("lower-case digits") << 43 << true << 3;
}

void TestSim::flashRoundTrip() {
    QFETCH(int, size);
    QFETCH(bool, lowerCase);
    QFETCH(int, reads);
    QTemporaryDir dir;
    sim::Controller controller(inDir(dir));
    const std::vector<std::string> ok{"OK\r\n"};
    std::string content;
    for (int i = 0; i < size; ++i)
        content.push_back(static_cast<char>(i * 37 + 5));

    QCOMPARE(controller.handleLine("OPENWR \"DATA.BIN\""), ok);
    for (int at = 0; at < size; at += 21) {
        std::string digits;
        for (char c : content.substr(at, 21))
            core::appendHexByte(digits, static_cast<unsigned char>(c));
        QString line = QString::fromStdString("WRITE \"" + digits + '"');
        if (lowerCase)
            line = "WRITE " + line.mid(6).toLower();
        QCOMPARE(controller.handleLine(line.toStdString()), ok);
    }
    QCOMPARE(controller.handleLine("CLOSE"), ok);
    QFile file(dir.filePath("DATA.BIN"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray::fromStdString(content));

    QCOMPARE(controller.handleLine("OPENRD \"DATA.BIN\""), ok);
    std::string back;
    for (int n = 1;; ++n) {
        QVERIFY(n <= reads);
        const std::vector<std::string> replies = controller.handleLine("READ 20\"");
        std::string digits;
        const bool last = replies.size() == 1;
        if (last) {
            QVERIFY(replies[0].ends_with("ND\r\n"));
            digits = replies[0].substr(0, replies[0].size() - 4);
        } else {
            QCOMPARE(replies.size(), std::size_t(2));
            QCOMPARE(replies[1], ok[0]);
            QCOMPARE(replies[0].size(), std::size_t(42));
            QVERIFY(replies[0].ends_with("\r\n"));
            digits = replies[0].substr(0, 40);
        }
        for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
            back.push_back(static_cast<char>(core::Decode2(digits.substr(i, 2))));
        if (last) {
            QCOMPARE(n, reads);
            break;
        }
    }
    QCOMPARE(QByteArray::fromStdString(back), QByteArray::fromStdString(content));
}

void TestSim::udpFront_data() {
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("dropEvery");
    QTest::addColumn<QByteArrayList>("expected");
    const QByteArray ver = "VANTOR-SIM BASIC V1.0\r\n";
    QTest::newRow("at once") << 0 << 0 << QByteArrayList{"OK\r\n", "10 A\r\n", "OK\r\n", ver};
    QTest::newRow("delayed") << 30 << 0 << QByteArrayList{"OK\r\n", "10 A\r\n", "OK\r\n", ver};
    QTest::newRow("every 3rd lost") << 0 << 3 << QByteArrayList{"OK\r\n", "10 A\r\n", ver};
}

void TestSim::udpFront() {
    QFETCH(int, delayMs);
    QFETCH(int, dropEvery);
    QFETCH(QByteArrayList, expected);
    QTemporaryDir dir;
    sim::Controller controller(inDir(dir));
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

void TestSim::ptyFront() {
#ifdef Q_OS_UNIX
    QTemporaryDir dir;
    sim::Controller controller(inDir(dir));
    sim::PtyFront front(controller);
    QVERIFY2(front.isOpen(), qPrintable(front.errorString()));
    const int fd =
        ::open(front.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    QByteArray got;
    const auto drain = [&] {
        char buffer[512];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            got.append(buffer, n);
        return got;
    };
    const auto put = [fd](const std::string& bytes) {
        return ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    };

    // A 300-character line comes back in two frames; a lone LF ends a text line too.
    const std::string line = "10 " + std::string(297, 'X');
    QVERIFY(put(line + "\n"));
    QTRY_COMPARE(drain(), QByteArray("OK\r\n"));
    got.clear();

    std::string corrupt = core::rtuFrame("16", "VER\r\n");
    corrupt.back() ^= 1;
    QVERIFY(put(corrupt + core::rtuFrame("16", "LISt\r\n")));
    QTRY_COMPARE(drain().size(), qsizetype(260 + 52 + 9));

    QByteArrayList data;
    for (qsizetype at = 0; at + 5 <= got.size();) {
        const auto n = static_cast<unsigned char>(got[at + 2]);
        const QByteArray frame = got.mid(at, n + 5);
        QCOMPARE(int(static_cast<unsigned char>(frame[0])), 16);
        QCOMPARE(int(frame[1]), int(core::kRtuFunction));
        const auto crc = core::crc16Value(frame.first(n + 3).toStdString());
        QCOMPARE(static_cast<unsigned char>(frame[n + 3]), static_cast<unsigned char>(crc & 0xFF));
        QCOMPARE(static_cast<unsigned char>(frame[n + 4]), static_cast<unsigned char>(crc >> 8));
        data << frame.mid(3, n);
        at += n + 5;
    }
    const QByteArray listing = QByteArray::fromStdString(line + "\r\n");
    QCOMPARE(data, (QByteArrayList{listing.first(255), listing.mid(255), "OK\r\n"}));
#else
    QSKIP("no pseudo-terminals here");
#endif
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
