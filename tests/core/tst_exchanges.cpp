// The controller exchanges as tables: each row a file or a list of replies, fed to the
// exchange as the window or the command-line tool would, and what it answered: lines
// sent, bytes stored, the pane as the effects leave it, the progress and the outcome.

#include "core/failure.h"
#include "core/flash_read.h"
#include "core/flash_write.h"
#include "core/listing_capture.h"
#include "core/program_download.h"
#include "core/protocol.h"

#include <QtTest>

using namespace vantor::core;
using B = QByteArray;
using L = QByteArrayList;

Q_DECLARE_METATYPE(vantor::core::Link)
Q_DECLARE_METATYPE(vantor::core::Outcome)

namespace {

const B kDone = B(kSendCompleted.data());
const B kRefused = B(kSourceError.data());
const B kDenied = B(kAccessDenied.data());
const B kSaved = B(kLoadCompleted.data());

std::string_view sv(const B& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

// Everything the caller of an exchange would have done, added up.
struct Record {
    L sent;
    B stored;
    B pane;
    qint64 progress = -1;
    Outcome outcome = Outcome::Running;

    void take(const Step& step) {
        if (!step.send.empty())
            sent << B::fromStdString(step.send);
        stored += B::fromStdString(step.store);
        if (step.pane.kind == PaneEffect::Kind::Append)
            pane += B::fromStdString(step.pane.text);
        else if (step.pane.kind == PaneEffect::Kind::Replace)
            pane = B::fromStdString(step.pane.text);
        if (step.progress)
            progress = *step.progress;
        if (step.finished())
            outcome = step.outcome;
    }
};

L wireLines(const L& lines) {
    L out;
    for (const B& line : lines)
        out << line + "\r\n";
    return out;
}

B numbered(int count) {
    B file;
    for (int n = 1; n <= count; ++n)
        file += B::number(n * 10) + " P\r\n";
    return file;
}

B bytesFrom(int first, int count) {
    B bytes;
    for (int i = 0; i < count; ++i)
        bytes += char(first + i);
    return bytes;
}

B writeOf(const B& bytes) {
    return "WRITE \"" + bytes.toHex().toUpper() + "\"\r\n";
}

} // namespace

class TstExchanges : public QObject {
    Q_OBJECT

private slots:
    void markers_data() {
        QTest::addColumn<B>("reply");
        QTest::addColumn<int>("marker");
        QTest::addColumn<bool>("holds");
        const auto row = [](const char* name, Reply marker, bool holds) {
            QTest::newRow(name) << B(name) << int(marker) << holds;
        };
        row("xxOKxx", Reply::Ok, true);
        row("ok", Reply::Ok, false);
        row("10 OKAY", Reply::OkNearStart, true);
        row("123OK", Reply::OkNearStart, true);
        row("1234OK", Reply::OkNearStart, false);
        row("Enter Password:", Reply::Login, true);
        row("  Login  ", Reply::Login, true);
        row("login:", Reply::Login, false);
        row("0A0BENDING", Reply::EndOfData, true);
        row("12nd", Reply::EndOfData, false);
        row("ERRO", Reply::Error, false);
    }
    void markers() {
        QFETCH(B, reply);
        QFETCH(int, marker);
        QFETCH(bool, holds);
        QCOMPARE(matches(sv(reply), Reply(marker)), holds);
        QCOMPARE(classify(sv(reply), {Reply::Error, Reply(marker)}),
                 holds ? Reply(marker) : Reply::Other);
    }

    // A file goes out line by line, each released by an OK.
    void downloadLines_data() {
        QTest::addColumn<B>("file");
        QTest::addColumn<L>("lines");
        const B zeroLong = '0' + B(149, 'x');
        const B binary = "10 REM " + B(1, '\0') + bytesFrom(128, 128);
        L many;
        for (int n = 1; n <= 2048; ++n)
            many << B::number(n * 10) + " P";
        QTest::newRow("0010 PRINT X") << B("0010 PRINT X\r\n") << L{"10 PRINT X"};
        QTest::newRow("0000") << B("0000\r\n") << L{"0"};
        QTest::newRow("00005 REM") << B("00005 REM\r\n") << L{"05 REM"};
        QTest::newRow("just 0") << B("0\r\n10 A\r\n") << L{"", "10 A"};
        QTest::newRow("blank first") << B(" 010") << L{" 010"};
        QTest::newRow("150 characters from 0") << zeroLong + "\r\n" << L{zeroLong.mid(1)};
        QTest::newRow("300 characters") << B(300, '7') << L{B(300, '7')};
        QTest::newRow("blank lines and blanks kept")
            << B("10 A\r\n\r\n  20 B  \r\n") << L{"10 A", "", "  20 B  "};
        QTest::newRow("CR, LF, CR LF, CR CR") << B("10 A\r20 B\n30 C\r\n40 D\r\r50 E")
                                              << L{"10 A", "20 B", "30 C", "40 D", "", "50 E"};
        QTest::newRow("one end at the very end") << B("10 A\r\n\r\n") << L{"10 A", ""};
        QTest::newRow("NUL and high bytes") << binary + "\r\n" << L{binary};
        QTest::newRow("2048 lines") << numbered(2048) << many;
    }
    void downloadLines() {
        QFETCH(B, file);
        QFETCH(L, lines);
        ProgramDownload download = ProgramDownload::fromFile(sv(file));
        Record r;
        r.take(download.start());
        while (r.outcome == Outcome::Running && r.sent.size() <= lines.size())
            r.take(download.onReply("OK\r\n", Link::Udp));
        QCOMPARE(r.sent, wireLines(lines));
        QCOMPARE(r.pane, kDone); // complete as soon as the last line is out
        QCOMPARE(r.outcome, Outcome::Done);
        QCOMPARE(download.position(), 0);
        // Its answer is no longer the download's.
        QVERIFY(download.onReply("OK", Link::Udp).send.empty());
    }

    void downloadLimits() {
        bool refused = false;
        try {
            ProgramDownload::fromFile(sv(numbered(2049)));
        } catch (const Failure& failure) {
            refused = failure.number() == 9;
        }
        QVERIFY(refused);
        // An empty file must not leave anything waiting for an answer.
        ProgramDownload empty = ProgramDownload::fromFile("");
        Record r;
        r.take(empty.start());
        QCOMPARE(r.sent, L{});
        QCOMPARE(r.pane, B(kEmptyProgram.data()));
        QCOMPARE(r.outcome, Outcome::Done);
        QVERIFY(!empty.running());
    }

    // Three lines; ">>" stands for the operator's click on it.
    void downloadReplies_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<L>("replies");
        QTest::addColumn<int>("sent");
        QTest::addColumn<B>("pane");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("position");
        const Link udp = Link::Udp, serial = Link::Serial;
        const B line2 = "LOAD DATA = 20 B";
        QTest::newRow("ERROR to line 2") << udp << L{"OK", "ERROR\r\n"} << 2 << line2 + kRefused
                                         << Outcome::Failed << 2;
        QTest::newRow("ERROR OK") << serial << L{"OK", "ERROR OK"} << 2 << line2 + kRefused
                                  << Outcome::Failed << 2;
        QTest::newRow("ERROR before Login") << udp << L{"OK", "ERROR Login:"} << 2
                                            << line2 + kRefused << Outcome::Failed << 2;
        QTest::newRow("ERROR to line 1")
            << udp << L{"ERROR"} << 1 << "10 A\n" + kRefused << Outcome::Failed << 1;
        QTest::newRow("Login") << udp << L{"  Login  "} << 1 << "10 A\n" + kDenied
                               << Outcome::Denied << 1;
        QTest::newRow("Passwor after a line") << udp << L{"OK", "Password:"} << 2 << line2 + kDenied
                                              << Outcome::Denied << 2;
        QTest::newRow("Login over serial is text")
            << serial << L{"Login:"} << 1 << B("10 A\nLogin:\r\n") << Outcome::Running << 1;
        QTest::newRow("login in lower case is text")
            << udp << L{"login"} << 1 << B("10 A\nlogin\r\n") << Outcome::Running << 1;
        QTest::newRow("empty answer") << serial << L{""} << 1 << B("10 A\n\r\n")
                                      << Outcome::Running << 1;
        QTest::newRow("OK inside a longer text")
            << udp << L{"VER 1.0 OK\r\n"} << 2 << line2 << Outcome::Running << 2;
        QTest::newRow(">> puts a second line in flight")
            << udp << L{">>", "OK"} << 3 << kDone << Outcome::Done << 0;
        QTest::newRow("late OK after completion sends nothing")
            << serial << L{"OK", "OK", "OK", ">>"} << 3 << kDone << Outcome::Done << 0;
    }
    void downloadReplies() {
        QFETCH(Link, link);
        QFETCH(L, replies);
        QFETCH(int, sent);
        QFETCH(B, pane);
        QFETCH(Outcome, outcome);
        QFETCH(int, position);
        ProgramDownload download = ProgramDownload::fromFile("10 A\r\n20 B\r\n30 C\r\n");
        Record r;
        r.take(download.start());
        for (const B& reply : replies)
            r.take(reply == ">>" ? download.sendNext() : download.onReply(sv(reply), link));
        QCOMPARE(r.sent, wireLines(L{"10 A", "20 B", "30 C"}.mid(0, sent)));
        QCOMPARE(r.pane, pane);
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(download.position(), position);
        QCOMPARE(download.running(), outcome == Outcome::Running);
    }

    void capture_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<L>("replies");
        QTest::addColumn<B>("stored");
        QTest::addColumn<B>("pane");
        QTest::addColumn<Outcome>("outcome");
        const Link udp = Link::Udp, serial = Link::Serial;
        const B binary = "10 REM " + B(1, '\0') + "\x80\xC0\xFF\r\n";
        QTest::newRow("listing then OK")
            << udp << L{"10 A\r\n", "20 B\r\n", "OK\r\n"} << B("10 A\r\n20 B\r\n") << kSaved
            << Outcome::Done;
        QTest::newRow("OK after the fifth character is data")
            << serial << L{"10 REM OK\r\n", "1234OK\r\n", "OK"} << B("10 REM OK\r\n1234OK\r\n")
            << kSaved << Outcome::Done;
        QTest::newRow("OK in the first five ends it")
            << udp << L{"10 A\r\n", "10 OKAY\r\n"} << B("10 A\r\n") << kSaved << Outcome::Done;
        QTest::newRow("several lines in one answer")
            << udp << L{"10 A\r\n20 B\r\n"} << B("10 A\r\n20 B\r\n")
            << B("LOAD DATA = 10 A\r\n20 B\r\n\r\n") << Outcome::Running;
        QTest::newRow("bytes kept") << serial << L{binary} << binary
                                    << "LOAD DATA = " + binary + "\r\n" << Outcome::Running;
        QTest::newRow("empty answer") << serial << L{""} << B() << B("LOAD DATA = \r\n")
                                      << Outcome::Running;
        QTest::newRow("Login inside a program line")
            << udp << L{"10 A\r\n", "20 PRINT \"Login\"\r\n"} << B("10 A\r\n")
            << B("LOAD DATA = 10 A\r\n\r\n") + kDenied << Outcome::Denied;
        QTest::newRow("Passwor over serial is data")
            << serial << L{"Password"} << B("Password") << B("LOAD DATA = Password\r\n")
            << Outcome::Running;
    }
    void capture() {
        QFETCH(Link, link);
        QFETCH(L, replies);
        QFETCH(B, stored);
        QFETCH(B, pane);
        QFETCH(Outcome, outcome);
        const ListingCapture capture;
        Record r;
        for (const B& reply : replies)
            r.take(capture.onReply(sv(reply), link));
        QCOMPARE(r.stored, stored);
        QCOMPARE(r.pane, pane);
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(r.sent, L{});
        QCOMPARE(ListingCapture::command(Link::Udp), kListUdp);
        QCOMPARE(ListingCapture::command(Link::Serial), kListSerial);
    }

    void flashWrite_data() {
        QTest::addColumn<B>("file");
        QTest::addColumn<L>("replies");
        QTest::addColumn<L>("sent"); // after the Open line
        QTest::addColumn<qint64>("progress");
        QTest::addColumn<Outcome>("outcome");
        const B b43(43, '\x11');
        QTest::newRow("5, 10, 255") << B("\x05\x0A\xFF") << L{"OK", "OK"}
                                    << L{"WRITE \"050AFF\"\r\n"} << 4LL << Outcome::Done;
        QTest::newRow("21 bytes, one line")
            << bytesFrom(0, 21) << L{"OK", "OK"} << L{writeOf(bytesFrom(0, 21))} << 22LL
            << Outcome::Done;
        QTest::newRow("22 bytes, two lines")
            << bytesFrom(0, 22) << L{"OK", "OK", "OK"}
            << L{writeOf(bytesFrom(0, 21)), B("WRITE \"15\"\r\n")} << 23LL << Outcome::Done;
        QTest::newRow("43 bytes, 21 + 21 + 1")
            << b43 << L{"OK", "OK", "OK", "OK"}
            << L{writeOf(b43.left(21)), writeOf(b43.left(21)), writeOf(b43.left(1))} << 44LL
            << Outcome::Done;
        QTest::newRow("empty file") << B() << L{"OK", "OK"} << L{B("WRITE \"\"\r\n")} << 1LL
                                    << Outcome::Done;
        QTest::newRow("other text changes nothing")
            << B("\xAB") << L{"OK", "BUSY", "OK"} << L{B("WRITE \"AB\"\r\n")} << 2LL
            << Outcome::Done;
        QTest::newRow("ERROR to the open line")
            << b43 << L{"ERROR"} << L{} << -1LL << Outcome::Failed;
        QTest::newRow("ERROR OK to a data line")
            << b43 << L{"OK", "ERROR OK"} << L{writeOf(b43.left(21))} << 22LL << Outcome::Failed;
    }
    void flashWrite() {
        QFETCH(B, file);
        QFETCH(L, replies);
        QFETCH(L, sent);
        QFETCH(qint64, progress);
        QFETCH(Outcome, outcome);
        FlashWrite write(file.toStdString(), "A.TXT");
        QCOMPARE(B::fromStdString(write.open().send), B("OPENWR \"A.TXT\"\r\n"));
        Record r;
        for (const B& reply : replies)
            r.take(write.onReply(sv(reply)));
        QCOMPARE(r.sent, sent);
        QCOMPARE(r.progress, progress);
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(write.total(), qint32(file.size()));
        QCOMPARE(write.lastChunkSent(), outcome == Outcome::Done);
    }

    void flashRead_data() {
        QTest::addColumn<L>("replies");
        QTest::addColumn<B>("stored");
        QTest::addColumn<int>("reads");
        QTest::addColumn<qint64>("progress");
        QTest::addColumn<Outcome>("outcome");
        const B data40 = bytesFrom(0, 20).toHex().toUpper();
        L hundred{"OK"}, hundredOne{"OK"};
        for (int n = 0; n < 100; ++n)
            hundred << B(40, '0');
        hundredOne = hundred + L{B(40, '0')};
        QTest::newRow("ND at the start") << L{"OK", "ND\r\n"} << B() << 1 << 100LL << Outcome::Done;
        QTest::newRow("5 digits before ND")
            << L{"OK", "01020ND"} << B("\x01\x02") << 1 << 100LL << Outcome::Done;
        QTest::newRow("6 digits before ND")
            << L{"OK", "01020AND"} << B("\x01\x02\x0A") << 1 << 100LL << Outcome::Done;
        QTest::newRow("ND inside a word")
            << L{"OK", "0A0BENDING"} << B("\x0A\x0B") << 1 << 100LL << Outcome::Done;
        QTest::newRow("data, OK, end") << L{"OK", data40 + "\r\n", "OK", "FFND\r\n"}
                                       << bytesFrom(0, 20) + "\xFF" << 2 << 100LL << Outcome::Done;
        QTest::newRow("lower case and short data")
            << L{"OK", "0a0B\r\n", "1"} << B(1, '\0') + "\x0B" + B(18, '\0') + "\x01" + B(19, '\0')
            << 1 << 2LL << Outcome::Running;
        QTest::newRow("over 40 digits") << L{"OK", data40 + "ABCD"} << bytesFrom(0, 20) << 1 << 1LL
                                        << Outcome::Running;
        QTest::newRow("first ND counts") << L{"01ND02ND"} << B("\x01") << 0 << 100LL << Outcome::Done;
        QTest::newRow("ERROR to the open line") << L{"ERROR"} << B() << 0 << -1LL << Outcome::Failed;
        QTest::newRow("ERROR after data")
            << L{"OK", data40, "ERROR"} << bytesFrom(0, 20) << 1 << 1LL << Outcome::Failed;
        QTest::newRow("ERROR and ND") << L{"OK", "0102ERROR ND"} << B() << 1 << -1LL
                                      << Outcome::Failed;
        QTest::newRow("100 data replies") << hundred << B(2000, '\0') << 1 << 0LL << Outcome::Running;
        QTest::newRow("101 data replies")
            << hundredOne << B(2020, '\0') << 1 << 1LL << Outcome::Running;
    }
    void flashRead() {
        QFETCH(L, replies);
        QFETCH(B, stored);
        QFETCH(int, reads);
        QFETCH(qint64, progress);
        QFETCH(Outcome, outcome);
        FlashRead read("r");
        QCOMPARE(B::fromStdString(read.open().send), B("OPENRD \"r\"\r\n"));
        Record r;
        for (const B& reply : replies)
            r.take(read.onReply(sv(reply)));
        QCOMPARE(r.stored, stored);
        QCOMPARE(r.sent, L(reads, "READ 20\"\r\n"));
        QCOMPARE(r.progress, progress);
        QCOMPARE(r.outcome, outcome);
    }
};

QTEST_GUILESS_MAIN(TstExchanges)
#include "tst_exchanges.moc"
