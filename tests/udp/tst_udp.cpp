// The UDP link end to end through real sockets on 127.0.0.1: binding, UDP_Send, the reply
// dispatcher and its routing, and the console line.

#include "app/progress_bar.h"
#include "loopback_peer.h"
#include "pty_pair.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace vantor;
using namespace vantor::test;

class TestUdp : public QObject {
    Q_OBJECT
private slots:
    void gatewayWrapping();
    void bindFails();
    void hostNameResolves();
    void lookupOvertakenByComPort();
    void linkLooks();
    void idleDisplay_data();
    void idleDisplay();
    void loginEndsSaveOrDownload_data();
    void loginEndsSaveOrDownload();
    void dispatchOrder();
    void foreignSenderIgnored();
    void heldBackWhileDialogOpen();
    void burstInOrder();
    void console();
};

// Check2 wraps every line for the gateway; "UART 2,7" is never wrapped and never logged.
void TestUdp::gatewayWrapping() {
    WindowFixture f;
    LoopbackPeer peer;
    QCOMPARE(f.window().udpLink().UDP_Send("VER\r\n"), 0); // not bound yet
    f.c().Command7->click();
    QVERIFY(f.connectTo(peer.port()));
    f.c().Check2->setChecked(true);
    f.c().Text4->setText(QStringLiteral(" 7 "));
    f.type(QStringLiteral("VER"));
    QCOMPARE(f.window().udpLink().UDP_Send("\n"), 0); // too short to wrap
    f.c().Command7->click();
    QTRY_COMPARE(peer.received, (QList<QByteArray>{"MDC  7 ,VER\r\n", "UART 2,7\r\n"}));
    QVERIFY(!f.log().contains("UART") && f.log().endsWith("VER\r\n"));
}

// A remote port that is no number, a local port already taken, a name that does not
// resolve: the socket stays unbound and nothing is said.
void TestUdp::bindFails() {
    WindowFixture f;
    QSignalSpy finished(&f.window().udpLink(), &UdpLink::connectFinished);
    f.c().ComboRemoteIP->setEditText(QStringLiteral("127.0.0.1"));
    f.c().tbRemotePort->setText(QStringLiteral("abc"));
    f.c().cbBind->click();
    QCOMPARE(f.window().winsock().state(), 0);
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress::AnyIPv4, 0));
    f.c().tbRemotePort->setText(QStringLiteral("111"));
    f.c().tbLocalPort->setText(QString::number(taken.localPort()));
    f.c().cbBind->click();
    QCOMPARE(f.window().winsock().state(), 0);
    f.c().ComboRemoteIP->setEditText(QStringLiteral("no-such-host.invalid"));
    f.c().tbLocalPort->setText(QStringLiteral("0"));
    f.c().cbBind->click();
    QVERIFY(finished.wait(20000));
    QCOMPARE(f.window().winsock().state(), 0);
    QVERIFY(f.c().cbBind->isEnabled() && f.c().NoConnect->isVisible());
    QVERIFY(!f.c().Frame2->isEnabled());
    QVERIFY(f.dialogs().errors.isEmpty());
}

void TestUdp::hostNameResolves() {
    WindowFixture f;
    LoopbackPeer peer;
    QSignalSpy finished(&f.window().udpLink(), &UdpLink::connectFinished);
    f.window().udpLink().setArpCommand(QStringLiteral("/nonexistent/arp"), {});
    f.c().ComboRemoteIP->setEditText(QStringLiteral("localhost"));
    f.c().tbRemotePort->setText(QString::number(peer.port()));
    f.c().tbLocalPort->setText(QStringLiteral("0"));
    f.c().cbBind->click();
    QVERIFY(finished.wait(20000));
    QVERIFY(f.window().udpLink().isOpen());
    QVERIFY(!f.c().Text1->text().isEmpty());
    f.type(QStringLiteral("VER"));
    QTRY_COMPARE(peer.received.size(), 1);
}

void TestUdp::lookupOvertakenByComPort() {
    WindowFixture f;
    PtyPair pty;
    QVERIFY(pty.ok());
    QSignalSpy finished(&f.window().udpLink(), &UdpLink::connectFinished);
    f.c().ComboRemoteIP->setEditText(QStringLiteral("localhost"));
    f.c().cbBind->click();
    // While the name resolves nothing is bound: Enter sends and logs nothing.
    const QByteArray log = f.log();
    f.type(QStringLiteral("VER"));
    QCOMPARE(f.c().tbSendData->text(), QStringLiteral("VER"));
    QCOMPARE(f.log(), log);
    // The COM port opened meanwhile wins: the links are never up together.
    f.c().Comm_number->setText(pty.slavePath());
    f.c().BTNOpenCom->click();
    QVERIFY(f.window().comm().PortOpen());
    QVERIFY(finished.wait(20000));
    QCOMPARE(f.window().winsock().state(), 0);
}

// The frames follow the link and the gateway box, also across a reconnect.
void TestUdp::linkLooks() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    QVERIFY(f.c().Frame2->isEnabled() && f.c().Frame6->isEnabled());
    QVERIFY(f.c().YesConnect->isVisible() && !f.c().NoConnect->isVisible());
    QTest::mouseClick(f.c().Check2, Qt::LeftButton, {}, QPoint(4, 6));
    QVERIFY(!f.c().Frame2->isEnabled());
    f.c().Command1->click();
    QVERIFY(f.c().cbBind->isEnabled() && !f.c().Frame6->isEnabled());
    QVERIFY(f.c().NoConnect->isVisible());
    QVERIFY(f.connectTo(peer.port()));
    QVERIFY(f.c().Check2->isChecked() && f.c().Frame2->isEnabled());
}

void TestUdp::idleDisplay_data() {
    QTest::addColumn<QList<QByteArray>>("datagrams");
    QTest::addColumn<QByteArray>("pane");
    QTest::newRow("two lines") << QList<QByteArray>{"first\r\n", "second\r\n"}
                               << QByteArray("first\r\nsecond\r\n");
    QTest::newRow("no line end continues")
        << QList<QByteArray>{"12", "34\r\n"} << QByteArray("1234\r\n");
    QTest::newRow("NUL and high bytes")
        << QList<QByteArray>{QByteArray("a\0b\xC0\xFF", 5)} << QByteArray("a\0b\xC0\xFF", 5);
    QTest::newRow("65000 bytes") << QList<QByteArray>{QByteArray(65000, 'x')}
                                 << QByteArray(65000, 'x');
    QTest::newRow("empty datagram") << QList<QByteArray>{QByteArray(), "z"} << QByteArray("z");
    QTest::newRow("Login is text when idle")
        << QList<QByteArray>{"Login: ", "login"} << QByteArray("Login: login");
}

void TestUdp::idleDisplay() {
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(QByteArray, pane);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.type(QStringLiteral("HELLO"));
    QTRY_COMPARE(peer.received.size(), 1);
    f.c().Command2->click();
    const QByteArray logBefore = f.log();
    for (const QByteArray& d : datagrams)
        peer.reply(d);
    QTRY_COMPARE(f.log(), logBefore + datagrams.join());
    QTRY_COMPARE(f.pane(), pane);
    QCOMPARE(f.c().tbReceiveData->textCursor().position(),
             f.c().tbReceiveData->document()->characterCount() - 1);
}

void TestUdp::loginEndsSaveOrDownload_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("save") << true;
    QTest::newRow("download") << false;
}

void TestUdp::loginEndsSaveOrDownload() {
    QFETCH(bool, save);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.writeFile(QStringLiteral("p.bas"), "10 PRINT 1\r\n20 PRINT 2\r\n");
    f.dialogs().fileNames.enqueue(f.path(save ? QStringLiteral("out.bas") : QStringLiteral("p.bas")));
    (save ? f.c().Command11 : f.c().Command10)->click();
    QTRY_COMPARE(peer.received.size(), 1);
    peer.reply("Enter Password: ");
    QTRY_VERIFY(f.pane().endsWith("ACCESS DENIED\r\n"));
    QCOMPARE(f.s().ListActive + f.s().DownloadActive, 0);
    QVERIFY(!f.s().BasFile.isOpen());
    QVERIFY(!f.pane().contains("Password"));
    QVERIFY(f.log().endsWith("Enter Password: "));
    QCOMPARE(f.readFile(QStringLiteral("out.bas")), QByteArray());
    f.c().Command13->click(); // a sentinel: no program line went out for the prompt
    QTRY_COMPARE(peer.received.size(), 2);
    QCOMPARE(peer.received[1], QByteArray("VER\r\n"));
}

// Save before flash-disk transfer before download, whoever started first.
void TestUdp::dispatchOrder() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.writeFile(QStringLiteral("p.bas"), "10 A\r\n20 B\r\n");
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("p.bas")));
    f.c().Command10->click();
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("in.bin")));
    f.c().Command4->click();
    QTRY_COMPARE(peer.received.size(), 2);
    peer.reply("0102");
    QTRY_COMPARE(f.c().vbalProgressBar1->value(), qint64(1));
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("out.bas")));
    f.c().Command11->click();
    QTRY_COMPARE(peer.received.size(), 3);
    peer.reply("OK\r\n");
    QTRY_COMPARE(f.s().ListActive, 0);
    QCOMPARE(f.s().DownloadActive, 0); // the end of the save ends the download too
    QCOMPARE(f.s().FlashRecvActive, 1);
    QCOMPARE(peer.received.last(), QByteArray("LIST\r\n"));
    QCOMPARE(f.readFile(QStringLiteral("in.bin")).left(3), QByteArray("\x01\x02\x00", 3));
}

void TestUdp::foreignSenderIgnored() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.type(QStringLiteral("VER"));
    QTRY_COMPARE(peer.received.size(), 1);
    f.c().Command2->click();
    const QByteArray log = f.log();
    // Same machine, another loopback address: not the controller.
    QUdpSocket stranger;
    QVERIFY2(stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0),
             qPrintable(stranger.errorString()));
    QCOMPARE(stranger.writeDatagram("INJECTED\r\n", QHostAddress::LocalHost,
                                    f.window().winsock().localPort()),
             qint64(10));
    peer.reply("REAL\r\n");
    QTRY_COMPARE(f.pane(), QByteArray("REAL\r\n"));
    QCOMPARE(f.log(), log + "REAL\r\n");
}

void TestUdp::heldBackWhileDialogOpen() {
    // A datagram that comes while a handler waits in a dialog is dispatched after it.
    struct Dialog : ScriptedDialogs {
        LoopbackPeer* peer = nullptr;
        QString answer;
        QString openFile(const QString&) override {
            peer->reply("OK\r\n");
            QTest::qWait(100); // the nested event loop of a modal dialog
            return answer;
        }
    } dialog;
    WindowOptions options;
    options.dialogs = &dialog;
    WindowFixture f; // for its folder
    auto w = f.restart(options);
    LoopbackPeer peer;
    dialog.peer = &peer;
    w->udpLink().setArpCommand(QString(), {});
    w->controls().ComboRemoteIP->setEditText(QStringLiteral("127.0.0.1"));
    w->controls().tbRemotePort->setText(QString::number(peer.port()));
    w->controls().tbLocalPort->setText(QStringLiteral("0"));
    w->controls().cbBind->click();
    w->udpLink().UDP_Send("HELLO\r\n");
    QTRY_COMPARE(peer.received.size(), 1);
    f.writeFile(QStringLiteral("two.bas"), "10 A\r\n20 B\r\n30 C\r\n");
    dialog.answer = f.path(QStringLiteral("two.bas"));
    w->controls().Command10->click();
    // Had the OK been taken inside the dialog, it would have found no download and gone
    // to the pane; taken after, it releases line 2.
    QTRY_COMPARE(peer.received.size(), 3);
    QCOMPARE(peer.received[1], QByteArray("10 A\r\n"));
    QCOMPARE(peer.received[2], QByteArray("20 B\r\n"));
}

void TestUdp::burstInOrder() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.type(QStringLiteral("GO"));
    QTRY_COMPARE(peer.received.size(), 1);
    const QByteArray before = f.log();
    QByteArray expected;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 10000; ++i) {
        const QByteArray d = QByteArray::number(i) + "\r\n";
        expected += d;
        peer.reply(d);
        if (i % 100 == 99) // about 10,000 in a second, as a busy controller might
            QTest::qWait(qMax<qint64>(0, (i + 1) / 10 - clock.elapsed()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(f.log().size(), before.size() + expected.size(), 20000);
    QCOMPARE(f.log(), before + expected);
}

// Enter echoes, sends, logs and stores the line; the arrows walk the history; a line
// recalled and sent unchanged is not stored again; without a link the line stays.
void TestUdp::console() {
    WindowFixture f;
    QLineEdit* line = f.c().tbSendData;
    QTest::keyClick(line, Qt::Key_Return); // no link: the start-up hint stays
    QCOMPARE(line->text(), consoleHint());
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.c().Command2->click();
    const QByteArray log = f.log();
    for (const char* l : {"a", "", "b"})
        f.type(QString::fromLatin1(l));
    QTRY_COMPARE(peer.received, (QList<QByteArray>{"a\r\n", "\r\n", "b\r\n"}));
    QCOMPARE(f.log(), log + "a\r\n\r\nb\r\n");
    QCOMPARE(f.pane(), QByteArray("\r\na\r\n\r\n\r\n\r\nb\r\n"));
    QStringList seen;
    for (Qt::Key k : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down}) {
        QTest::keyClick(line, k);
        seen << line->text();
    }
    QCOMPARE(seen, (QStringList{"b", "a", consoleHint(), "a", "b"})); // the hint was entered too
    QTest::keyClick(line, Qt::Key_Up);
    QTest::keyClick(line, Qt::Key_Return);
    QTest::keyClick(line, Qt::Key_Up);
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, QStringLiteral("z"));
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(f.s().history.entry(1), std::string("z"));
    QCOMPARE(f.s().history.entry(2), std::string("b"));
    QCOMPARE(f.s().history.entry(3), std::string("a"));
}

QTEST_MAIN(TestUdp)
#include "tst_udp.moc"
