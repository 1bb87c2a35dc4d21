// The serial link against real pseudo-terminals: opening and closing the port, WriteCOM32
// in its three framings, the poll tick with RTU reassembly, the heartbeat, the console
// and the simulated controller end to end. Most poll tests stop TMRComm and tick by hand,
// so that every chunk lands in a tick of its own.

#include "loopback_peer.h"
#include "pty_pair.h"
#include "window_fixture.h"

#include "app/indicator.h"
#include "sim/controller.h"
#include "sim/pty_front.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
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
const QColor kOpenGreen(0, 255, 0);

// CRC-16/MODBUS bit by bit; initTestCase holds it to the published check value.
quint16 crcModbus(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

QByteArray rtu(const QByteArray& data, quint8 address = 16, quint8 function = 67) {
    QByteArray frame;
    frame.append(char(address)).append(char(function)).append(char(data.size())).append(data);
    const quint16 crc = crcModbus(frame);
    return frame.append(char(crc & 0xFF)).append(char(crc >> 8));
}

QByteArray withBadCrc(QByteArray frame) {
    frame.back() = char(frame.back() ^ 0x01);
    return frame;
}

// "VER" CR LF to address 16, CRC worked out by hand.
const QByteArray kVerFrame("\x10\x43\x05VER\r\nK\xD0", 10);

// Chunks written on the master, one tick each; an empty one is a silent tick.
using Steps = QList<QByteArray>;
Steps silent(int ticks) {
    return Steps(ticks);
}

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
    // Writes on the master, waits until the port holds it all, and runs one tick.
    [[nodiscard]] bool feed(const QByteArray& bytes) {
        MSComm& port = f.window().comm();
        const qsizetype expected = port.InBufferCount() + bytes.size();
        pty.write(bytes);
        const bool came = QTest::qWaitFor([&] { return port.InBufferCount() >= expected; }, 5000);
        tick();
        return came;
    }
    [[nodiscard]] bool run(const Steps& steps) {
        for (const QByteArray& step : steps) {
            if (step.isEmpty())
                tick();
            else if (!feed(step))
                return false;
        }
        return true;
    }
    int send(QByteArray line) { return f.window().serialLink().WriteCOM32(line); }
    bool nothingMore() {
        QTest::qWait(50);
        return pty.readAvailable().isEmpty();
    }

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
    const QColor base = c.Comm_number->palette().color(QPalette::Base);
    const QString box = base == kOpenGreen                         ? QStringLiteral("green")
                        : base == QPalette().color(QPalette::Base) ? QStringLiteral("window")
                                                                   : base.name();
    return QStringLiteral("%1 ComOpen=%2 timer=%3 Frame5=%4 options=%5 Pic=%6 box=%7")
        .arg(c.BTNOpenCom->text())
        .arg(f.s().ComOpen)
        .arg(c.TMRComm->isActive())
        .arg(c.Frame5->isEnabled())
        .arg(enabled)
        .arg(c.Pic->isVisible())
        .arg(box);
}

const QString kClosedRow =
    QStringLiteral("Open ComOpen=0 timer=0 Frame5=0 options=6 Pic=0 box=window");
const QString kOpenRow =
    QStringLiteral("Close ComOpen=1 timer=1 Frame5=1 options=0 Pic=1 box=green");

} // namespace

class TestSerial : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openAndClose();
    void speeds_data();
    void speeds();
    void openWhileUdpBound();
    void badPortName_data();
    void badPortName();
    void comNumberNamesDevice_data();
    void comNumberNamesDevice();
    void portHeldByAnotherWindow();
    void writeCom32_data();
    void writeCom32();
    void sendRestartsRunningTimerOnly();
    void initPort_data();
    void initPort();
    void poll_data();
    void poll();
    void emptyFrameReachesParser();
    void rtuFuzz();
    void saveBeforeDownload();
    void heartbeat();
    void consoleOverPort_data();
    void consoleOverPort();
    void simulatorEndToEnd_data();
    void simulatorEndToEnd();
    void deviceRemovedWhileOpen();
};

void TestSerial::initTestCase() {
    QCOMPARE(crcModbus("123456789"), quint16(0x4B37));
    QCOMPARE(rtu("VER\r\n"), kVerFrame);
    PtyPair pty;
    QVERIFY2(pty.ok(), "no pseudo-terminals here");
}

void TestSerial::openAndClose() {
    PtyPair pty;
    WindowFixture f;
    QCOMPARE(portRow(f), kClosedRow);
    f.c().tbSendData->setText(QStringLiteral("typed"));
    QVERIFY(openOn(f, pty.slavePath()));
    QCOMPARE(portRow(f), kOpenRow);
    QVERIFY(f.window().comm().PortOpen());
    QCOMPARE(f.c().tbSendData->text(), QString());
    QCOMPARE(f.c().Pic->fillColor(), kYellow); // opening leaves the fill alone
    f.c().Pic->setFillColor(kRed);
    f.c().tbSendData->setText(QStringLiteral("typed"));
    f.c().BTNOpenCom->click();
    QCOMPARE(portRow(f), kClosedRow);
    QVERIFY(!f.window().comm().PortOpen());
    QCOMPARE(f.c().tbSendData->text(), QString());
    QCOMPARE(f.c().Pic->fillColor(), kRed);
    QVERIFY(openOn(f, pty.slavePath())); // and again on the same device
    QCOMPARE(portRow(f), kOpenRow);
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
    for (int n = 1; n <= 6; ++n)
        QCOMPARE(f.c().option(n)->isChecked(), n == option);
}

void TestSerial::openWhileUdpBound() {
    LoopbackPeer peer;
    PtyPair pty;
    WindowFixture f;
    QVERIFY(f.connectTo(peer.port()));
    f.c().tbSendData->setText(QStringLiteral("typed"));
    QVERIFY(!openOn(f, pty.slavePath()));
    QCOMPARE(f.c().tbSendData->text(), QString());
    QCOMPARE(portRow(f), kClosedRow);
    QVERIFY(!f.window().comm().PortOpen());
    QVERIFY(f.dialogs().errors.isEmpty());
}

void TestSerial::badPortName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("prefix only") << "COM" << 13;
    QTest::newRow("empty") << "" << 13;
    QTest::newRow("200 characters") << QStringLiteral("COM") + QString(197, QLatin1Char('x')) << 13;
    QTest::newRow("NUL") << QStringLiteral("COM") + QChar(0) + QStringLiteral("3") << 13;
    QTest::newRow("number too big") << "COM99999" << 6;
    QTest::newRow("port 0") << "COM0" << 8002;
    QTest::newRow("no such device") << "/dev/vantor-no-such-port" << 8002;
}

void TestSerial::badPortName() {
    QFETCH(QString, name);
    QFETCH(int, number);
    WindowFixture f;
    QVERIFY(!openOn(f, name));
    QCOMPARE(f.dialogs().errors.size(), 1);
    QCOMPARE(f.dialogs().errors[0].number, number);
    QVERIFY(!f.dialogs().errors[0].description.isEmpty());
    QCOMPARE(portRow(f), kClosedRow);
    QVERIFY(!f.window().comm().PortOpen());
}

void TestSerial::comNumberNamesDevice_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device"); // Qt names a port by its file under /dev
    auto row = [](const char* name, const char* device) { QTest::newRow(name) << name << device; };
    row("COM3", "ttyS2");
    row("xyz3", "ttyS2");
    row("COM12", "ttyS11");
    row("COM 7", "ttyS6");
}

void TestSerial::comNumberNamesDevice() {
    QFETCH(QString, name);
    QFETCH(QString, device);
    WindowFixture f;
    if (openOn(f, name)) // a machine that has the port
        f.c().BTNOpenCom->click();
    QCOMPARE(f.window().comm().portName(), device);
}

void TestSerial::portHeldByAnotherWindow() {
    Rig first;
    WindowFixture second;
    QVERIFY(first.opened);
    QVERIFY(!openOn(second, first.pty.slavePath()));
    QCOMPARE(second.dialogs().errors.size(), 1);
    QCOMPARE(second.dialogs().errors[0].number, 8005);
    QCOMPARE(portRow(second), kClosedRow);
    QCOMPARE(first.send("VER\r\n"), 5); // the first still has the line
    QCOMPARE(wire(first.pty, 5), QByteArray("VER\r\n"));
    first.f.c().BTNOpenCom->click(); // let go, and the other may have it
    QVERIFY(openOn(second, first.pty.slavePath()));
}

void TestSerial::writeCom32_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("bytes"); // on the wire; none when the result is 0
    auto row = [](const char* name, int mode, const char* address, const QByteArray& line,
                  const QByteArray& bytes) {
        QTest::newRow(name) << mode << QString::fromLatin1(address) << line << bytes;
    };
    const QByteArray ver("VER\r\n");
    const QByteArray odd("\0\xFF\r\n", 4);
    const QByteArray line255 = QByteArray(253, 'A') + "\r\n";
    row("plain", Plain, "16", ver, ver);
    row("via USB alone is plain", ViaUsbOnly, "16", ver, ver);
    row("gateway", Gateway, "16", ver, "MDC 16,VER\r\n");
    row("gateway keeps blanks", Gateway, " 7 ", ver, "MDC  7 ,VER\r\n");
    row("gateway, CR LF alone", Gateway, "16", "\r\n", "MDC 16,\r\n");
    row("gateway, 1 character", Gateway, "16", "\n", {});
    row("RTU", Rtu, "16", ver, kVerFrame);
    row("RTU, address abc", Rtu, "abc", ver, rtu(ver, 0));
    row("RTU, 16.6", Rtu, "16.6", ver, rtu(ver, 17));
    row("RTU, 16.5 to even", Rtu, "16.5", ver, rtu(ver, 16));
    row("RTU, 17.5 to even", Rtu, "17.5", ver, rtu(ver, 18));
    row("RTU, address 255", Rtu, "255", ver, rtu(ver, 255));
    row("RTU, address 300", Rtu, "300", ver, {});
    row("RTU, address -1", Rtu, "-1", ver, {});
    row("RTU, NUL and high bytes", Rtu, "1", odd, rtu(odd, 1));
    row("RTU, 255 characters", Rtu, "16", line255, rtu(line255));
    row("RTU, 256 characters", Rtu, "16", "A" + line255, {});
}

void TestSerial::writeCom32() {
    QFETCH(int, mode);
    QFETCH(QString, address);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, bytes);
    Rig r(mode);
    QVERIFY(r.opened);
    r.f.c().Text3->setText(address);
    r.f.s().RtuRxBuffer = "\x10\x43\x09half";
    QByteArray sent = line;
    QCOMPARE(r.f.window().serialLink().WriteCOM32(sent), int(bytes.size()));
    QVERIFY(r.f.s().RtuRxBuffer.empty());
    QCOMPARE(r.f.c().Pic->fillColor(), kGreen); // also when the frame could not be built
    if (!bytes.isEmpty()) {
        QCOMPARE(sent, bytes);
        QCOMPARE(wire(r.pty, bytes.size()), bytes);
    }
    QVERIFY(r.nothingMore());
}

void TestSerial::sendRestartsRunningTimerOnly() {
    Rig r;
    QVERIFY(r.opened);
    QTimer* timer = r.f.c().TMRComm;
    timer->start();
    QTRY_VERIFY(timer->remainingTime() < 8); // late in its interval
    r.send("VER\r\n");
    QVERIFY2(timer->remainingTime() > 12, qPrintable(QString::number(timer->remainingTime())));
    timer->stop();
    QCOMPARE(r.send("VER\r\n"), 5);
    QVERIFY(!timer->isActive());
}

void TestSerial::initPort_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("writes");
    QTest::newRow("via USB") << int(ViaUsbOnly) << true << true;
    QTest::newRow("via USB, never wrapped") << int(Gateway) << true << true;
    QTest::newRow("RTU without via USB") << int(Rtu) << true << false;
    QTest::newRow("nothing ticked") << int(Plain) << true << false;
    QTest::newRow("via USB, port closed again") << int(ViaUsbOnly) << false << false;
}

void TestSerial::initPort() {
    QFETCH(int, mode);
    QFETCH(bool, open);
    QFETCH(bool, writes);
    Rig r(mode);
    QVERIFY(r.opened);
    if (!open)
        r.f.c().BTNOpenCom->click();
    r.f.s().RtuRxBuffer = "kept";
    const QByteArray log = r.f.log();
    r.f.window().serialLink().Command8Click();
    if (writes)
        QCOMPARE(wire(r.pty, 10), QByteArray("UART 2,7\r\n"));
    QVERIFY(r.nothingMore());
    QCOMPARE(r.f.c().Pic->fillColor(), kYellow); // not a send: no green
    QCOMPARE(r.f.s().RtuRxBuffer, std::string("kept"));
    QCOMPARE(r.f.log(), log);
    QCOMPARE(r.f.pane(), QByteArray());
}

void TestSerial::poll_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QByteArray>("pane");
    auto row = [](const char* name, int mode, const Steps& steps, const QByteArray& pane) {
        QTest::newRow(name) << mode << steps << pane;
    };
    const QByteArray ok = rtu("OK\r\n");
    const QByteArray hello = rtu("HELLO\r\n");
    const QByteArray both("HELLO\r\nOK\r\n");
    const QByteArray tooLong("\x10\x43\xC8zz", 5); // claims 200 data bytes
    const QByteArray odd("a\0\xC0\xFF\r\n", 6);
    const QByteArray long255 = QByteArray(253, 'z') + "\r\n";
    Steps bytewise;
    for (const char byte : hello + ok)
        bytewise << QByteArray(1, byte);
    row("plain OK", Plain, {"OK\r\n"}, "OK\r\n");
    row("plain, a line in two chunks", Plain, {"O", "K\r\n"}, "OK\r\n");
    row("plain, a frame is text", Plain, {ok}, ok);
    row("gateway text", Gateway, {"16,OK\r\n"}, "16,OK\r\n");
    row("gateway, a frame is not unpacked", Gateway, {ok}, ok);
    row("RTU frame", Rtu, {ok}, "OK\r\n");
    row("RTU split after the count", Rtu, {ok.left(4), ok.mid(4)}, "OK\r\n");
    row("RTU split inside the CRC", Rtu, {ok.left(8), ok.mid(8)}, "OK\r\n");
    row("RTU one byte per tick", Rtu, bytewise, both);
    row("RTU four silent ticks keep the start", Rtu,
        Steps{hello.left(5)} + silent(4) + Steps{hello.mid(5)}, "HELLO\r\n");
    row("RTU five silent ticks drop the start", Rtu,
        Steps{hello.left(5)} + silent(5) + Steps{hello.mid(5)}, {});
    row("RTU misread rest given up too", Rtu,
        Steps{hello.left(5)} + silent(5) + Steps{hello.mid(5)} + silent(5) + Steps{ok}, "OK\r\n");
    row("RTU two frames in one chunk", Rtu, {hello + ok}, both);
    row("RTU bad CRC between two good", Rtu, {hello + withBadCrc(rtu("BAD\r\n")) + ok}, both);
    row("RTU second frame split", Rtu, {hello + ok.left(3), ok.mid(3)}, both);
    row("RTU address and function not checked", Rtu, {rtu("X\r\n", 99, 3)}, "X\r\n");
    row("RTU NUL and high bytes", Rtu, {rtu(odd)}, odd);
    row("RTU 255 data bytes", Rtu, {rtu(long255)}, long255);
    row("RTU count beyond what came, given up", Rtu, Steps{tooLong} + silent(5) + Steps{ok},
        "OK\r\n");
    row("RTU count beyond what came, still waiting", Rtu, Steps{tooLong} + silent(4) + Steps{ok},
        {});
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
    if (!steps.last().isEmpty())
        QCOMPARE(r.f.c().Pic->fillColor(), kRed);
    QPlainTextEdit* shown = r.f.c().tbReceiveData;
    QCOMPARE(shown->textCursor().position(), shown->document()->characterCount() - 1);
}

void TestSerial::emptyFrameReachesParser() {
    // During a save even an empty text shows, so the parser's call can be seen.
    Rig r(Rtu);
    QVERIFY(r.opened);
    r.f.s().BasFile.setFileName(r.f.path(QStringLiteral("capture.bas")));
    QVERIFY(r.f.s().BasFile.open(QIODevice::WriteOnly));
    r.f.s().ListActive = 1;
    QVERIFY(r.feed(withBadCrc(rtu({}))));
    QCOMPARE(r.f.pane(), QByteArray());
    QVERIFY(r.feed(rtu({})));
    QCOMPARE(r.f.pane(), QByteArray("LOAD DATA = \r\n"));
    QCOMPARE(r.f.s().ListActive, 1);
}

void TestSerial::rtuFuzz() {
    Rig r(Rtu);
    QVERIFY(r.opened);
    QRandomGenerator random(0x5EED);
    auto noise = [&](int size) {
        QByteArray bytes(size, '\0');
        for (char& byte : bytes)
            byte = char(random.bounded(256));
        return bytes;
    };
    Steps steps;
    for (int i = 0; i < 200; ++i) {
        switch (random.bounded(4)) {
        case 0:
            steps << QByteArray(); // a silent tick
            break;
        case 1: { // a frame, whole or cut short
            const QByteArray frame = rtu(noise(random.bounded(40)), quint8(random.bounded(256)));
            steps << frame.left(random.bounded(1, int(frame.size()) + 1));
            break;
        }
        default:
            steps << noise(random.bounded(1, 33));
        }
    }
    const QByteArray log = r.f.log();
    QVERIFY(r.run(steps));
    QCOMPARE(r.f.log(), log + steps.join());
    r.f.c().Command2->click();
    QVERIFY(r.run(silent(5) + Steps{rtu("ALIVE\r\n")}));
    QCOMPARE(r.f.pane(), QByteArray("ALIVE\r\n"));
}

void TestSerial::saveBeforeDownload() {
    Rig r;
    QVERIFY(r.opened);
    SharedState& s = r.f.s();
    s.BasFile.setFileName(r.f.path(QStringLiteral("capture.bas")));
    QVERIFY(s.BasFile.open(QIODevice::WriteOnly));
    s.ProgLines[1] = "10 A";
    s.ProgLines[2] = "20 B";
    s.ProgCount = 3;
    s.ProgPos = 1;
    s.ListActive = 1;
    s.DownloadActive = 1;
    QVERIFY(r.feed("10 PRINT 1\r\n"));
    QCOMPARE(r.f.pane(), QByteArray("LOAD DATA = 10 PRINT 1\r\n\r\n"));
    QVERIFY(r.feed("OK\r\n"));
    QCOMPARE(r.f.pane(), QByteArray("LOAD BASIC PROGRAM COMPLETED\r\n"));
    QCOMPARE(s.ListActive, 0);
    QCOMPARE(s.DownloadActive, 0);
    QVERIFY(!s.BasFile.isOpen());
    QCOMPARE(r.f.readFile(QStringLiteral("capture.bas")), QByteArray("10 PRINT 1\r\n"));
    QVERIFY(r.nothingMore()); // the download did not send its next line
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
    QCOMPARE(f.pane(), QByteArray());
}

void TestSerial::consoleOverPort_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << int(Plain) << QByteArray("VER\r\n");
    QTest::newRow("gateway") << int(Gateway) << QByteArray("MDC 16,VER\r\n");
    QTest::newRow("RTU") << int(Rtu) << kVerFrame;
}

void TestSerial::consoleOverPort() {
    QFETCH(int, mode);
    QFETCH(QByteArray, bytes);
    Rig r(mode);
    QVERIFY(r.opened);
    const QByteArray log = r.f.log();
    r.f.type(QStringLiteral("VER"));
    QCOMPARE(wire(r.pty, bytes.size()), bytes);
    QVERIFY(r.nothingMore());
    QCOMPARE(r.f.s().SendResult, int(bytes.size()));
    QCOMPARE(r.f.log(), log + "VER\r\n"); // the line as typed, whatever the framing
    QCOMPARE(r.f.pane(), QByteArray("\r\nVER\r\n"));
    QCOMPARE(r.f.c().tbSendData->text(), QString());
    QCOMPARE(r.f.c().Pic->fillColor(), kGreen);
}

void TestSerial::simulatorEndToEnd_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("logged");
    const QByteArray version("VANTOR-SIM BASIC V1.0\r\n");
    QTest::newRow("plain") << int(Plain) << version;
    QTest::newRow("gateway") << int(Gateway) << version;
    QTest::newRow("RTU") << int(Rtu) << rtu(version);
}

void TestSerial::simulatorEndToEnd() {
    QFETCH(int, mode);
    QFETCH(QByteArray, logged);
    sim::Controller controller;
    sim::PtyFront front(controller);
    QVERIFY2(front.isOpen(), qPrintable(front.errorString()));
    WindowFixture f;
    QVERIFY(openOn(f, front.slavePath())); // the real 20 ms poll
    setMode(f, mode);
    f.type(QStringLiteral("VER"));
    QTRY_COMPARE(f.pane(), QByteArray("\r\nVER\r\nVANTOR-SIM BASIC V1.0\r\n"));
    QVERIFY(f.log().endsWith("VER\r\n" + logged));
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
    QVERIFY(!f.window().comm().PortOpen());
    // Sending on the closed port writes nothing and still forgets an unfinished reply.
    f.s().RtuRxBuffer = "half";
    f.c().Pic->setFillColor(kWhite);
    QByteArray line("VER\r\n");
    QCOMPARE(f.window().serialLink().WriteCOM32(line), 0);
    QVERIFY(f.s().RtuRxBuffer.empty());
    QCOMPARE(f.c().Pic->fillColor(), kWhite);
    PtyPair again;
    QVERIFY(openOn(f, again.slavePath()));
    QCOMPARE(portRow(f), kOpenRow);
    QCOMPARE(f.window().serialLink().WriteCOM32(line), 5);
    QCOMPARE(wire(again, 5), QByteArray("VER\r\n"));
    QVERIFY(f.dialogs().errors.isEmpty());
}

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
