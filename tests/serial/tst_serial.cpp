// The serial link against real pseudo-terminals: opening and closing the port, WriteCOM32
// in its framings, the poll tick with RTU reassembly, the heartbeat, and the simulated
// controller end to end. Most poll tests stop TMRComm and tick by hand, so that every
// chunk lands in a tick of its own. The frames themselves are the core suite's.

#include "loopback_peer.h"
#include "pty_pair.h"
#include "window_fixture.h"

#include "app/indicator.h"
#include "core/framing.h"
#include "sim/controller.h"
#include "sim/pty_front.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace vantor;
using namespace vantor::test;

namespace {

const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);
const QColor kGrey(128, 128, 128);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 192, 0);

QByteArray rtu(const QByteArray& data, const char* address = "16") {
    return QByteArray::fromStdString(core::rtuFrame(address, data.toStdString()));
}

// Chunks written on the master, one tick each; an empty one is a silent tick.
using Steps = QList<QByteArray>;

enum Mode { Plain, Gateway, Rtu, ViaUsbOnly };

void setMode(WindowFixture& f, int mode) {
    f.c().Check1->setChecked(mode == Gateway || mode == Rtu);
    f.c().Check3->setChecked(mode == Gateway || mode == ViaUsbOnly);
}

bool openOn(WindowFixture& f, const QString& path) {
    f.c().Comm_number->setText(path);
    f.c().BTNOpenCom->click();
    return f.s().ComOpen == 1;
}

// What the window wrote on a pty, once `count` bytes have come.
QByteArray wire(PtyPair& pty, qsizetype count) {
    QByteArray got;
    auto enough = [&] { return (got += pty.readAvailable()).size() >= count; };
    (void)QTest::qWaitFor(enough, 5000);
    return got;
}

// A window with its port open on a fresh pty; the poll is stopped, so that the test
// runs each tick itself.
struct Rig {
    explicit Rig(int mode = Plain) {
        opened = openOn(f, pty.slavePath());
        f.c().TMRComm->stop();
        setMode(f, mode);
    }
    void tick() { f.window().serialPoll().tick(); }
    // Writes each step on the master, waits until the port holds it all, and ticks.
    [[nodiscard]] bool run(const Steps& steps) {
        MSComm& port = f.window().comm();
        for (const QByteArray& step : steps) {
            const qsizetype expected = port.InBufferCount() + step.size();
            pty.write(step);
            if (!QTest::qWaitFor([&] { return port.InBufferCount() >= expected; }, 5000))
                return false;
            tick();
        }
        return true;
    }
    int send(QByteArray line) { return f.window().serialLink().WriteCOM32(line); }

    PtyPair pty;
    WindowFixture f;
    bool opened = false;
};

// The controls of the port's state table, in one line to compare.
QString portRow(WindowFixture& f) {
    Controls& c = f.c();
    int enabled = 0;
    for (int n = 1; n <= 6; ++n)
        enabled += c.option(n)->isEnabled();
    return QStringLiteral("%1 ComOpen=%2 timer=%3 Frame5=%4 options=%5 Pic=%6")
        .arg(c.BTNOpenCom->text())
        .arg(f.s().ComOpen)
        .arg(c.TMRComm->isActive())
        .arg(c.Frame5->isEnabled())
        .arg(enabled)
        .arg(c.Pic->isVisible());
}

const QString kClosedRow = QStringLiteral("Open ComOpen=0 timer=0 Frame5=0 options=6 Pic=0");
const QString kOpenRow = QStringLiteral("Close ComOpen=1 timer=1 Frame5=1 options=0 Pic=1");

} // namespace

class TestSerial : public QObject {
    Q_OBJECT
private slots:
    void openAndClose();
    void speeds_data();
    void speeds();
    void notOpened_data();
    void notOpened();
    void writeCom32_data();
    void writeCom32();
    void initPort();
    void poll_data();
    void poll();
    void saveBeforeDownload();
    void heartbeat();
    void simulatorEndToEnd_data();
    void simulatorEndToEnd();
    void deviceRemovedWhileOpen();
};

void TestSerial::openAndClose() {
    PtyPair pty;
    WindowFixture f;
    QCOMPARE(portRow(f), kClosedRow);
    f.c().tbSendData->setText(QStringLiteral("typed"));
    QVERIFY(openOn(f, pty.slavePath()));
    QCOMPARE(portRow(f), kOpenRow);
    QCOMPARE(f.c().tbSendData->text(), QString());
    QCOMPARE(f.c().Pic->fillColor(), kYellow); // opening leaves the fill alone
    WindowFixture second; // the device is taken
    QVERIFY(!openOn(second, pty.slavePath()));
    QCOMPARE(second.dialogs().errors.value(0).number, 8005);
    f.c().BTNOpenCom->click();
    QCOMPARE(portRow(f), kClosedRow);
    QVERIFY(!f.window().comm().PortOpen());
    QVERIFY(openOn(second, pty.slavePath())); // let go, and another may have it
    QVERIFY(f.dialogs().errors.isEmpty());
}

void TestSerial::speeds_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("settings");
    const char* const speeds[] = {"1200", "2400", "4800", "9600", "19200", "115200"};
    for (int n = 1; n <= 6; ++n)
        QTest::addRow("Option%d", n) << n << QStringLiteral("%1,n,8,1").arg(speeds[n - 1]);
}

void TestSerial::speeds() {
    QFETCH(int, option);
    QFETCH(QString, settings);
    PtyPair pty;
    WindowFixture f;
    f.c().option(option)->setChecked(true);
    QVERIFY(openOn(f, pty.slavePath()));
    QCOMPARE(f.window().comm().settings(), settings);
}

void TestSerial::notOpened_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number"); // 0: refused without a word, the UDP link is up
    QTest::newRow("prefix only") << "COM" << 13;
    QTest::newRow("number too big") << "COM99999" << 6;
    QTest::newRow("port 0") << "COM0" << 8002;
    QTest::newRow("no such device") << "/dev/vantor-no-such-port" << 8002;
    QTest::newRow("while UDP is bound") << "" << 0;
}

void TestSerial::notOpened() {
    QFETCH(QString, name);
    QFETCH(int, number);
    PtyPair pty;
    LoopbackPeer peer;
    WindowFixture f;
    if (number == 0)
        QVERIFY(f.connectTo(peer.port()));
    QVERIFY(!openOn(f, number == 0 ? pty.slavePath() : name));
    QCOMPARE(f.dialogs().errors.size(), number == 0 ? 0 : 1);
    if (number != 0)
        QCOMPARE(f.dialogs().errors[0].number, number);
    QCOMPARE(portRow(f), kClosedRow);
    QVERIFY(!f.window().comm().PortOpen());
}

void TestSerial::writeCom32_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("bytes"); // on the wire; none when the result is 0
    QTest::newRow("plain") << int(Plain) << "16" << QByteArray("VER\r\n");
    QTest::newRow("via USB alone is plain") << int(ViaUsbOnly) << "16" << QByteArray("VER\r\n");
    QTest::newRow("gateway") << int(Gateway) << " 7 " << QByteArray("MDC  7 ,VER\r\n");
    QTest::newRow("RTU") << int(Rtu) << "16.6" << rtu("VER\r\n", "17");
    QTest::newRow("RTU, address 300") << int(Rtu) << "300" << QByteArray();
}

void TestSerial::writeCom32() {
    QFETCH(int, mode);
    QFETCH(QString, address);
    QFETCH(QByteArray, bytes);
    Rig r(mode);
    QVERIFY(r.opened);
    r.f.c().Text3->setText(address);
    r.f.s().RtuRxBuffer = "\x10\x43\x09half";
    QCOMPARE(r.send("VER\r\n"), int(bytes.size()));
    QVERIFY(r.f.s().RtuRxBuffer.empty()); // a send forgets an unfinished reply
    QCOMPARE(r.f.c().Pic->fillColor(), kGreen); // also when the frame could not be built
    setMode(r.f, Plain);
    r.send("END\r\n"); // a sentinel after whatever the line became
    QCOMPARE(wire(r.pty, bytes.size() + 5), bytes + "END\r\n");
}

// "Init Port" writes the gateway's set-up only with "via USB" ticked, never wrapped.
void TestSerial::initPort() {
    Rig r(Rtu);
    QVERIFY(r.opened);
    const QByteArray log = r.f.log();
    r.f.window().serialLink().Command8Click();
    setMode(r.f, Gateway);
    r.f.window().serialLink().Command8Click();
    QCOMPARE(wire(r.pty, 10), QByteArray("UART 2,7\r\n"));
    QCOMPARE(r.f.c().Pic->fillColor(), kYellow); // not a send: no green
    QCOMPARE(r.f.log(), log);
}

void TestSerial::poll_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QByteArray>("pane");
    const QByteArray ok = rtu("OK\r\n");
    const QByteArray hello = rtu("HELLO\r\n");
    const QByteArray both("HELLO\r\nOK\r\n");
    QByteArray bad = rtu("BAD\r\n");
    bad.back() = char(bad.back() ^ 0x01);
    const Steps four(4), five(5);
    QTest::newRow("plain OK") << int(Plain) << Steps{"O", "K\r\n"} << QByteArray("OK\r\n");
    QTest::newRow("gateway, a frame is not unpacked") << int(Gateway) << Steps{ok} << ok;
    QTest::newRow("RTU split inside the CRC")
        << int(Rtu) << Steps{ok.left(8), ok.mid(8)} << QByteArray("OK\r\n");
    QTest::newRow("RTU bad CRC between two good") << int(Rtu) << Steps{hello + bad + ok} << both;
    QTest::newRow("RTU four silent ticks keep the start")
        << int(Rtu) << Steps{hello.left(5)} + four + Steps{hello.mid(5)} << QByteArray("HELLO\r\n");
    QTest::newRow("RTU five silent ticks drop the start, the rest is given up too")
        << int(Rtu) << Steps{hello.left(5)} + five + Steps{hello.mid(5)} + five + Steps{ok}
        << QByteArray("OK\r\n");
}

void TestSerial::poll() {
    QFETCH(int, mode);
    QFETCH(Steps, steps);
    QFETCH(QByteArray, pane);
    Rig r(mode);
    QVERIFY(r.opened);
    const QByteArray log = r.f.log();
    QVERIFY(r.run(steps));
    QCOMPARE(r.f.pane(), pane);
    QCOMPARE(r.f.log(), log + steps.join()); // every chunk, as it came
    QCOMPARE(r.f.c().Pic->fillColor(), kRed);
    QPlainTextEdit* shown = r.f.c().tbReceiveData;
    QCOMPARE(shown->textCursor().position(), shown->document()->characterCount() - 1);
}

// A save takes the answers before a download that waits; its end ends both.
void TestSerial::saveBeforeDownload() {
    Rig r;
    QVERIFY(r.opened);
    r.f.writeFile(QStringLiteral("p.bas"), "10 A\r\n20 B\r\n");
    r.f.dialogs().fileNames.enqueue(r.f.path(QStringLiteral("p.bas")));
    r.f.c().Command10->click();
    r.f.dialogs().fileNames.enqueue(r.f.path(QStringLiteral("capture.bas")));
    r.f.c().Command11->click();
    QCOMPARE(wire(r.pty, 12), QByteArray("10 A\r\nLISt\r\n"));
    QVERIFY(r.run({"10 PRINT 1\r\n", "OK\r\n"}));
    QCOMPARE(r.f.pane(), QByteArray("LOAD BASIC PROGRAM COMPLETED\r\n"));
    QCOMPARE(r.f.s().ListActive + r.f.s().DownloadActive, 0);
    QCOMPARE(r.f.readFile(QStringLiteral("capture.bas")), QByteArray("10 PRINT 1\r\n"));
    r.send("VER\r\n"); // a sentinel: the download did not send its next line
    QCOMPARE(wire(r.pty, 5), QByteArray("VER\r\n"));
}

void TestSerial::heartbeat() {
    PtyPair pty;
    WindowFixture f;
    QVERIFY(openOn(f, pty.slavePath())); // the real 20 ms poll
    const QByteArray log = f.log();
    QList<QColor> seen{f.c().Pic->fillColor()};
    auto changes = [&] {
        if (f.c().Pic->fillColor() != seen.last())
            seen << f.c().Pic->fillColor();
        return seen.size() - 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(changes() >= 4, 1500); // one change each 200 ms
    QCOMPARE(seen.mid(0, 5), (QList<QColor>{kYellow, kWhite, kGrey, kWhite, kGrey}));
    QCOMPARE(f.log(), log);
}

void TestSerial::simulatorEndToEnd_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("logged");
    const QByteArray version("VANTOR-SIM BASIC V1.0\r\n");
    QTest::newRow("plain") << int(Plain) << version;
    QTest::newRow("gateway") << int(Gateway) << version;
    QTest::newRow("RTU") << int(Rtu) << rtu(version);
}

// The console over the port, the real poll, and the board's answer in the pane.
void TestSerial::simulatorEndToEnd() {
    QFETCH(int, mode);
    QFETCH(QByteArray, logged);
    sim::Controller controller;
    sim::PtyFront front(controller);
    QVERIFY2(front.isOpen(), qPrintable(front.errorString()));
    WindowFixture f;
    QVERIFY(openOn(f, front.slavePath()));
    setMode(f, mode);
    f.type(QStringLiteral("VER"));
    QCOMPARE(f.c().Pic->fillColor(), kGreen);
    QTRY_COMPARE(f.pane(), QByteArray("\r\nVER\r\nVANTOR-SIM BASIC V1.0\r\n"));
    QVERIFY(f.log().endsWith("VER\r\n" + logged)); // the line as typed, whatever the framing
}

void TestSerial::deviceRemovedWhileOpen() {
    WindowFixture f;
    {
        PtyPair pty;
        QVERIFY(openOn(f, pty.slavePath()));
        pty.close();
        QTRY_COMPARE(f.s().ComOpen, 0);
    }
    QCOMPARE(portRow(f), kClosedRow);
    f.c().Pic->setFillColor(kWhite);
    QByteArray line("VER\r\n");
    QCOMPARE(f.window().serialLink().WriteCOM32(line), 0);
    QCOMPARE(f.c().Pic->fillColor(), kWhite);
    PtyPair again;
    QVERIFY(openOn(f, again.slavePath()));
    QCOMPARE(f.window().serialLink().WriteCOM32(line), 5);
    QCOMPARE(wire(again, 5), QByteArray("VER\r\n"));
    QVERIFY(f.dialogs().errors.isEmpty());
}

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
