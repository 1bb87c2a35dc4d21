// The UDP link end to end through real sockets on 127.0.0.1: binding, UDP_Send, the reply
// dispatcher and its routing, and the console line.

#include "e2e.h"

#include <QUdpSocket>

namespace {

// The window bound to the peer, which has heard from it once (so that it can answer),
// and the pane cleared.
bool introduced(WindowFixture& f, LoopbackPeer& peer) {
    if (!f.connectTo(peer.port()))
        return false;
    f.type(QStringLiteral("X"));
    const bool heard = QTest::qWaitFor([&] { return !peer.received.isEmpty(); }, 5000);
    f.c().Command2->click();
    return heard;
}

} // namespace

class TestUdp : public QObject {
    Q_OBJECT
private slots:
    // Check2 wraps every line for the gateway; "UART 2,7" is never wrapped and never logged.
    // A remote port that is no number: the socket stays unbound and nothing is said.
    void idleDisplay_data() {
        QTest::addColumn<QList<QByteArray>>("datagrams");
        QTest::addColumn<QByteArray>("pane");
        QTest::newRow("no line end continues")
            << QList<QByteArray>{"12", "34\r\n"} << QByteArray("1234\r\n");
        QTest::newRow("65000 bytes")
            << QList<QByteArray>{QByteArray(65000, 'x')} << QByteArray(65000, 'x');
        QTest::newRow("empty datagram") << QList<QByteArray>{QByteArray(), "z"} << QByteArray("z");
        QTest::newRow("Login is text when idle")
            << QList<QByteArray>{"Login: ", "login"} << QByteArray("Login: login");
    }

    void idleDisplay() {
        QFETCH(QList<QByteArray>, datagrams);
        QFETCH(QByteArray, pane);
        WindowFixture f;
        LoopbackPeer peer;
        QVERIFY(introduced(f, peer));
        const QByteArray logBefore = f.log();
        for (const QByteArray& d : datagrams)
            peer.reply(d);
        QTRY_COMPARE(f.log(), logBefore + datagrams.join());
        QTRY_COMPARE(f.pane(), pane);
        QCOMPARE(f.c().tbReceiveData->caretPosition(), f.c().tbReceiveData->characterCount());
    }

    void loginEndsSaveOrDownload_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("save") << true;
        QTest::newRow("download") << false;
    }

    void loginEndsSaveOrDownload() {
        QFETCH(bool, save);
        WindowFixture f;
        LoopbackPeer peer;
        QVERIFY(f.connectTo(peer.port()));
        f.writeFile(QStringLiteral("p.bas"), "10 PRINT 1\r\n20 PRINT 2\r\n");
        f.dialogs().fileNames.enqueue(
            f.path(save ? QStringLiteral("out.bas") : QStringLiteral("p.bas")));
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
    void dispatchOrder() {
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

    // A late answer to an earlier line that comes while the download's file dialog is open
    // is shown as it came; it does not release line 2.
    void answerDuringDialog() {
        WindowFixture f;
        LoopbackPeer peer;
        QVERIFY(introduced(f, peer));
        f.writeFile(QStringLiteral("p.bas"), "10 A\r\n20 B\r\n");
        f.dialogs().fileNames.enqueue(f.path(QStringLiteral("p.bas")));
        f.dialogs().whileOpen = [&] {
            peer.reply("OK\r\n");
            QTest::qWait(100); // the nested event loop of a modal dialog
        };
        f.c().Command10->click();
        f.c().Command13->click(); // a sentinel
        QTRY_COMPARE(peer.received, (QList<QByteArray>{"X\r\n", "10 A\r\n", "VER\r\n"}));
        QCOMPARE(f.pane(), QByteArray("OK\r\n10 A\r\n")); // the pane shows a lone LF as a break
    }

    // Datagrams of another sender (same machine, another loopback address) are taken one a
    // call, so that a flood of them is taken in time slices and never holds the window.
    void foreignFloodTakenInSlices() {
        WindowFixture f;
        LoopbackPeer peer;
        QVERIFY(introduced(f, peer));
        QUdpSocket stranger;
        QVERIFY(stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        for (int i = 0; i < 1000; ++i)
            stranger.writeDatagram("X", QHostAddress::LocalHost, f.window().winsock().localPort());
        const QByteArray log = f.log();
        QVERIFY(!f.window().winsock().getData());
        QVERIFY(f.window().winsock().hasData());
        peer.reply("REAL\r\n"); // and none of them is ever logged or shown
        QTRY_COMPARE(f.log(), log + "REAL\r\n");
        QCOMPARE(f.pane(), QByteArray("REAL\r\n"));
    }

    // A controller that is down: the system answers "connection refused" for the closed
    // port. The window stays bound, every line goes out, and nothing shows as received.
    void controllerDown() {
        WindowFixture f;
        quint16 port = 0;
        {
            QUdpSocket closed;
            QVERIFY(closed.bind(QHostAddress::LocalHost, 0));
            port = closed.localPort();
        }
        QVERIFY(f.connectTo(port));
        f.c().Command2->click();
        const QByteArray log = f.log();
        QUdpSocket sentinel; // from the controller's address, so the window takes it
        QVERIFY(sentinel.bind(QHostAddress::LocalHost, 0));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(f.window().udpLink().UDP_Send("VER\r\n"), 1);
            sentinel.writeDatagram("S\r\n", QHostAddress::LocalHost,
                                   f.window().winsock().localPort());
            QTRY_COMPARE(f.pane(), QByteArray("S\r\n").repeated(i + 1));
        }
        QCOMPARE(f.window().winsock().state(), 1);
        QCOMPARE(f.log(), log + QByteArray("S\r\n").repeated(3));
    }

    // Enter echoes, sends, logs and stores the line; the arrows walk the history; a line
    // recalled and sent unchanged is not stored again; without a link the line stays.
    void console() {
        WindowFixture f;
        QLineEdit* line = f.c().tbSendData;
        QTest::keyClick(line, Qt::Key_Return); // no link: the start-up hint stays
        QCOMPARE(line->text(), consoleHint());
        f.c().ComboRemoteIP->setEditText(QStringLiteral("127.0.0.1"));
        f.c().tbRemotePort->setText(QStringLiteral("abc"));
        f.c().cbBind->click(); // a remote port that is no number: unbound, without a word
        QVERIFY(f.c().cbBind->isEnabled() && f.c().NoConnect->isVisible());
        QVERIFY(f.dialogs().errors.isEmpty());
        LoopbackPeer peer;
        QVERIFY(f.connectTo(peer.port()));
        f.c().Command2->click();
        const QByteArray log = f.log();
        for (const char* l : {"a", "", "b"})
            f.type(QString::fromLatin1(l));
        QTRY_COMPARE(peer.received, (QList<QByteArray>{"a\r\n", "\r\n", "b\r\n"}));
        QCOMPARE(f.log(), log + "a\r\n\r\nb\r\n");
        QCOMPARE(f.pane(), QByteArray("\r\na\r\n\r\n\r\n\r\nb\r\n"));
        for (Qt::Key k : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down}) // the hint is oldest
            QTest::keyClick(line, k);
        QCOMPARE(line->text(), QStringLiteral("a"));
        QTest::keyClick(line, Qt::Key_Return); // recalled and sent unchanged: not stored again
        QTest::keyClick(line, Qt::Key_Up);
        QTest::keyClick(line, Qt::Key_Backspace); // edited: stored as new
        QTest::keyClicks(line, QStringLiteral("z"));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(f.s().history.entry(1), std::string("z"));
        QCOMPARE(f.s().history.entry(2), std::string("b"));
        // Check2 wraps each line for the gateway; "UART 2,7" is never wrapped nor logged.
        QTest::mouseClick(f.c().Check2, Qt::LeftButton, {}, QPoint(4, 6));
        QVERIFY(!f.c().Frame2->isEnabled() && f.c().Frame6->isEnabled());
        f.c().Text4->setText(QStringLiteral(" 7 "));
        f.type(QStringLiteral("VER"));
        f.c().Command7->click();
        QTRY_COMPARE(peer.received.mid(5), (QList<QByteArray>{"MDC  7 ,VER\r\n", "UART 2,7\r\n"}));
        QVERIFY(!f.log().contains("UART") && f.log().endsWith("VER\r\n"));
    }
};

QTEST_MAIN(TestUdp)
#include "tst_udp.moc"
