// The controller operations end to end: program download and save, NEW and VER, and the
// flash-disk transfers, against the simulated board over UDP and a pseudo-terminal, and
// against a scripted peer where a reply has to be crafted.

#include "loopback_peer.h"
#include "pty_pair.h"
#include "window_fixture.h"

#include "app/progress_bar.h"
#include "sim/controller.h"
#include "sim/pty_front.h"
#include "sim/udp_front.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <map>
#include <memory>

using namespace vantor;
using namespace vantor::test;

namespace {

enum class Link { Udp, Pty, PtyRtu };
using Lines = QList<QByteArray>;

const QByteArray kCompleted = "SEND BASIC PROGRAM COMPLETED\r\n";
const QByteArray kSaved = "LOAD BASIC PROGRAM COMPLETED\r\n";
const QByteArray kRefused = "Error - see  source file \r\n";
const QString kBasDialogFilter = QStringLiteral("BAS files (*.bas)|*.bas");
const QString kAnyDialogFilter = QStringLiteral("All files (*.*)|*.*");

// The simulated board, its flash disk inside the fixture's folder.
struct Board {
    explicit Board(WindowFixture& f, int errorOnLine = 0)
        : controller([&] {
              sim::ControllerOptions o;
              o.errorOnLine = errorOnLine;
              o.flashDir = f.path(QStringLiteral("flash")).toStdString();
              return o;
          }()) {}

    bool attach(WindowFixture& f, Link link) {
        if (link == Link::Udp) {
            udp = std::make_unique<sim::UdpFront>(controller, QHostAddress::LocalHost, 0);
            return udp->isBound() && f.connectTo(udp->port());
        }
        sim::FrontOptions options;
        options.rtu = link == Link::PtyRtu;
        pty = std::make_unique<sim::PtyFront>(controller, options);
        if (!pty->isOpen())
            return false;
        f.c().Comm_number->setText(pty->slavePath());
        f.c().BTNOpenCom->click();
        f.c().Check1->setChecked(link == Link::PtyRtu);
        return f.window().serialLink().isOpen();
    }

    sim::Controller controller;
    std::unique_ptr<sim::UdpFront> udp;
    std::unique_ptr<sim::PtyFront> pty;
};

// Sends one reply and waits until the window has taken it: every datagram is logged
// before it is dispatched.
bool answer(WindowFixture& f, LoopbackPeer& peer, const QByteArray& reply) {
    const qsizetype at = f.log().size();
    peer.reply(reply);
    return QTest::qWaitFor([&] { return f.log().mid(at, reply.size()) == reply; }, 5000);
}

// Connects the window to the peer and clears the pane.
bool connected(WindowFixture& f, LoopbackPeer& peer) {
    const bool up = f.connectTo(peer.port());
    f.c().Command2->click();
    return up;
}

void startDownload(WindowFixture& f, const QByteArray& content) {
    f.writeFile(QStringLiteral("p.bas"), content);
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("p.bas")));
    f.c().Command10->click();
}

QByteArray numberedLines(int count, const QByteArray& end) {
    QByteArray file;
    for (int n = 1; n <= count; ++n)
        file += QByteArray::number(n * 10) + " PRINT " + QByteArray::number(n) + end;
    return file;
}

QByteArray bytesFrom(int first, int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += static_cast<char>(first + i);
    return bytes;
}

QByteArray hexLine(const QByteArray& bytes) {
    return "WRITE \"" + bytes.toHex().toUpper() + '"';
}

} // namespace

Q_DECLARE_METATYPE(Link)

class TestOps : public QObject {
    Q_OBJECT
private slots:
    void downloadToBoard_data();
    void downloadToBoard();
    void downloadLines_data();
    void downloadLines();
    void downloadRefused_data();
    void downloadRefused();
    void pendingLineReleases();
    void laterFilesSendOnlyTheirOwnLines();
    void saveEndAbandonsWaitingDownload();
    void save_data();
    void save();
    void notStarted_data();
    void notStarted();
    void boardRoundTrip_data();
    void boardRoundTrip();
    void serialCommandLines();
    void flashRoundTrip_data();
    void flashRoundTrip();
    void flashSend_data();
    void flashSend();
    void flashReceive_data();
    void flashReceive();
    void endThenReceiveProgress();
    void failedReceiveLeavesSendRunning();
    void saveOntoFullDisk();
};

void TestOps::downloadToBoard_data() {
    QTest::addColumn<Link>("link");
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("refused"); // the line the board refuses; 0: none
    QTest::newRow("udp, CR LF") << Link::Udp << QByteArray("\r\n") << 3 << 0;
    QTest::newRow("udp, CR") << Link::Udp << QByteArray("\r") << 3 << 0;
    QTest::newRow("udp, LF") << Link::Udp << QByteArray("\n") << 3 << 0;
    QTest::newRow("udp, 2048 lines") << Link::Udp << QByteArray("\r\n") << 2048 << 0;
    QTest::newRow("udp, line 2 refused") << Link::Udp << QByteArray("\r\n") << 3 << 2;
    QTest::newRow("pty, plain") << Link::Pty << QByteArray("\r\n") << 3 << 0;
    QTest::newRow("pty, RTU") << Link::PtyRtu << QByteArray("\r\n") << 3 << 0;
    QTest::newRow("pty, line 2 refused") << Link::Pty << QByteArray("\r\n") << 3 << 2;
}

void TestOps::downloadToBoard() {
    QFETCH(Link, link);
    QFETCH(QByteArray, lineEnd);
    QFETCH(int, lines);
    QFETCH(int, refused);
    WindowFixture f;
    Board board(f, refused);
    QVERIFY(board.attach(f, link));
    f.c().Command2->click();
    startDownload(f, numberedLines(lines, lineEnd));
    // The board's answer to the last line comes after the download has ended.
    const QByteArray pane = refused ? "LOAD DATA = 20 PRINT 2" + kRefused : kCompleted + "OK\r\n";
    QTRY_COMPARE_WITH_TIMEOUT(f.pane(), pane, 30000);
    QCOMPARE(f.s().DownloadActive, 0);
    std::map<int, std::string> expected;
    for (int n = 1; n <= (refused ? refused - 1 : lines); ++n)
        expected[n * 10] = std::to_string(n * 10) + " PRINT " + std::to_string(n);
    QVERIFY(board.controller.program() == expected);
}

void TestOps::downloadLines_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Lines>("wire");
    const QByteArray zeroLong = '0' + QByteArray(149, 'x');
    const QByteArray binary = "10 REM " + QByteArray(1, '\0') + bytesFrom(128, 128);
    QTest::newRow("0010 PRINT X") << QByteArray("0010 PRINT X\r\n") << Lines{"10 PRINT X"};
    QTest::newRow("0000") << QByteArray("0000\r\n") << Lines{"0"};
    QTest::newRow("00005 REM") << QByteArray("00005 REM\r\n") << Lines{"05 REM"};
    QTest::newRow("just 0") << QByteArray("0\r\n10 A\r\n") << Lines{"", "10 A"};
    QTest::newRow("150 characters from 0") << zeroLong + "\r\n" << Lines{zeroLong.mid(1)};
    QTest::newRow("300 characters") << QByteArray(300, '7') << Lines{QByteArray(300, '7')};
    QTest::newRow("blank line and blanks kept")
        << QByteArray("10 A\r\n\r\n  20 B  \r\n") << Lines{"10 A", "", "  20 B  "};
    QTest::newRow("no end after the last line")
        << QByteArray("10 A\r\n20 B") << Lines{"10 A", "20 B"};
    QTest::newRow("CR, LF and CR LF mixed")
        << QByteArray("10 A\r20 B\n30 C\r\n") << Lines{"10 A", "20 B", "30 C"};
    QTest::newRow("one line") << QByteArray("10 END\r\n") << Lines{"10 END"};
    QTest::newRow("NUL and high bytes") << binary + "\r\n" << Lines{binary};
}

void TestOps::downloadLines() {
    QFETCH(QByteArray, file);
    QFETCH(Lines, wire);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    startDownload(f, file);
    QCOMPARE(f.dialogs().filters, QStringList{kBasDialogFilter});
    for (qsizetype i = 0; i < wire.size(); ++i) {
        QTRY_COMPARE(peer.received.size(), i + 1);
        QCOMPARE(peer.received[i], wire[i] + "\r\n");
        if (i + 1 < wire.size())
            QVERIFY(answer(f, peer, "OK\r\n"));
    }
    // Complete as soon as the last line is out; its OK is ordinary text.
    QCOMPARE(f.pane(), kCompleted);
    QCOMPARE(f.s().DownloadActive, 0);
    QVERIFY(answer(f, peer, "OK\r\n"));
    QCOMPARE(f.pane(), kCompleted + "OK\r\n");
    QTest::qWait(50);
    QCOMPARE(peer.received.size(), wire.size());
}

void TestOps::downloadRefused_data() {
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("pane");
    const QByteArray line2 = "LOAD DATA = 20 B" + kRefused;
    QTest::newRow("ERROR to line 2") << 2 << QByteArray("ERROR\r\n") << line2;
    QTest::newRow("ERROR OK") << 2 << QByteArray("ERROR OK\r\n") << line2;
    QTest::newRow("ERROR before Login") << 2 << QByteArray("ERROR Login:") << line2;
    QTest::newRow("ERROR to line 1") << 1 << QByteArray("ERROR\r\n") << "10 A\r\n" + kRefused;
}

void TestOps::downloadRefused() {
    QFETCH(int, line);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, pane);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    startDownload(f, "10 A\r\n20 B\r\n30 C\r\n");
    QTRY_COMPARE(peer.received.size(), 1);
    for (int n = 1; n < line; ++n) {
        QVERIFY(answer(f, peer, "OK\r\n"));
        QTRY_COMPARE(peer.received.size(), n + 1);
    }
    QVERIFY(answer(f, peer, reply));
    QCOMPARE(f.pane(), pane);
    QCOMPARE(f.s().DownloadActive, 0);
    QVERIFY(answer(f, peer, "OK\r\n"));
    QTest::qWait(50);
    QCOMPARE(peer.received.size(), qsizetype(line));
}

void TestOps::pendingLineReleases() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    f.c().Command9->click(); // no download: nothing
    startDownload(f, numberedLines(6, "\r\n"));
    QTRY_COMPARE(peer.received.size(), 1);
    // Any answer with OK releases the pending line, also the one to VER.
    f.c().Command13->click();
    QTRY_COMPARE(peer.received.size(), 2);
    QVERIFY(answer(f, peer, "VER 1.0 OK\r\n"));
    QCOMPARE(f.pane(), QByteArray("LOAD DATA = 20 PRINT 2"));
    // ">>" puts a second line in flight; each late OK then releases exactly one more.
    f.c().Command9->click();
    QCOMPARE(f.pane(), QByteArray("LOAD DATA = 30 PRINT 3"));
    QVERIFY(answer(f, peer, "OK\r\n"));
    QVERIFY(answer(f, peer, "OK\r\n"));
    // After "X" the next OK is only text.
    f.c().Command14->click();
    QCOMPARE(f.s().DownloadActive, 0);
    QVERIFY(answer(f, peer, "OK\r\n"));
    QTest::qWait(50);
    QCOMPARE(peer.received, (Lines{"10 PRINT 1\r\n", "VER\r\n", "20 PRINT 2\r\n", "30 PRINT 3\r\n",
                                   "40 PRINT 4\r\n", "50 PRINT 5\r\n"}));
    QCOMPARE(f.pane(), QByteArray("LOAD DATA = 50 PRINT 5OK\r\n"));
}

void TestOps::laterFilesSendOnlyTheirOwnLines() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    startDownload(f, "10 A\r\n20 B\r\n30 C\r\n");
    for (int n = 1; n <= 3; ++n) {
        QTRY_COMPARE(peer.received.size(), n);
        QVERIFY(answer(f, peer, "OK\r\n"));
    }
    startDownload(f, "40 D\r\n50 E\r\n");
    QTRY_COMPARE(peer.received.size(), 4);
    QVERIFY(answer(f, peer, "OK\r\n"));
    QTRY_COMPARE(peer.received.size(), 5);
    QCOMPARE(peer.received.mid(3), (Lines{"40 D\r\n", "50 E\r\n"}));
    QCOMPARE(f.pane(), kCompleted);
    QVERIFY(answer(f, peer, "OK\r\n"));
    // An empty file must not send what an earlier one left behind.
    f.c().Command2->click();
    startDownload(f, QByteArray());
    QCOMPARE(f.pane(), QByteArray("EMPTY FILE - NOTHING SENT\r\n"));
    QCOMPARE(f.s().DownloadActive, 0);
    QTest::qWait(50);
    QCOMPARE(peer.received.size(), 5);
}

void TestOps::saveEndAbandonsWaitingDownload() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    startDownload(f, "10 A\r\n20 B\r\n30 C\r\n");
    QTRY_COMPARE(peer.received.size(), 1);
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("out.bas")));
    f.c().Command11->click();
    QTRY_COMPARE(peer.received.size(), 2);
    QVERIFY(answer(f, peer, "OK\r\n"));
    QCOMPARE(f.pane(), kSaved);
    QCOMPARE(f.s().DownloadActive, 0);
    QVERIFY(answer(f, peer, "OK\r\n"));
    QTest::qWait(50);
    QCOMPARE(peer.received, (Lines{"10 A\r\n", "LIST\r\n"}));
    QCOMPARE(f.pane(), kSaved + "OK\r\n");
}

void TestOps::save_data() {
    QTest::addColumn<Lines>("replies");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("pane");
    QTest::addColumn<int>("listActive");
    const QByteArray binary = "10 REM " + QByteArray(1, '\0') + "\x80\xC0\xFF\r\n";
    QTest::newRow("listing then OK")
        << Lines{"10 A\r\n", "20 B\r\n", "OK\r\n"} << QByteArray("10 A\r\n20 B\r\n") << kSaved << 0;
    QTest::newRow("OK after the fifth character is data")
        << Lines{"10 REM OK\r\n", "1234OK\r\n", "OK\r\n"} << QByteArray("10 REM OK\r\n1234OK\r\n")
        << kSaved << 0;
    QTest::newRow("OK in the first five ends it") << Lines{"10 A\r\n", "10 OKAY\r\n", "20 B\r\n"}
                                                  << QByteArray("10 A\r\n") << kSaved + "20 B\r\n"
                                                  << 0;
    QTest::newRow("several lines in one answer")
        << Lines{"10 A\r\n20 B\r\n"} << QByteArray("10 A\r\n20 B\r\n")
        << QByteArray("LOAD DATA = 10 A\r\n20 B\r\n\r\n") << 1;
    QTest::newRow("bytes kept") << Lines{binary} << binary << "LOAD DATA = " + binary + "\r\n" << 1;
    QTest::newRow("Login inside a program line")
        << Lines{"10 A\r\n", "20 PRINT \"Login\"\r\n", "30 C\r\n"} << QByteArray("10 A\r\n")
        << QByteArray("LOAD DATA = 10 A\r\n\r\nACCESS DENIED\r\n30 C\r\n") << 0;
    QTest::newRow("OK at once empties the old file")
        << Lines{"OK\r\n"} << QByteArray() << kSaved << 0;
}

void TestOps::save() {
    QFETCH(Lines, replies);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, pane);
    QFETCH(int, listActive);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    f.writeFile(QStringLiteral("out.bas"), QByteArray(5000, 'Z'));
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("out.bas")));
    f.c().Command11->click();
    QCOMPARE(f.dialogs().filters, QStringList{kBasDialogFilter});
    QTRY_COMPARE(peer.received, Lines{"LIST\r\n"});
    for (const QByteArray& reply : replies)
        QVERIFY(answer(f, peer, reply));
    QCOMPARE(f.readFile(QStringLiteral("out.bas")), file);
    QCOMPARE(f.pane(), pane);
    QCOMPARE(f.s().ListActive, listActive);
    QCOMPARE(peer.received.size(), 1);
}

void TestOps::notStarted_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("file"); // empty: the dialog is cancelled
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("error"); // 0: the Cancel box
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("bar");
    const QString bas = kBasDialogFilter;
    const QString any = kAnyDialogFilter;
    QTest::newRow("download, cancelled") << "Command10"
                                         << "" << QByteArray() << 0 << bas << "NO FILE";
    QTest::newRow("download, missing file")
        << "Command10"
        << "missing.bas" << QByteArray() << 53 << bas << "NO FILE";
    QTest::newRow("download, 2049 lines")
        << "Command10"
        << "long.bas" << numberedLines(2049, "\r\n") << 9 << bas << "NO FILE";
    QTest::newRow("save, cancelled") << "Command11"
                                     << "" << QByteArray() << 0 << bas << "NO FILE";
    QTest::newRow("save, missing folder")
        << "Command11"
        << "no/dir/out.bas" << QByteArray() << 75 << bas << "NO FILE";
    QTest::newRow("flash send, missing file")
        << "Command3"
        << "missing.bin" << QByteArray() << 53 << any << "NO FILE";
    QTest::newRow("flash send, over 16 MiB")
        << "Command3"
        << "big.bin" << QByteArray("sparse") << 31001 << any << "NO FILE";
    QTest::newRow("flash receive, missing folder")
        << "Command4"
        << "no/dir/in.bin" << QByteArray() << 75 << any << "READ";
}

void TestOps::notStarted() {
    QFETCH(QString, button);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(int, error);
    QFETCH(QString, filter);
    QFETCH(QString, bar);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    if (content == "sparse") {
        QFile big(f.path(file));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(17 * 1024 * 1024)); // no real 17 MiB written
    } else if (!content.isEmpty()) {
        f.writeFile(file, content);
    }
    if (!file.isEmpty())
        f.dialogs().fileNames.enqueue(f.path(file));
    const QByteArray log = f.log();
    QPushButton* clicked = f.window().findChild<QPushButton*>(button);
    QVERIFY(clicked);
    clicked->click();
    QCOMPARE(f.dialogs().filters, QStringList{filter});
    QCOMPARE(f.dialogs().cancels, error == 0 ? 1 : 0);
    QCOMPARE(f.dialogs().errors.size(), error == 0 ? 0 : 1);
    if (error != 0)
        QCOMPARE(f.dialogs().errors[0].number, error);
    QCOMPARE(f.c().vbalProgressBar1->text(), bar);
    const SharedState& st = f.s();
    QCOMPARE((QList<int>{st.DownloadActive, st.ListActive, st.FlashSendActive, st.FlashRecvActive}),
             (QList<int>{0, 0, 0, 0}));
    QVERIFY(!QFile::exists(f.path(QStringLiteral("out.bas"))));
    QCOMPARE(f.pane(), QByteArray());
    QCOMPARE(f.log(), log);
    QTest::qWait(50);
    QVERIFY(peer.received.isEmpty());
}

void TestOps::boardRoundTrip_data() {
    QTest::addColumn<Link>("link");
    QTest::newRow("udp") << Link::Udp;
    QTest::newRow("pty") << Link::Pty;
}

void TestOps::boardRoundTrip() {
    QFETCH(Link, link);
    WindowFixture f;
    Board board(f);
    QVERIFY(board.attach(f, link));
    f.c().Command2->click();
    f.c().Command13->click();
    QTRY_COMPARE(f.pane(), QByteArray("VANTOR-SIM BASIC V1.0\r\n"));
    const QByteArray program = "10 PRINT \"HI\"\r\n20 FOR I=1 TO 3\r\n30 GOTO 10\r\n";
    startDownload(f, program);
    QTRY_COMPARE(f.pane(), kCompleted + "OK\r\n");
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("back.bas")));
    f.c().Command11->click();
    QTRY_COMPARE(f.pane(), kSaved);
    QCOMPARE(f.s().ListActive, 0);
    QCOMPARE(f.readFile(QStringLiteral("back.bas")), program);
    f.c().Command12->click();
    QTRY_COMPARE(f.pane(), kSaved + "OK\r\n");
    QVERIFY(board.controller.program().empty());
}

void TestOps::serialCommandLines() {
    WindowFixture f;
    PtyPair pty;
    QVERIFY(pty.ok());
    f.c().Comm_number->setText(pty.slavePath());
    f.c().BTNOpenCom->click();
    QVERIFY(f.window().serialLink().isOpen());
    QByteArray seen;
    const auto wire = [&] { return seen += pty.readAvailable(); };
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("s.bas")));
    f.c().Command11->click();
    QTRY_COMPARE(wire(), QByteArray("LISt\r\n"));
    pty.write("10 A\r\n");
    QTRY_COMPARE(f.readFile(QStringLiteral("s.bas")), QByteArray("10 A\r\n"));
    pty.write("OK\r\n");
    QTRY_COMPARE(f.pane(), kSaved);
    f.c().Command12->click();
    f.c().Command13->click();
    QTRY_COMPARE(wire(), QByteArray("LISt\r\nNEW\r\nVER\r\n"));
}

void TestOps::flashRoundTrip_data() {
    QTest::addColumn<int>("size");
    for (int size : {0, 1, 20, 21, 22, 42, 43, 10000})
        QTest::newRow(qPrintable(QStringLiteral("%1 bytes").arg(size))) << size;
}

void TestOps::flashRoundTrip() {
    QFETCH(int, size);
    QRandomGenerator random(20240611u + static_cast<quint32>(size));
    QByteArray data(size, Qt::Uninitialized);
    for (char& byte : data)
        byte = static_cast<char>(random.bounded(256));
    WindowFixture f;
    Board board(f);
    QVERIFY(board.attach(f, Link::Udp));
    f.c().Command2->click();
    ProgressBar* bar = f.c().vbalProgressBar1;
    f.writeFile(QStringLiteral("out.bin"), data);
    f.writeFile(QStringLiteral("in.bin"), QByteArray(size + 500, 'Z'));

    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("out.bin")));
    f.c().Command3->click();
    QTRY_COMPARE_WITH_TIMEOUT(bar->text(), QStringLiteral("OK"), 20000);
    // Nothing of the transfer reaches the pane; the answer to CLOSE does.
    QTRY_COMPARE(f.pane(), QByteArray("OK\r\n"));
    QFile onBoard(board.controller.flashDir() / "SAMPLE.TXT");
    QVERIFY(onBoard.open(QIODevice::ReadOnly));
    QCOMPARE(onBoard.readAll(), data);
    QCOMPARE(bar->maximum(), qint64(size));
    QCOMPARE(bar->value(), qint64(size) + 1);
    QCOMPARE(bar->fraction(), 1.0); // one past the maximum draws as full
    QCOMPARE(f.log().count("WRITE \""), qsizetype(qMax(1, (size + 20) / 21)));

    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("in.bin")));
    f.c().Command4->click();
    QCOMPARE(bar->text(), QStringLiteral("READ"));
    QTRY_COMPARE_WITH_TIMEOUT(bar->text(), QStringLiteral("OK"), 20000);
    QTRY_COMPARE(f.pane(), QByteArray("OK\r\nOK\r\n"));
    QCOMPARE(f.readFile(QStringLiteral("in.bin")), data);
    QCOMPARE(bar->value(), qint64(100));
    QCOMPARE(f.dialogs().filters, (QStringList{kAnyDialogFilter, kAnyDialogFilter}));
}

void TestOps::flashSend_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Lines>("replies");
    QTest::addColumn<Lines>("sent");
    QTest::addColumn<QString>("bar");
    QTest::addColumn<int>("value");
    const Lines ok2{"OK\r\n", "OK\r\n"};
    const QByteArray b21 = bytesFrom(0, 21);
    const QByteArray b43(43, '\x11');
    QTest::newRow("5, 10, 255") << QByteArray("\x05\x0A\xFF") << "A.TXT" << ok2
                                << Lines{"OPENWR \"A.TXT\"", "WRITE \"050AFF\"", "CLOSE"} << "OK"
                                << 4;
    QTest::newRow("21 bytes, one line")
        << b21 << "B" << ok2 << Lines{"OPENWR \"B\"", hexLine(b21), "CLOSE"} << "OK" << 22;
    QTest::newRow("22 bytes, two lines")
        << bytesFrom(0, 22) << "B" << Lines{"OK\r\n", "OK\r\n", "OK\r\n"}
        << Lines{"OPENWR \"B\"", hexLine(b21), "WRITE \"15\"", "CLOSE"} << "OK" << 23;
    QTest::newRow("empty name") << QByteArray("\x01") << "" << ok2
                                << Lines{"OPENWR \"\"", "WRITE \"01\"", "CLOSE"} << "OK" << 2;
    QTest::newRow("empty file") << QByteArray() << "E" << ok2
                                << Lines{"OPENWR \"E\"", "WRITE \"\"", "CLOSE"} << "OK" << 1;
    QTest::newRow("other text ignored")
        << QByteArray("\xAB") << "X" << Lines{"OK\r\n", "BUSY\r\n", "OK\r\n"}
        << Lines{"OPENWR \"X\"", "WRITE \"AB\"", "CLOSE"} << "OK" << 2;
    QTest::newRow("ERROR to the open line")
        << b43 << "X" << Lines{"ERROR\r\n"} << Lines{"OPENWR \"X\"", "CLOSE"} << "ERROR" << 0;
    QTest::newRow("ERROR OK to a data line")
        << b43 << "X" << Lines{"OK\r\n", "ERROR OK\r\n"}
        << Lines{"OPENWR \"X\"", hexLine(b43.left(21)), "CLOSE"} << "ERROR" << 22;
}

void TestOps::flashSend() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(Lines, replies);
    QFETCH(Lines, sent);
    QFETCH(QString, bar);
    QFETCH(int, value);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    f.c().Text2->setText(name);
    f.writeFile(QStringLiteral("f.bin"), bytes);
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("f.bin")));
    f.c().Command3->click();
    QCOMPARE(f.dialogs().filters, QStringList{kAnyDialogFilter});
    QTRY_COMPARE(peer.received.size(), 1);
    for (const QByteArray& reply : replies) {
        QVERIFY(answer(f, peer, reply));
        // The console line shows the last line sent.
        QTRY_COMPARE(f.c().tbSendData->text().toLatin1() + "\r\n", peer.received.last());
    }
    QTRY_COMPARE(peer.received.size(), sent.size());
    for (qsizetype i = 0; i < sent.size(); ++i) {
        QCOMPARE(peer.received[i], sent[i] + "\r\n");
        QVERIFY(f.log().contains(sent[i] + "\r\n"));
    }
    QCOMPARE(f.c().vbalProgressBar1->text(), bar);
    QCOMPARE(f.c().vbalProgressBar1->value(), qint64(value));
    QCOMPARE(f.s().FlashSendActive, 0);
    QCOMPARE(f.pane(), QByteArray());
    QVERIFY(answer(f, peer, "CLOSED\r\n"));
    QCOMPARE(f.pane(), QByteArray("CLOSED\r\n"));
}

void TestOps::flashReceive_data() {
    QTest::addColumn<Lines>("replies");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("reads");
    QTest::addColumn<QString>("bar");
    const QByteArray data40 = bytesFrom(0, 20).toHex().toUpper();
    QTest::newRow("ND at the start") << Lines{"OK\r\n", "ND\r\n"} << QByteArray() << 1 << "OK";
    QTest::newRow("5 digits before ND")
        << Lines{"OK\r\n", "01020ND\r\n"} << QByteArray("\x01\x02") << 1 << "OK";
    QTest::newRow("6 digits before ND")
        << Lines{"OK\r\n", "01020AND\r\n"} << QByteArray("\x01\x02\x0A") << 1 << "OK";
    QTest::newRow("ND inside a word")
        << Lines{"OK\r\n", "0A0BENDING"} << QByteArray("\x0A\x0B") << 1 << "OK";
    QTest::newRow("data, OK, end") << Lines{"OK\r\n", data40 + "\r\n", "OK\r\n", "FFND\r\n"}
                                   << bytesFrom(0, 20) + "\xFF" << 2 << "OK";
    QTest::newRow("lower case and short data")
        << Lines{"OK\r\n", "0a0B\r\n", "1", "OK\r\n", "ND\r\n"}
        << QByteArray(1, '\0') + "\x0B" + QByteArray(18, '\0') + "\x01" + QByteArray(19, '\0') << 2
        << "OK";
    QTest::newRow("ERROR to the open line") << Lines{"ERROR\r\n"} << QByteArray() << 0 << "ERROR";
    QTest::newRow("ERROR after data")
        << Lines{"OK\r\n", data40 + "\r\n", "ERROR\r\n"} << bytesFrom(0, 20) << 1 << "ERROR";
    QTest::newRow("ERROR and ND") << Lines{"OK\r\n", "0102ERROR ND\r\n"} << QByteArray() << 1
                                  << "ERROR";
}

void TestOps::flashReceive() {
    QFETCH(Lines, replies);
    QFETCH(QByteArray, file);
    QFETCH(int, reads);
    QFETCH(QString, bar);
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    f.writeFile(QStringLiteral("in.bin"), QByteArray(100, 'Z'));
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("in.bin")));
    f.c().Command4->click();
    QTRY_COMPARE(peer.received.size(), 1);
    for (const QByteArray& reply : replies)
        QVERIFY(answer(f, peer, reply));
    Lines sent{"OPENRD \"SAMPLE.TXT\"\r\n"};
    for (int n = 0; n < reads; ++n)
        sent << "READ 20\"\r\n";
    sent << "CLOSE\r\n";
    QTRY_COMPARE(peer.received, sent);
    QCOMPARE(f.readFile(QStringLiteral("in.bin")), file);
    QCOMPARE(f.c().vbalProgressBar1->text(), bar);
    QCOMPARE(f.s().FlashRecvActive, 0);
    QCOMPARE(f.c().tbSendData->text(), QStringLiteral("CLOSE"));
    QCOMPARE(f.pane(), QByteArray());
    QVERIFY(answer(f, peer, "CLOSED\r\n"));
    QCOMPARE(f.pane(), QByteArray("CLOSED\r\n"));
}

void TestOps::endThenReceiveProgress() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    // "End" with no transfer running still closes on the board.
    f.c().Command5->click();
    QTRY_COMPARE(peer.received, Lines{"CLOSE\r\n"});
    QVERIFY(f.log().endsWith("CLOSE\r\n"));
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("in.bin")));
    f.c().Command4->click();
    QTRY_COMPARE(peer.received.size(), 2);
    QVERIFY(answer(f, peer, "OK\r\n"));
    const QByteArray data = QByteArray(40, '0') + "\r\n";
    const qsizetype before = f.log().size();
    for (int n = 0; n < 100; ++n)
        peer.reply(data);
    QTRY_COMPARE(f.log().size(), before + 100 * data.size());
    QCOMPARE(f.c().vbalProgressBar1->value(), qint64(0));
    QVERIFY(answer(f, peer, data));
    QCOMPARE(f.c().vbalProgressBar1->value(), qint64(1));
    QCOMPARE(f.c().vbalProgressBar1->maximum(), qint64(100));
    QCOMPARE(f.readFile(QStringLiteral("in.bin")), QByteArray(101 * 20, '\0'));
}

void TestOps::failedReceiveLeavesSendRunning() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    const QByteArray data = bytesFrom(1, 30);
    f.writeFile(QStringLiteral("f.bin"), data);
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("f.bin")));
    f.c().Command3->click();
    QTRY_COMPARE(peer.received.size(), 1);
    f.dialogs().fileNames.enqueue(f.path(QStringLiteral("missing/out.bin")));
    f.c().Command4->click();
    QCOMPARE(f.dialogs().errors.size(), 1);
    QCOMPARE(f.dialogs().errors[0].number, 75);
    QVERIFY(answer(f, peer, "OK\r\n"));
    QTRY_COMPARE(peer.received.size(), 2);
    QCOMPARE(peer.received[1], hexLine(data.left(21)) + "\r\n");
    QVERIFY(answer(f, peer, "OK\r\n"));
    QTRY_COMPARE(peer.received.size(), 3);
    QCOMPARE(peer.received[2], hexLine(data.mid(21)) + "\r\n");
}

void TestOps::saveOntoFullDisk() {
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(connected(f, peer));
    f.dialogs().fileNames.enqueue(QStringLiteral("/dev/full"));
    f.c().Command11->click();
    QTRY_COMPARE(peer.received.size(), 1);
    QVERIFY(answer(f, peer, "10 PRINT 1\r\n"));
    QTRY_COMPARE(f.dialogs().errors.size(), 1);
    QCOMPARE(f.dialogs().errors[0].number, 61);
    // The capture stays on after the failed write; the closing OK still ends it.
    QCOMPARE(f.s().ListActive, 1);
    QVERIFY(answer(f, peer, "OK\r\n"));
    QTRY_COMPARE(f.s().ListActive, 0);
    QCOMPARE(f.pane(), kSaved);
}

QTEST_MAIN(TestOps)
#include "tst_ops.moc"
