// What vantor prints for people, as tables: the progress line and its pace, the port list,
// and what vantor term shows of the board's bytes and makes of its keys.

#include "fleet/output.h"
#include "jobs/progress.h"
#include "link/ports.h"
#include "term/term_text.h"

#include <QTest>

using namespace vantor::cli;

Q_DECLARE_METATYPE(vantor::cli::Progress)

class TestCliText : public QObject {
    Q_OBJECT
private slots:
    void progressText_data() {
        QTest::addColumn<Progress>("progress");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, Progress p, double s, const char* text) {
            QTest::newRow(name) << p << s << QString::fromUtf8(text);
        };
        row("start", {"put", 0, 1 << 20, Unit::Bytes}, 0, "put: 0 bytes of 1.0 MiB (0 %)");
        row("too early for a rate", {"put", 4096, 1 << 20, Unit::Bytes}, 0.1,
            "put: 4.0 KiB of 1.0 MiB (0 %)");
        row("half, rate, time left", {"put", 1 << 19, 1 << 20, Unit::Bytes}, 2,
            "put: 512.0 KiB of 1.0 MiB (50 %), 256.0 KiB/s, 2 s left");
        row("the end", {"put", 1 << 20, 1 << 20, Unit::Bytes}, 4,
            "put: 1.0 MiB of 1.0 MiB (100 %), 256.0 KiB/s");
        row("under a second left", {"put", 1000, 1001, Unit::Bytes}, 1,
            "put: 1000 bytes of 1001 bytes (99 %), 1000 bytes/s, 1 s left");
        row("minutes left", {"download", 10, 2048, Unit::Lines}, 5,
            "download: 10 of 2048 lines (0 %), 2.0 lines/s, 16 min 59 s left");
        row("size unknown", {"get", 3 * 1024 * 1024 / 2, -1, Unit::Bytes}, 3,
            "get: 1.5 MiB, 512.0 KiB/s");
        row("empty file", {"put", 0, 0, Unit::Bytes}, 1, "put: 0 bytes of 0 bytes (100 %)");
    }
    void progressText() {
        QFETCH(Progress, progress);
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(vantor::cli::progressText(progress, seconds), text);
    }

    // At most one draw per 100 ms, whatever the pace of updates; the last one always; a
    // new phase starts its own pace and its own rate.
    void progressPace() {
        ProgressLine line;
        Progress p{"put", 0, 100, Unit::Bytes};
        QStringList drawn;
        const auto at = [&](qint64 ms, qint64 done, bool final = false) {
            p.done = done;
            if (const auto text = line.update(p, ms, final))
                drawn << QStringLiteral("%1:%2").arg(ms).arg(p.done);
        };
        for (qint64 ms = 1000; ms < 1300; ms += 7)
            at(ms, (ms - 1000) / 3);
        at(1301, 100, true);
        p.phase = QStringLiteral("verify");
        at(1302, 0);
        QCOMPARE(drawn, QStringList({"1000:0", "1105:35", "1210:70", "1301:100", "1302:0"}));
        QVERIFY(line.update({"verify", 50, 100, Unit::Bytes}, 2302)->contains("50 bytes/s"));
    }

    void portTable_data() {
        QTest::addColumn<QList<PortRow>>("ports");
        QTest::addColumn<QString>("table");
        QTest::newRow("none") << QList<PortRow>{} << QString();
        QTest::newRow("names only: no empty columns")
            << QList<PortRow>{{"/dev/ttyS0", "", "", ""}} << "PORT\n/dev/ttyS0\n";
        QTest::newRow("a column one port fills")
            << QList<PortRow>{{"/dev/ttyS0", "", "", ""}, {"/dev/ttyUSB0", "", "FTDI", ""}}
            << "PORT          MAKER\n/dev/ttyS0\n/dev/ttyUSB0  FTDI\n";
        QTest::newRow("a header wider than its values")
            << QList<PortRow>{{"COM3", "USB", "", "A1"}}
            << "PORT  DESCRIPTION  SERIAL\nCOM3  USB          A1\n";
    }
    void portTable() {
        QFETCH(QList<PortRow>, ports);
        QFETCH(QString, table);
        QCOMPARE(vantor::cli::portTable(ports), table);
    }

    // Chunks as they come off the link, each with the stamp "T "; "<open>" takes the open
    // part of the line as a quiet moment does.
    void receivedText_data() {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArray>("shown");
        const auto row = [](const char* name, QByteArrayList chunks, QByteArray shown) {
            QTest::newRow(name) << chunks << shown;
        };
        row("a line", {"OK\r\n"}, "T OK\r\n");
        row("cut at a datagram boundary", {"VANT", "OR\r\n"}, "T VANTOR\r\n");
        row("CR LF cut between them", {"A\r", "\nB\r\n"}, "T A\r\nT B\r\n");
        row("CR alone, LF alone", {"A\rB\nC\r"}, "T A\r\nT B\r\nT C\r\n");
        row("empty lines kept", {"\r\n\r\n"}, "T \r\nT \r\n");
        row("control bytes shown, not obeyed", {"\x1b[2J\x07\tx\x7f\r\n"}, "T ^[[2J^G\tx^?\r\n");
        row("a C1 control shown, not obeyed", {"\x98\r\n"}, "T \\x98\r\n");
        row("code page to UTF-8", {"\xc0\xff\r\n"}, "T \xd0\x90\xd1\x8f\r\n");
        row("an open part, then its end", {"abc", "<open>", "\r\n"}, "T abc\r\n");
        row("an open part, then more", {"ab", "<open>", "cd\r\n"}, "T ab\r\ncd\r\n");
        row("nothing open", {"x\r\n", "<open>"}, "T x\r\n");
        row("a line that never ends is cut", {QByteArray(4100, 'a')},
            "T " + QByteArray(4096, 'a') + "\r\n");
    }
    void receivedText() {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArray, shown);
        ReceivedText text(vantor::core::CodePage::defaultPage());
        std::string out;
        for (const QByteArray& chunk : chunks)
            out += chunk == "<open>" ? text.openPart() : text.take(chunk.toStdString(), "T ");
        QCOMPARE(QByteArray::fromStdString(out), shown);
    }

    void hexAndStamps() {
        QCOMPARE(hexRows("OK\r\n", "T "), "T 4F 4B 0D 0A " + std::string(36, ' ') + " |OK..|\r\n");
        const std::string rows = hexRows(std::string(17, 'A'), "");
        QCOMPARE(rows.substr(rows.find("|\r\n") + 3), "41 " + std::string(45, ' ') + " |A|\r\n");
        QCOMPARE(hexRows("", "T "), "");
        QCOMPARE(clockStamp(0), "00:00:00.000 ");
        QCOMPARE(clockStamp(45296789), "12:34:56.789 ");
    }

    void prefixKey_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key"); // -1: refused
        for (const auto& [text, key] :
             std::initializer_list<std::pair<const char*, int>>{{"^T", 0x14},
                                                                {"^t", 0x14},
                                                                {"C-]", 0x1D},
                                                                {"ctrl-a", 1},
                                                                {"Ctrl+X", 0x18},
                                                                {"^C", -1},
                                                                {"^D", -1},
                                                                {"^M", -1},
                                                                {"^[", -1},
                                                                {"^S", -1},
                                                                {"T", -1},
                                                                {"^TT", -1},
                                                                {"^1", -1},
                                                                {"", -1}})
            QTest::newRow(text) << QString::fromLatin1(text) << key;
    }
    void prefixKey() {
        QFETCH(QString, text);
        QFETCH(int, key);
        const auto parsed = vantor::cli::prefixKey(text.toStdString());
        QCOMPARE(parsed ? int(*parsed) : -1, key);
        if (parsed)
            QCOMPARE(keyName(*parsed).substr(0, 5), "Ctrl-");
    }

    void completeName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("insert");
        QTest::addColumn<QStringList>("others");
        QTest::newRow("one fits") << "dir/bl"
                                  << "ink.bas" << QStringList{};
        QTest::newRow("a folder") << "exa"
                                  << "mples/" << QStringList{};
        QTest::newRow("two share a start") << "e"
                                           << "x" << QStringList{"examples/", "extra.bas"};
        QTest::newRow("nothing typed: no hidden names")
            << ""
            << "" << QStringList{"blink.bas", "examples/", "extra.bas"};
        QTest::newRow("a hidden name asked for") << "."
                                                 << "hidden" << QStringList{};
        QTest::newRow("none fits") << "zz"
                                   << "" << QStringList{};
    }
    void completeName() {
        QFETCH(QString, typed);
        QFETCH(QString, insert);
        QFETCH(QStringList, others);
        const Completion c = vantor::cli::completeName(
            typed.toStdString(), {"examples/", "extra.bas", ".hidden", "blink.bas"});
        QCOMPARE(QString::fromStdString(c.insert), insert);
        QStringList got;
        for (const std::string& name : c.others)
            got << QString::fromStdString(name);
        QCOMPARE(got, others);
    }

    // Failures first (the worst on top, the skipped after them), the same message with
    // another address in one group, and a long group counted rather than named.
    void closingTable() {
        QList<Result> results;
        const auto add = [&](const QString& board, Status status, const QString& message) {
            Result r;
            r.board = board;
            r.status = status;
            r.message = message;
            results << r;
        };
        for (int i = 1; i <= 10; ++i)
            add(QStringLiteral("b%1").arg(i), Status::Done, "ver: done");
        add("r1", Status::Refused, "ver: \"VER\" refused by r1: ERROR");
        add("s1", Status::Skipped, "ver: skipped: a canary failed");
        add("r2", Status::Refused, "ver: \"VER\" refused by r2: ERROR");
        add("n1", Status::NoAnswer, "ver: no answer from n1");
        QCOMPARE(vantor::cli::closingTable(results),
                 "result      boards  message\n"
                 "no answer        1  ver: no answer from n1\n"
                 "                    n1\n"
                 "refused          2  ver: \"VER\" refused by <board>: ERROR\n"
                 "                    r1, r2\n"
                 "skipped          1  ver: skipped: a canary failed\n"
                 "                    s1\n"
                 "done            10\n"
                 "                    b1, b2, b3, b4, b5, b6, b7, b8 and 2 more\n");
    }

    void visibleText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("lines");
        QTest::addColumn<QString>("shown");
        QTest::newRow("escape sequence") << "\x1b[41mRED" << false << "^[[41mRED";
        QTest::newRow("inner line end") << "A\r\nB" << false << "A^M^JB";
        QTest::newRow("C1 CSI, DEL") << QString::fromUtf8("x\u009b2J\x7f") << false << "x\\x9B2J^?";
        QTest::newRow("letters stay")
            << QString::fromUtf8("\u0416 \u00e9") << false << QString::fromUtf8("\u0416 \u00e9");
        QTest::newRow("as lines") << "A\r\nB\tC\rD\n" << true << "A\nB\tC^MD\n";
    }
    // A board's text never reaches a terminal as control characters.
    void visibleText() {
        QFETCH(QString, text);
        QFETCH(bool, lines);
        QFETCH(QString, shown);
        QCOMPARE(vantor::cli::visible(text, lines), shown);
    }

    void scanTable() {
        QList<Result> results(3);
        results[0].board = "10.0.0.1:111";
        results[0].ms = 3.4;
        results[0].output = "\r\nVANTOR \x1b[2JBASIC V2.1\r\nOK\r\n";
        results[1].board = "10.0.0.2:111";
        results[2].board = "10.0.0.3:111";
        results[2].ms = 12.6;
        results[2].output = "ERROR\r\n";
        const QString found = "# target                    ms  version\n"
                              "10.0.0.1:111                 3  VANTOR ^[[2JBASIC V2.1\n"
                              "10.0.0.3:111                13  ERROR\n";
        QCOMPARE(vantor::cli::scanTable(results, false), found);
        QVERIFY(vantor::cli::scanTable(results, true)
                    .contains("10.0.0.2:111                 -  (no answer)\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliText)
#include "tst_cli_text.moc"
