// The operations end to end against the simulated board, per link one run that succeeds
// and one that fails; what each reply means is the core exchanges' suite. Here: the
// files, the flags, the pane, the progress bar and the bytes on the wire.

#include "e2e.h"

#include "sim/controller.h"
#include "sim/pty_front.h"
#include "sim/udp_front.h"

#include <QRandomGenerator>

#include <memory>

namespace {

enum class Link { Udp, Pty, PtyRtu };
using Lines = QList<QByteArray>;

const QByteArray kCompleted = "SEND BASIC PROGRAM COMPLETED\r\n";
const QByteArray kSaved = "LOAD BASIC PROGRAM COMPLETED\r\n";

// The simulated board, its flash disk inside the fixture's folder.
struct Board {
    explicit Board(WindowFixture& f, sim::ControllerOptions o = {})
        : controller((o.flashDir = f.path(QStringLiteral("flash")).toStdString(), o)) {}

    bool attach(WindowFixture& f, Link link) {
        if (link == Link::Udp) {
            udp = std::make_unique<sim::UdpFront>(controller, QHostAddress::LocalHost, 0);
            // By name: the look-up is part of the run.
            return udp->isBound() && f.connectTo(udp->port(), QStringLiteral("localhost"));
        }
        sim::FrontOptions options;
        options.rtu = link == Link::PtyRtu;
        pty = std::make_unique<sim::PtyFront>(controller, options);
        f.c().Comm_number->setText(pty->slavePath());
        f.c().BTNOpenCom->click();
        f.c().Check1->setChecked(link == Link::PtyRtu);
        return f.window().serialLink().isOpen();
    }

    sim::Controller controller;
    std::unique_ptr<sim::UdpFront> udp;
    std::unique_ptr<sim::PtyFront> pty;
};

void startDownload(WindowFixture& f, const QByteArray& content) {
    f.writeFile(QStringLiteral("p.bas"), content);
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("p.bas")));
    f.c().Command10->click();
}

// Sends one reply and waits until the window has taken it: every datagram is logged
// before it is dispatched.
bool answer(WindowFixture& f, LoopbackPeer& peer, const QByteArray& reply) {
    const qsizetype at = f.log().size();
    peer.reply(reply);
    return QTest::qWaitFor([&] { return f.log().mid(at, reply.size()) == reply; }, 5000);
}

} // namespace

Q_DECLARE_METATYPE(Link)

class TestOps : public QObject {
    Q_OBJECT
private slots:
    void program_data() {
        QTest::addColumn<Link>("link");
        QTest::newRow("udp") << Link::Udp;
        QTest::newRow("pty") << Link::Pty;
        QTest::newRow("pty, RTU") << Link::PtyRtu;
    }

    // Version, download, save back, erase, and a download the board refuses at its second
    // line (the fifth of the run): the whole program cycle on one board.
    void program() {
        QFETCH(Link, link);
        WindowFixture f;
        sim::ControllerOptions options;
        options.errorOnLine = 5;
        Board board(f, options);
        QVERIFY(board.attach(f, link));
        f.c().Command2->click();
        f.c().Command13->click();
        QTRY_COMPARE(f.pane(), QByteArray("VANTOR-SIM BASIC V1.0\r\n"));
        // Over RTU the listing's second frame must not start inside line 20 at "M OK".
        const QByteArray program =
            "10 REM " + QByteArray(240, 'x') + "\r\n20 REM OK\r\n0030 GOTO 10\r\n";
        startDownload(f, program);
        // The board's answer to the last line comes after the download has ended.
        QTRY_COMPARE(f.pane(), kCompleted + "OK\r\n");
        QCOMPARE(f.s().DownloadActive, 0);
        f.dialogs().fileNames.enqueue(f.path(QStringLiteral("back.bas")));
        f.c().Command11->click();
        QTRY_COMPARE(f.pane(), kSaved);
        QCOMPARE(f.s().ListActive, 0);
        QCOMPARE(f.readFile(QStringLiteral("back.bas")), QByteArray(program).replace("0030", "30"));
        f.c().Command12->click();
        QTRY_COMPARE(f.pane(), kSaved + "OK\r\n");
        QVERIFY(board.controller.program().empty());
        f.c().Command2->click();
        startDownload(f, "40 D\r\n50 E\r\n60 F\r\n");
        QTRY_COMPARE(f.pane(), QByteArray("LOAD DATA = 50 EError - see  source file \r\n"));
        QCOMPARE(f.s().DownloadActive + f.s().ProgPos, 2);
        f.c().Command13->click(); // a sentinel: line 3 never went out
        QTRY_VERIFY(f.pane().endsWith("VANTOR-SIM BASIC V1.0\r\n"));
        QCOMPARE(board.controller.program().size(), std::size_t(1));
        QCOMPARE(f.dialogs().filters, QStringList(3, QStringLiteral("BAS files (*.bas)|*.bas")));
    }

    // ">>" puts a line out at once and each late OK then releases one more; after "X" an OK
    // is only text.
    void scriptedAnswers() {
        WindowFixture f;
        LoopbackPeer peer;
        QVERIFY(f.connectTo(peer.port()));
        startDownload(f, "10 A\r\n20 B\r\n30 C\r\n40 D\r\n");
        QTRY_COMPARE(peer.received.size(), 1);
        f.c().Command9->click();
        QVERIFY(answer(f, peer, "OK\r\n"));
        f.c().Command14->click();
        QCOMPARE(f.s().DownloadActive, 0);
        QVERIFY(answer(f, peer, "OK\r\n"));
        f.c().Command9->click();
        f.c().Command13->click(); // a sentinel after the click that must send nothing
        QTRY_COMPARE(peer.received, (Lines{"10 A\r\n", "20 B\r\n", "30 C\r\n", "VER\r\n"}));
        QCOMPARE(f.pane(), QByteArray("LOAD DATA = 30 COK\r\n"));
        // A save onto a full disk: the error box for the write; the capture stays on, and
        // the closing OK still ends it.
        f.dialogs().fileNames.enqueue(QStringLiteral("/dev/full"));
        f.c().Command11->click();
        QTRY_COMPARE(peer.received.last(), QByteArray("LIST\r\n"));
        QVERIFY(answer(f, peer, "10 PRINT 1\r\n"));
        QCOMPARE(f.dialogs().errors.value(0).number, 61);
        QCOMPARE(f.s().ListActive, 1);
        QVERIFY(answer(f, peer, "OK\r\n"));
        QCOMPARE(f.pane(), kSaved);
    }

    void notStarted_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file"); // empty: the dialog is cancelled
        QTest::addColumn<int>("error");    // 0: the Cancel box
        QTest::addColumn<QString>("bar");
        const auto row = [](const char* name, const char* button, const char* file, int error,
                            const char* bar) {
            QTest::newRow(name) << button << file << error << bar;
        };
        row("download, cancelled", "Command10", "", 0, "NO FILE");
        row("download, 2049 lines", "Command10", "long.bas", 9, "NO FILE");
        row("save, missing folder", "Command11", "no/out.bas", 75, "NO FILE");
        row("flash send, missing file", "Command3", "missing.bin", 53, "NO FILE");
        row("flash send, over 16 MiB", "Command3", "big.bin", 31001, "NO FILE");
        row("flash receive, missing folder", "Command4", "no/in.bin", 75, "READ");
    }

    void notStarted() {
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(int, error);
        QFETCH(QString, bar);
        WindowFixture f;
        Board board(f);
        QVERIFY(board.attach(f, Link::Udp));
        f.c().Command2->click();
        QByteArray program;
        for (int n = 1; n <= 2049; ++n)
            program += QByteArray::number(n) + " P\r\n";
        f.writeFile(QStringLiteral("long.bas"), program);
        QFile big(f.path(QStringLiteral("big.bin")));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(17 * 1024 * 1024)); // sparse
        if (!file.isEmpty())
            f.dialogs().fileNames.enqueue(f.path(file));
        f.window().findChild<QPushButton*>(button)->click();
        QCOMPARE(f.dialogs().cancels, error == 0 ? 1 : 0);
        QCOMPARE(f.dialogs().errors.size(), error == 0 ? 0 : 1);
        if (error != 0)
            QCOMPARE(f.dialogs().errors[0].number, error);
        QCOMPARE(f.c().vbalProgressBar1->text(), bar);
        const SharedState& st = f.s();
        QCOMPARE(
            (QList<int>{st.DownloadActive, st.ListActive, st.FlashSendActive, st.FlashRecvActive}),
            (QList<int>{0, 0, 0, 0}));
        f.c().Command13->click(); // a sentinel: the first thing the board hears
        QTRY_COMPARE(f.pane(), QByteArray("VANTOR-SIM BASIC V1.0\r\n"));
        QVERIFY(board.controller.program().empty());
    }

    void flashRoundTrip() {
        const int size = 10000;
        QByteArray data(size, Qt::Uninitialized);
        QRandomGenerator random(20240611u + quint32(size));
        for (char& byte : data)
            byte = char(random.bounded(256));
        WindowFixture f;
        Board board(f);
        QVERIFY(board.attach(f, Link::Udp));
        f.c().Command2->click();
        ProgressBar* bar = f.c().vbalProgressBar1;
        f.writeFile(QStringLiteral("out.bin"), data);
        f.writeFile(QStringLiteral("in.bin"), QByteArray(size + 500, 'Z')); // replaced whole
        f.c().Text2->setText(QStringLiteral("D.BIN"));
        f.dialogs().fileNames.enqueue(f.path(QStringLiteral("out.bin")));
        f.c().Command3->click();
        QTRY_COMPARE_WITH_TIMEOUT(bar->text(), QStringLiteral("OK"), 20000);
        // Nothing of the transfer reaches the pane; the answer to CLOSE does.
        QTRY_COMPARE(f.pane(), QByteArray("OK\r\n"));
        QFile onBoard(board.controller.flashDir() / "D.BIN");
        QVERIFY(onBoard.open(QIODevice::ReadOnly));
        QCOMPARE(onBoard.readAll(), data);
        QCOMPARE(bar->value(), qint64(size) + 1); // one past the maximum
        QVERIFY(f.log().contains("OPENWR \"D.BIN\"\r\nOK\r\nWRITE \"" +
                                 data.left(21).toHex().toUpper()));

        f.dialogs().fileNames.enqueue(f.path(QStringLiteral("in.bin")));
        f.c().Command4->click();
        QTRY_COMPARE_WITH_TIMEOUT(bar->text(), QStringLiteral("OK"), 20000);
        QTRY_COMPARE(f.pane(), QByteArray("OK\r\nOK\r\n"));
        QCOMPARE(f.readFile(QStringLiteral("in.bin")), data);
        QCOMPARE(bar->value(), qint64(100));
    }

    // The board fails the flash disk after the Open line: each transfer ends in ERROR and
    // CLOSE, and the local file keeps what had come.
    void flashRefused() {
        WindowFixture f;
        sim::ControllerOptions options;
        options.flashErrorAfter = 1;
        Board board(f, options);
        QVERIFY(board.attach(f, Link::Udp));
        f.writeFile(QStringLiteral("out.bin"), QByteArray(50, 'x'));
        f.dialogs().fileNames.enqueue(f.path(QStringLiteral("out.bin")));
        f.c().Command3->click();
        QTRY_COMPARE(f.c().vbalProgressBar1->text(), QStringLiteral("ERROR"));
        QCOMPARE(f.s().FlashSendActive, 0);
        QVERIFY(f.log().contains("ERROR\r\nCLOSE\r\n"));
        f.c().Command13->click(); // the answer to CLOSE is in before the next transfer
        QTRY_VERIFY(f.pane().endsWith("V1.0\r\n"));
        f.dialogs().fileNames.enqueue(f.path(QStringLiteral("in.bin")));
        f.c().Command4->click();
        QTRY_COMPARE(f.c().vbalProgressBar1->text(), QStringLiteral("ERROR"));
        QCOMPARE(f.s().FlashRecvActive, 0);
        QCOMPARE(f.readFile(QStringLiteral("in.bin")), QByteArray());
        QCOMPARE(f.c().tbSendData->text(), QStringLiteral("CLOSE"));
    }
};

QTEST_MAIN(TestOps)
#include "tst_ops.moc"
