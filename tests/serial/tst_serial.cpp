// The serial link against real pseudo-terminals: opening and closing the port, WriteCOM32
// in its framings, the poll tick with RTU reassembly, and the simulated controller end
// to end. Most poll tests stop TMRComm and tick by hand, so that every
// chunk lands in a tick of its own. The frames themselves are the core suite's.

#include "e2e.h"

#include "core/framing.h"
#include "links/port_list.h"
#include "sim/controller.h"
#include "sim/pty_front.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QRegularExpression>
#include <QToolButton>

namespace {

const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);
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
    void openAndClose() {
        PtyPair pty;
        WindowFixture f;
        QCOMPARE(portRow(f), kClosedRow);
        f.c().tbSendData->setText(QStringLiteral("typed"));
        f.c().Option1->setChecked(true);
        QVERIFY(openOn(f, pty.slavePath()));
        QCOMPARE(f.window().comm().settings(), QStringLiteral("1200,n,8,1"));
        QCOMPARE(portRow(f), kOpenRow);
        QCOMPARE(f.c().tbSendData->text(), QString());
        QCOMPARE(f.c().Pic->fillColor(), kYellow); // opening leaves the fill alone
        WindowFixture second;                      // the device is taken
        QVERIFY(!openOn(second, pty.slavePath()));
        QCOMPARE(second.dialogs().errors.value(0).number, 8005);
        f.c().BTNOpenCom->click();
        QCOMPARE(portRow(f), kClosedRow);
        QVERIFY(!f.window().comm().PortOpen());
        QVERIFY(openOn(second, pty.slavePath())); // let go, and another may have it
        QVERIFY(f.dialogs().errors.isEmpty());
        // The device pulled out: the port closes by itself, once, without a word.
        pty.close();
        QTRY_COMPARE(portRow(second), kClosedRow);
        second.c().Pic->setFillColor(kWhite);
        QByteArray line("VER\r\n");
        QCOMPARE(second.window().serialLink().WriteCOM32(line), 0);
        QCOMPARE(second.c().Pic->fillColor(), kWhite);
        QCOMPARE(second.dialogs().errors.size(), 1);
    }

    // The port box offers what the system lists in a list as wide as its longest entry;
    // picking one puts its name in the box, and what is typed by hand is never changed.
    // Without the focus a long name shows its end, and the whole of it is the tooltip and
    // the description a screen reader gives.
    void portList() {
        const QString byId =
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        WindowOptions options;
        options.portLister = [byId] {
            return QList<PortEntry>{{byId, "FT232R USB UART", "Future Technology Devices"},
                                    {"/dev/ttyACM0", "", ""}};
        };
        WindowFixture f(options);
        PortBox* box = f.c().Comm_number;
        f.window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window()));
        box->setFocus();
        box->clear();
        QTest::keyClicks(box, QStringLiteral("/dev/tty"));
        auto* list = f.window().findChild<PortList*>(QStringLiteral("portList"));
        box->findChild<QAction*>(QStringLiteral("portListOpen"))->trigger();
        QCOMPARE(list->model().item(0)->text(),
                 byId + QStringLiteral("  FT232R USB UART (Future Technology Devices)"));
        QCOMPARE(list->model().item(1)->text(), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(box->text(), QStringLiteral("/dev/tty"));
        QAbstractItemView* popup = list->completer().popup();
        QVERIFY(popup->isVisible());
        QVERIFY(popup->viewport()->width() >=
                popup->sizeHintForIndex(popup->model()->index(0, 0)).width());
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        QCOMPARE(box->text(), byId);
        QCOMPARE(box->shownText(), byId); // with the focus it scrolls as usual

        f.c().tbSendData->setFocus();
        const QString shown = box->shownText();
        QVERIFY2(shown.startsWith(QChar(0x2026)) && shown.endsWith(QStringLiteral("port0")),
                 qPrintable(shown));
        QVERIFY(box->fontMetrics().horizontalAdvance(shown) <= box->textRect().width());
        QVERIFY(box->arrow()->geometry().left() > box->textRect().right());
        QCOMPARE(box->toolTip(), byId);
        QCOMPARE(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Description), byId);
        box->setText(QStringLiteral("COM3"));
        QCOMPARE(box->shownText(), QStringLiteral("COM3"));
    }

    void notOpened_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");
        QTest::newRow("prefix only") << "COM" << 13;
        QTest::newRow("no such device") << "/dev/vantor-no-such-port" << 8002;
    }

    void notOpened() {
        QFETCH(QString, name);
        QFETCH(int, number);
        WindowFixture f;
        QVERIFY(!openOn(f, name));
        QCOMPARE(f.dialogs().errors.size(), 1);
        QCOMPARE(f.dialogs().errors[0].number, number);
        QCOMPARE(portRow(f), kClosedRow);
    }

    void writeCom32_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("bytes"); // on the wire; none when the result is 0
        QTest::newRow("gateway") << int(Gateway) << " 7 " << QByteArray("MDC  7 ,VER\r\n");
        QTest::newRow("RTU, address 300") << int(Rtu) << "300" << QByteArray();
    }

    void writeCom32() {
        QFETCH(int, mode);
        QFETCH(QString, address);
        QFETCH(QByteArray, bytes);
        Rig r(mode);
        QVERIFY(r.opened);
        r.f.c().Text3->setText(address);
        r.f.s().RtuRxBuffer = "\x10\x43\x09half";
        QCOMPARE(r.send("VER\r\n"), int(bytes.size()));
        QVERIFY(r.f.s().RtuRxBuffer.empty());       // a send forgets an unfinished reply
        QCOMPARE(r.f.c().Pic->fillColor(), kGreen); // also when the frame could not be built
        setMode(r.f, Plain);
        r.send("END\r\n"); // a sentinel after whatever the line became
        QCOMPARE(wire(r.pty, bytes.size() + 5), bytes + "END\r\n");
    }

    void poll_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QByteArray>("pane");
        const QByteArray ok = rtu("OK\r\n");
        const QByteArray hello = rtu("HELLO\r\n");
        const QByteArray both("HELLO\r\nOK\r\n");
        QByteArray bad = rtu("BAD\r\n");
        bad.back() = char(bad.back() ^ 0x01);
        const Steps four(4), five(5);
        QTest::newRow("gateway, a frame is not unpacked") << int(Gateway) << Steps{ok} << ok;
        QTest::newRow("RTU bad CRC between two good")
            << int(Rtu) << Steps{hello + bad + ok} << both;
        QTest::newRow("RTU four silent ticks keep the start")
            << int(Rtu) << Steps{hello.left(5)} + four + Steps{hello.mid(5)}
            << QByteArray("HELLO\r\n");
        QTest::newRow("RTU five silent ticks drop the start, the rest is given up too")
            << int(Rtu) << Steps{hello.left(5)} + five + Steps{hello.mid(5)} + five + Steps{ok}
            << QByteArray("OK\r\n");
    }

    void poll() {
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
        const ReceiveView* shown = r.f.c().tbReceiveData;
        QCOMPARE(shown->caretPosition(), shown->characterCount());
    }

    // A save takes the answers before a download that waits; its end ends both. Neither
    // asks anything of the UDP socket, which is not bound.
    void saveBeforeDownload() {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QUdpSocket")));
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

    void simulatorEndToEnd_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("logged");
        const QByteArray version("VANTOR-SIM BASIC V1.0\r\n");
        QTest::newRow("plain") << int(Plain) << "16" << version;
        QTest::newRow("gateway") << int(Gateway) << "16" << version;
        QTest::newRow("RTU") << int(Rtu) << "16" << rtu(version);
        QTest::newRow("RTU, address A") << int(Rtu) << "65" << rtu(version, "65");
    }

    // The console over the port, the real poll, and the board's answer in the pane.
    void simulatorEndToEnd() {
        QFETCH(int, mode);
        QFETCH(QString, address);
        QFETCH(QByteArray, logged);
        sim::Controller controller;
        sim::PtyFront front(controller);
        QVERIFY2(front.isOpen(), qPrintable(front.errorString()));
        WindowFixture f;
        QVERIFY(openOn(f, front.slavePath()));
        setMode(f, mode);
        f.c().Text3->setText(address);
        f.type(QStringLiteral("VER"));
        QCOMPARE(f.c().Pic->fillColor(), kGreen);
        QTRY_COMPARE(f.pane(), QByteArray("\r\nVER\r\nVANTOR-SIM BASIC V1.0\r\n"));
        QVERIFY(f.log().endsWith("VER\r\n" + logged)); // the line as typed, whatever the framing
    }
};

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
