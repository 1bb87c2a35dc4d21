// The UDP link end to end through real sockets on 127.0.0.1: binding, UDP_Send and its
// gateway wrapping, the reply dispatcher, and the console line.

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
    void wrapping_data();
    void wrapping();
    void sendBeforeConnect();
    void initPortNeverWrapped();
    void connectGoesOnWithoutArpCommand();
    void badRemotePortStaysUnbound();
    void unresolvableHostStaysUnbound();
    void hostNameResolves();
    void lookupOvertakenByComPort();
    void frameFollowsCheck2AcrossReconnect();
    void disconnectWhenNeverConnected();
    void idleDisplay_data();
    void idleDisplay();
    void loginWhileIdleIsText();
    void loginEndsSaveOrDownload_data();
    void loginEndsSaveOrDownload();
    void dispatchOrder_data();
    void dispatchOrder();
    void foreignSenderIgnored();
    void heldBackWhileDialogOpen();
    void burstInOrder();
    void history();
    void historyRecallAndEdit();
    void enterOnEmptyLineWhileBound();
    void enterWithoutLinkKeepsLine();
};

void TestUdp::wrapping_data() {
    QTest::addColumn<bool>("gateway");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("result");
    QTest::newRow("plain") << false << "16" << QByteArray("LIST\r\n") << QByteArray("LIST\r\n")
                           << 1;
    QTest::newRow("gateway") << true << "16" << QByteArray("LIST\r\n")
                             << QByteArray("MDC 16,LIST\r\n") << 1;
    QTest::newRow("empty address")
        << true << "" << QByteArray("LIST\r\n") << QByteArray("MDC ,LIST\r\n") << 1;
    QTest::newRow("address kept as typed")
        << true << " 7 " << QByteArray("VER\r\n") << QByteArray("MDC  7 ,VER\r\n") << 1;
    QTest::newRow("too short to wrap") << true << "16" << QByteArray("\n") << QByteArray() << 0;
}

void TestUdp::wrapping() {
    QFETCH(bool, gateway);
    QFETCH(QString, address);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, wire);
    QFETCH(int, result);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.c().Check2->setChecked(gateway);
    f.c().Text4->setText(address);
    QCOMPARE(f.window().udpLink().UDP_Send(line), result);
    f.window().udpLink().UDP_Send("END\r\n");
    f.c().Check2->setChecked(false);
    f.window().udpLink().UDP_Send("END\r\n");
    QTRY_VERIFY(peer.received.size() >= (result ? 3 : 2));
    if (result)
        QCOMPARE(peer.received.first(), wire);
    QCOMPARE(peer.received.last(), QByteArray("END\r\n"));
}

void TestUdp::sendBeforeConnect() {
    WindowFixture f;
    QCOMPARE(f.window().udpLink().UDP_Send("VER\r\n"), 0);
    QCOMPARE(f.window().winsock().state(), 0);
}

void TestUdp::initPortNeverWrapped() {
    WindowFixture f;
    LoopbackPeer peer;
    f.c().Command7->click(); // unbound: nothing
    QVERIFY(f.connectTo(peer.port()));
    f.c().Check2->setChecked(true);
    f.c().Command7->click();
    QTRY_COMPARE(peer.received.size(), 1);
    QCOMPARE(peer.received[0], QByteArray("UART 2,7\r\n"));
    QVERIFY(!f.log().contains("UART"));
    QCOMPARE(f.pane(), QByteArray());
}

void TestUdp::connectGoesOnWithoutArpCommand() {
    WindowFixture f;
    LoopbackPeer peer;
    f.window().udpLink().setArpCommand(QStringLiteral("/nonexistent/arp"), {QStringLiteral("-d")});
    QVERIFY(f.connectTo(peer.port()));
    QVERIFY(f.c().YesConnect->isVisible());
    QVERIFY(f.dialogs().errors.isEmpty());
}

void TestUdp::badRemotePortStaysUnbound() {
    WindowFixture f;
    f.c().ComboRemoteIP->setEditText(QStringLiteral("127.0.0.1"));
    f.c().tbRemotePort->setText(QStringLiteral("abc"));
    f.c().cbBind->click();
    QVERIFY(f.c().cbBind->isEnabled());
    QVERIFY(!f.c().cbSendData->isEnabled());
    QVERIFY(f.c().NoConnect->isVisible());
    QVERIFY(!f.c().Frame2->isEnabled());
    QCOMPARE(f.window().winsock().state(), 0);
    QVERIFY(f.dialogs().errors.isEmpty());
    // A local port already taken fails the bind just as silently.
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress::AnyIPv4, 0));
    f.c().tbRemotePort->setText(QStringLiteral("111"));
    f.c().tbLocalPort->setText(QString::number(taken.localPort()));
    f.c().cbBind->click();
    QVERIFY(f.c().cbBind->isEnabled());
    QCOMPARE(f.window().winsock().state(), 0);
}

void TestUdp::unresolvableHostStaysUnbound() {
    WindowFixture f;
    QSignalSpy finished(&f.window().udpLink(), &UdpLink::connectFinished);
    f.c().ComboRemoteIP->setEditText(QStringLiteral("no-such-host.invalid"));
    f.c().cbBind->click();
    QVERIFY(finished.wait(20000));
    QVERIFY(f.c().cbBind->isEnabled());
    QVERIFY(f.c().NoConnect->isVisible());
    QCOMPARE(f.window().winsock().state(), 0);
    QVERIFY(f.dialogs().errors.isEmpty());
}

void TestUdp::hostNameResolves() {
    WindowFixture f;
    LoopbackPeer peer;
    QSignalSpy finished(&f.window().udpLink(), &UdpLink::connectFinished);
    f.c().ComboRemoteIP->setEditText(QStringLiteral("localhost"));
    f.c().tbRemotePort->setText(QString::number(peer.port()));
    f.c().cbBind->click();
    QVERIFY(finished.wait(20000));
    QVERIFY(f.window().udpLink().isOpen());
    QVERIFY(!f.c().cbBind->isEnabled());
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
    QVERIFY(f.c().cbBind->isEnabled());
    f.c().BTNOpenCom->click();
    QVERIFY(!f.window().comm().PortOpen());
}

void TestUdp::frameFollowsCheck2AcrossReconnect() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    QVERIFY(f.c().Frame2->isEnabled());
    QVERIFY(f.c().Frame6->isEnabled());
    QVERIFY(f.c().YesConnect->isVisible());
    QVERIFY(!f.c().NoConnect->isVisible());
    QTest::mouseClick(f.c().Check2, Qt::LeftButton, {}, QPoint(4, 6));
    QVERIFY(f.c().Check2->isChecked());
    QVERIFY(!f.c().Frame2->isEnabled());
    f.c().Command1->click();
    QVERIFY(f.c().cbBind->isEnabled());
    QVERIFY(!f.c().Frame6->isEnabled());
    QVERIFY(f.c().NoConnect->isVisible());
    QVERIFY(f.connectTo(peer.port()));
    QVERIFY(f.c().Check2->isChecked());
    QVERIFY(f.c().Frame2->isEnabled());
}

void TestUdp::disconnectWhenNeverConnected() {
    WindowFixture f;
    f.c().Command1->click();
    QVERIFY(f.c().cbBind->isEnabled());
    QVERIFY(!f.c().cbSendData->isEnabled());
    QVERIFY(f.c().NoConnect->isVisible());
    QCOMPARE(f.c().tbSendData->text(), QString());
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
    QByteArray all;
    for (const QByteArray& d : datagrams) {
        peer.reply(d);
        all += d;
    }
    QTRY_COMPARE(f.log(), logBefore + all);
    QTRY_COMPARE(f.pane(), pane);
    QCOMPARE(f.c().tbReceiveData->textCursor().position(),
             f.c().tbReceiveData->document()->characterCount() - 1);
    QVERIFY(f.c().YesConnect->isVisible());
}

void TestUdp::loginWhileIdleIsText() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.type(QStringLiteral("X"));
    QTRY_COMPARE(peer.received.size(), 1);
    f.c().Command2->click();
    peer.reply("Login: ");
    peer.reply("login");
    QTRY_COMPARE(f.pane(), QByteArray("Login: login"));
}

void TestUdp::loginEndsSaveOrDownload_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<QByteArray>("prompt");
    QTest::newRow("save, Passwor inside a prompt") << true << QByteArray("Enter Password: ");
    QTest::newRow("save, Login") << true << QByteArray("Login:");
    QTest::newRow("download, Passwor") << false << QByteArray("Password:");
    QTest::newRow("download, Login") << false << QByteArray("  Login  ");
}

void TestUdp::loginEndsSaveOrDownload() {
    QFETCH(bool, save);
    QFETCH(QByteArray, prompt);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.writeFile(QStringLiteral("p.bas"), "10 PRINT 1\r\n20 PRINT 2\r\n");
    f.dialogs().fileNames.enqueue(
        f.path(save ? QStringLiteral("out.bas") : QStringLiteral("p.bas")));
    (save ? f.c().Command11 : f.c().Command10)->click();
    QTRY_COMPARE(peer.received.size(), 1);
    QCOMPARE(peer.received[0], save ? QByteArray("LIST\r\n") : QByteArray("10 PRINT 1\r\n"));
    peer.reply(prompt);
    QTRY_VERIFY(f.pane().endsWith("ACCESS DENIED\r\n"));
    QCOMPARE(f.s().ListActive, 0);
    QCOMPARE(f.s().DownloadActive, 0);
    QVERIFY(!f.s().BasFile.isOpen());
    QVERIFY(!f.pane().contains(prompt));
    QVERIFY(f.log().endsWith(prompt));
    if (save)
        QCOMPARE(f.readFile(QStringLiteral("out.bas")), QByteArray());
    QTest::qWait(50);
    QCOMPARE(peer.received.size(), 1); // no program line goes out for the prompt
}

void TestUdp::dispatchOrder_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("send");
    QTest::addColumn<int>("recv");
    QTest::addColumn<int>("download");
    QTest::addColumn<QString>("winner");
    QTest::newRow("save before flash send") << 1 << 1 << 1 << 1 << "save";
    QTest::newRow("flash send before receive") << 0 << 1 << 1 << 1 << "send";
    QTest::newRow("receive before download") << 0 << 0 << 1 << 1 << "recv";
    QTest::newRow("download") << 0 << 0 << 0 << 1 << "download";
    QTest::newRow("flag 2 is not set") << 2 << 0 << 0 << 0 << "pane";
}

void TestUdp::dispatchOrder() {
    QFETCH(int, list);
    QFETCH(int, send);
    QFETCH(int, recv);
    QFETCH(int, download);
    QFETCH(QString, winner);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.s().BasFile.setFileName(f.path(QStringLiteral("capture.bas")));
    QVERIFY(f.s().BasFile.open(QIODevice::WriteOnly));
    f.s().FlashFile.setFileName(f.path(QStringLiteral("flash.bin")));
    QVERIFY(f.s().FlashFile.open(QIODevice::WriteOnly));
    f.s().ProgLines[1] = "10 A";
    f.s().ProgLines[2] = "20 B";
    f.s().ProgCount = 3;
    f.s().ProgPos = 1;
    f.s().ListActive = list;
    f.s().FlashSendActive = send;
    f.s().FlashRecvActive = recv;
    f.s().DownloadActive = download;
    f.type(QString()); // a datagram to learn our address
    QTRY_COMPARE(peer.received.size(), 1);
    peer.reply("0102");
    QTRY_VERIFY(f.log().endsWith("0102"));
    const QByteArray pane = f.pane();
    if (winner == "save") {
        QTRY_COMPARE(f.readFile(QStringLiteral("capture.bas")), QByteArray("0102"));
        QCOMPARE(pane, QByteArray("LOAD DATA = 0102\r\n"));
    } else if (winner == "send") {
        QCOMPARE(pane, QByteArray("\r\n\r\n")); // ignored: neither OK nor ERROR
    } else if (winner == "recv") {
        f.s().FlashFile.flush();
        QCOMPARE(f.readFile(QStringLiteral("flash.bin")),
                 QByteArray("\x01\x02", 2) + QByteArray(18, 0));
    } else if (winner == "download") {
        QCOMPARE(pane, QByteArray("\r\n\r\n0102\r\n"));
    } else {
        QCOMPARE(pane, QByteArray("\r\n\r\n0102"));
    }
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

void TestUdp::history() {
    WindowFixture f;
    QLineEdit* line = f.c().tbSendData;
    auto key = [&](Qt::Key k) { QTest::keyClick(line, k); };
    line->clear();
    key(Qt::Key_Up);
    QCOMPARE(line->text(), QString());
    line->setText(QStringLiteral("typed"));
    key(Qt::Key_Down); // at the fresh line Down empties it
    QCOMPARE(line->text(), QString());
    for (int i = 1; i <= 40; ++i)
        f.type(QStringLiteral("line %1").arg(i));
    for (int i = 0; i < 33; ++i)
        key(Qt::Key_Up);
    QCOMPARE(line->text(), QStringLiteral("line 9")); // the oldest of the 32 kept
    key(Qt::Key_Down);
    QCOMPARE(line->text(), QStringLiteral("line 10"));
    QCOMPARE(f.s().history.HistoryRecalled, 1);
    QCOMPARE(line->cursorPosition(), line->text().size());
}

void TestUdp::historyRecallAndEdit() {
    WindowFixture f;
    QLineEdit* line = f.c().tbSendData;
    for (const char* l : {"a", "b", "c"})
        f.type(QString::fromLatin1(l));
    QStringList seen;
    for (Qt::Key k :
         {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}) {
        QTest::keyClick(line, k);
        seen << line->text();
    }
    QCOMPARE(seen, (QStringList{"c", "b", "a", "b", "c", ""}));
    // Recalled and sent unchanged, or extended by typing: not stored again.
    QTest::keyClick(line, Qt::Key_Up);
    QTest::keyClick(line, Qt::Key_Return);
    QTest::keyClick(line, Qt::Key_Up);
    QTest::keyClicks(line, QStringLiteral("x"));
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(QString::fromStdString(f.s().history.entry(1)), QStringLiteral("c"));
    // Changed with Backspace: stored as the newest.
    QTest::keyClick(line, Qt::Key_Up);
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, QStringLiteral("z"));
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(QString::fromStdString(f.s().history.entry(1)), QStringLiteral("z"));
}

void TestUdp::enterOnEmptyLineWhileBound() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.c().Command2->click();
    const QByteArray log = f.log();
    f.type(QString());
    QTRY_COMPARE(peer.received.size(), 1);
    QCOMPARE(peer.received[0], QByteArray("\r\n"));
    QCOMPARE(f.log(), log + "\r\n");
    QCOMPARE(f.pane(), QByteArray("\r\n\r\n"));
    QCOMPARE(f.s().history.entry(1), std::string());
    f.type(QStringLiteral("VER"));
    QTRY_COMPARE(peer.received.size(), 2);
    QCOMPARE(f.pane(), QByteArray("\r\n\r\n\r\nVER\r\n"));
    QCOMPARE(f.c().tbSendData->text(), QString());
}

void TestUdp::enterWithoutLinkKeepsLine() {
    WindowFixture f;
    const QByteArray log = f.log();
    QTest::keyClick(f.c().tbSendData, Qt::Key_Return); // the start-up hint is still there
    QCOMPARE(f.c().tbSendData->text(), consoleHint());
    QCOMPARE(QString::fromUtf8(f.window().state().history.entry(1).c_str()).isEmpty(), false);
    QCOMPARE(f.log(), log);
    QCOMPARE(f.pane(), QByteArray("\r\n"));
}

QTEST_MAIN(TestUdp)
#include "tst_udp.moc"
