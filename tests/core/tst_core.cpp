// The Qt-free core, where a fault would not show through the window: published check
// values, edge rows the end-to-end suites (udp, serial, ops, app) do not reach, and
// properties over every byte. What those suites already check end to end is not repeated.

#include "core/basic_numbers.h"
#include "core/bus_quiet.h"
#include "core/code_page.h"
#include "core/command_history.h"
#include "core/crc16.h"
#include "core/failure.h"
#include "core/flash_lines.h"
#include "core/flash_read.h"
#include "core/flash_write.h"
#include "core/framing.h"
#include "core/host_list.h"
#include "core/listing_capture.h"
#include "core/listing_diff.h"
#include "core/pane_text.h"
#include "core/program_download.h"
#include "core/program_file.h"
#include "core/protocol.h"
#include "core/rtu_reassembly.h"
#include "core/serial_replies.h"

#include <QtTest>

using namespace vantor::core;
namespace core = vantor::core;
using B = QByteArray;
using L = QByteArrayList;
using Shown = std::optional<std::string>;

namespace {

const auto qb = [](const std::string& s) { return B::fromStdString(s); };
const auto sb = [](const B& b) { return b.toStdString(); };

L toList(const std::vector<std::string>& lines) {
    L out;
    for (const auto& line : lines)
        out << qb(line);
    return out;
}

B everyByte() {
    B all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    return all;
}

// The number of the Failure that `f` throws, 0 when it returns normally.
template <typename F> int failureOf(F&& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.number();
    }
    return 0;
}

// Every frame taken off the front: "G" (good CRC) or "B" (bad CRC), then its data.
L drain(std::string& buffer) {
    L steps;
    for (RtuStep step; (step = takeRtuFrame(buffer)).kind != RtuStep::Kind::Incomplete;)
        steps << (step.kind == RtuStep::Kind::Good ? "G" : "B") + qb(step.data);
    return steps;
}

const B kDone = B(kSendCompleted.data());
const B kRefused = B(kSourceError.data());
const B kDenied = B(kAccessDenied.data());
const B kSaved = B(kLoadCompleted.data());
constexpr Link udp = Link::Udp, serial = Link::Serial;
constexpr Outcome running = Outcome::Running, done = Outcome::Done, failed = Outcome::Failed,
                  denied = Outcome::Denied;

std::string_view sv(const B& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

// Everything the caller of an exchange would have done, added up.
struct Record {
    B sent; // every line, one after the other
    B stored;
    B pane;
    qint64 progress = -1;
    Outcome outcome = running;

    void take(const Step& step) {
        sent += B::fromStdString(step.send);
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

B numbered(int count) {
    B file;
    for (int n = 1; n <= count; ++n)
        file += B::number(n * 10) + " P\r\n";
    return file;
}

B writeOf(const B& bytes) {
    return "WRITE \"" + bytes.toHex().toUpper() + "\"\r\n";
}

} // namespace

Q_DECLARE_METATYPE(vantor::core::Link)
Q_DECLARE_METATYPE(vantor::core::Outcome)

class TstCore : public QObject {
    Q_OBJECT

private slots:
    // When the next device on a bus may start: idle 300 ms, the device before ended at
    // 1000; what it said while it ran does not count.
    void busQuiet_data() {
        QTest::addColumn<bool>("owes");
        QTest::addColumn<double>("heard"); // after the end; below 0: nothing
        QTest::addColumn<double>("ready");
        QTest::newRow("owes nothing") << false << -1.0 << 1000.0;
        QTest::newRow("owes an answer") << true << -1.0 << 1300.0;
        QTest::newRow("owes nothing, talks after") << false << 1100.0 << 1400.0;
        QTest::newRow("owes, answers late") << true << 1250.0 << 1550.0;
    }
    void busQuiet() {
        QFETCH(bool, owes);
        QFETCH(double, heard);
        QFETCH(double, ready);
        core::BusQuiet quiet(300);
        QCOMPARE(quiet.readyAt().value_or(-1), -1e18); // the first goes at once
        quiet.began();
        quiet.heard(990);
        QVERIFY(!quiet.readyAt());
        quiet.ended(1000, owes);
        if (heard >= 0)
            quiet.heard(heard);
        QCOMPARE(quiet.readyAt().value_or(-1), ready);
    }

    void crc16_data() {
        QTest::addColumn<B>("message");
        QTest::addColumn<uint>("crc");
        QTest::newRow("check string") << B("123456789") << 0x4B37u;
        QTest::newRow("empty") << B() << 0xFFFFu;
        QTest::newRow("read 1 register") << B::fromHex("010300000001") << 0x0A84u;
    }
    void crc16() {
        QFETCH(B, message);
        QFETCH(uint, crc);
        QCOMPARE(uint(crc16Value(sb(message))), crc);
        const std::string wire = CRC16(sb(message));
        QCOMPARE(qb(wire), B(1, char(crc & 0xFF)) + char(crc >> 8));
        // A message followed by its own CRC, low byte first, checks to zero.
        QCOMPARE(uint(crc16Value(sb(message) + wire)), 0u);
    }

    // The simulator encodes and decodes with the same helpers, so the flash round trips
    // cannot see a digit mapped wrongly on both sides; Qt's own hex is the judge here.
    void hexOfEveryByte() {
        const B all = everyByte(), digits = all.toHex().toUpper();
        QCOMPARE(qb(core::writeLine(sb(all))), "WRITE \"" + digits + '"');
        QCOMPARE(qb(decodeEndOfData(sb(digits + "ND"))), all);
    }

    // Rows the window suites do not reach: the RTU address box (mode RTU) and the
    // number after "COM" (mode port); the rest of both is checked through the window.
    void typedNumbers_data() {
        QTest::addColumn<bool>("address");
        QTest::addColumn<B>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("failure");
        QTest::newRow("address inner blanks") << true << B(" 1 6") << 16 << 0;
        QTest::newRow("address 12abc") << true << B("12abc") << 12 << 0;
        QTest::newRow("address 255.5") << true << B("255.5") << 0 << 6;
        QTest::newRow("address 16.5 to even") << true << B("16.5") << 16 << 0;
        QTest::newRow("address 17.5 to even") << true << B("17.5") << 18 << 0;
        QTest::newRow("address abc") << true << B("abc") << 0 << 0;
        QTest::newRow("address -1") << true << B("-1") << 0 << 6;
        QTest::newRow("address 1.6e 1") << true << B("1.6e 1") << 16 << 0;
        QTest::newRow("address 2e") << true << B("2e") << 2 << 0;
        QTest::newRow("port 2.5") << false << B("2.5") << 2 << 0;
        QTest::newRow("port 3.5") << false << B("3.5") << 4 << 0;
        QTest::newRow("port 12abc") << false << B("12abc") << 0 << 13;
        QTest::newRow("port 32768") << false << B("32768") << 0 << 6;
    }
    void typedNumbers() {
        QFETCH(bool, address);
        QFETCH(B, text);
        QFETCH(int, value);
        QFETCH(int, failure);
        // The address goes out as the first byte of the frame.
        const auto convert = [&] {
            return address ? int(uchar(rtuFrame(sb(text), "X\r\n")[0])) : toInteger16(sb(text));
        };
        QCOMPARE(failureOf([&] { QCOMPARE(convert(), value); }), failure);
    }
    void gatewayLine_data() {
        QTest::addColumn<B>("address");
        QTest::addColumn<B>("line");
        QTest::addColumn<B>("wire"); // empty: Failure 5
        QTest::newRow("16") << B("16") << B("LIST\r\n") << B("MDC 16,LIST\r\n");
        QTest::newRow("empty address") << B() << B("VER\r\n") << B("MDC ,VER\r\n");
        QTest::newRow("blanks kept") << B(" 7 ") << B("VER\r\n") << B("MDC  7 ,VER\r\n");
        QTest::newRow("CR LF alone") << B("16") << B("\r\n") << B("MDC 16,\r\n");
        QTest::newRow("too short") << B("16") << B("\n") << B();
    }
    void gatewayLine() {
        QFETCH(B, address);
        QFETCH(B, line);
        QFETCH(B, wire);
        std::string out;
        QCOMPARE(failureOf([&] { out = core::gatewayLine(sb(address), sb(line)); }),
                 wire.isEmpty() ? 5 : 0);
        QCOMPARE(qb(out), wire);
    }
    // Pieces as the port gives them; "|" is the quiet that ends what is pending.
    void serialReplies_data() {
        QTest::addColumn<L>("pieces");
        QTest::addColumn<L>("replies");
        QTest::newRow("CR LF") << L{"OK\r\n"} << L{"OK\r\n"};
        QTest::newRow("CR LF split") << L{"OK\r", "\nOK\r\n"} << L{"OK\r\n", "OK\r\n"};
        QTest::newRow("CR alone, then quiet") << L{"OK\r", "|"} << L{"OK\r"};
        QTest::newRow("LF after a CR's quiet") << L{"A\r", "|", "\nB\n"} << L{"A\r", "B\n"};
        QTest::newRow("CR CR") << L{"A\rB\r", "|"} << L{"A\r", "B\r"};
        QTest::newRow("LF alone") << L{"A\nB\n"} << L{"A\n", "B\n"};
        QTest::newRow("no line end") << L{"12", "34", "|"} << L{"1234"};
        QTest::newRow("quiet on nothing") << L{"|"} << L{};
    }
    void serialReplies() {
        QFETCH(L, pieces);
        QFETCH(L, replies);
        SerialReplies splitter;
        L got;
        for (const B& piece : pieces)
            for (const std::string& reply :
                 piece == "|" ? splitter.flush() : splitter.take(sb(piece)))
                got << qb(reply);
        QCOMPARE(got, replies);
        QVERIFY(!splitter.pending());
    }
    void rtuFrameOfVer() {
        QCOMPARE(qb(rtuFrame("16", "VER\r\n")), B("\x10\x43\x05VER\r\n\x4B\xD0", 10));
        QCOMPARE(rtuFrame("16", std::string(255, 'A')).size(), std::size_t(260));
        QCOMPARE(failureOf([] { rtuFrame("16", std::string(256, 'A')); }), 6);
    }
    // However the bytes are split over poll ticks, the same frames come out.
    void rtuReassemblyByteByByte() {
        B bad = qb(rtuFrame("1", "ERR\r\n"));
        bad.back() = char(bad.back() ^ 0x01);
        const B tail = qb(rtuFrame("1", "V3.0\r\n")).left(7);
        const B stream = qb(rtuFrame("1", "OK\r\n")) + bad + qb(rtuFrame("1", "")) + tail;
        const L frames{"GOK\r\n", "BERR\r\n", "G"};
        std::string whole = sb(stream), buffer;
        QCOMPARE(drain(whole), frames);
        QCOMPARE(qb(whole), tail);
        L taken;
        for (char byte : stream) {
            buffer.push_back(byte);
            taken += drain(buffer);
        }
        QCOMPARE(taken, frames);
        QCOMPARE(qb(buffer), tail);
    }

    // The console suite walks and recalls; these are the storing rules it does not see.
    void historyStoring() {
        CommandHistory history;
        for (const char* line : {"x", "", "x"})
            history.enter(line);
        QCOMPARE(history.entry(1), std::string("x")); // a repeat is kept, an empty line not
        QCOMPARE(history.entry(2), std::string("x"));
        QVERIFY(history.entry(3).empty() && history.entry(0).empty());
        QCOMPARE(history.up(), Shown("x"));
        history.edited(); // edited, then typed back to the same text: stored again
        history.enter("x");
        QCOMPARE(history.entry(3), std::string("x"));
        for (int i = 1; i <= 40; ++i)
            history.enter("line " + std::to_string(i));
        QCOMPARE(history.entry(32), std::string("line 9")); // the oldest of the 32 kept
    }

    void readHostEntries_data() {
        QTest::addColumn<B>("text");
        QTest::addColumn<L>("entries");
        const L two{"10.0.0.5", "10.0.0.6"};
        QTest::newRow("CR LF lines") << B("10.0.0.5\r\n10.0.0.6\r\n") << two;
        QTest::newRow("LF lines") << B("10.0.0.5\n10.0.0.6") << two;
        QTest::newRow("only empty lines") << B("\r\n\r\n\n") << L{};
        QTest::newRow("commas") << B("a,b\r\nc") << L{"a", "b", "c"};
        QTest::newRow("quoted comma") << B("\"a,b\",c\r\n") << L{"a,b", "c"};
        QTest::newRow("leading blanks") << B("  10.0.0.5\r\n 10.0.0.6") << two;
    }
    void readHostEntries() {
        QFETCH(B, text);
        QFETCH(L, entries);
        QCOMPARE(toList(core::readHostEntries(sb(text))), entries);
    }

    void codePages() {
        for (const char* name : {"windows-1251", "latin1", "cp866"}) {
            const CodePage* page = CodePage::byName(name);
            QVERIFY(page);
            for (int b = 0; b < 256; ++b) {
                const char32_t c = page->toUnicode(uchar(b));
                QVERIFY(b >= 128 || uint(c) == uint(b));
                QCOMPARE(page->fromUnicode(c), b);
            }
        }
        QCOMPARE(CodePage::byName("CP1251"), &CodePage::defaultPage());
        QCOMPARE(CodePage::byName("IBM866"), CodePage::byName("cp866"));
        QCOMPARE(CodePage::byName("ISO-8859-1"), CodePage::byName("latin1"));
        QVERIFY(!CodePage::byName("utf-8"));
        QCOMPARE(CodePage::byName("latin1")->fromUnicode(U'\u0410'), -1);
        QCOMPARE(CodePage::defaultPage().fromUnicode(U'\u00E9'), -1);
        const struct {
            const char* page;
            unsigned char byte;
            char32_t letter;
        } letters[] = {{"windows-1251", 0xC0, U'\u0410'},
                       {"windows-1251", 0x88, U'\u20AC'},
                       {"cp866", 0xF1, U'\u0451'}};
        for (const auto& l : letters)
            QCOMPARE(uint(CodePage::byName(l.page)->toUnicode(l.byte)), uint(l.letter));
    }

    // The controller exchanges: each row a file or a list of replies ("|" between them),
    // fed as the window or the command-line tool would; what the exchange answered, added
    // up: lines sent, bytes stored, the pane as its effects leave it, the last progress
    // value and the outcome.
    // A file goes out line by line, each released by an OK, and is complete as soon as
    // its last line is out. `lines` is what goes on the wire.
    // `lines` is what goes on the wire, the pane what it shows at the end; an empty file
    // must not leave anything waiting for an answer.
    void downloadLines_data() {
        QTest::addColumn<B>("file");
        QTest::addColumn<B>("lines");
        QTest::addColumn<B>("pane");
        const B zeroLong = '0' + B(149, 'x'), binary = "1 REM " + B(1, '\0') + "\x80\xFF";
        const auto row = [](const char* name, const B& file, const B& lines,
                            const B& pane = kDone) {
            QTest::newRow(name) << file << lines << pane;
        };
        row("0010 PRINT X", "0010 PRINT X\r\n", "10 PRINT X\r\n");
        row("0000", "0000\r\n", "0\r\n");
        row("00005 REM", "00005 REM\r\n", "05 REM\r\n");
        row("just 0", "0\r\n10 A\r\n", "\r\n10 A\r\n");
        row("blank first", " 010", " 010\r\n");
        row("150 characters from 0", zeroLong + "\r\n", zeroLong.mid(1) + "\r\n");
        row("300 characters", B(300, '7'), B(300, '7') + "\r\n");
        row("blanks kept", "10 A\r\n\r\n  20 B  \r\n", "10 A\r\n\r\n  20 B  \r\n");
        row("CR, LF, CR LF, CR CR", "1 A\r2 B\n3 C\r\n4 D\r\r5",
            "1 A\r\n2 B\r\n3 C\r\n4 D\r\n\r\n5\r\n");
        row("NUL and high bytes", binary + "\r\n", binary + "\r\n");
        row("2048 lines", numbered(2048), numbered(2048));
        row("2049 lines", numbered(2049), "", "Failure 9");
        row("empty file", "", "", kEmptyProgram.data());
    }
    void downloadLines() {
        QFETCH(B, file);
        QFETCH(B, lines);
        QFETCH(B, pane);
        Record r;
        try {
            ProgramDownload download = ProgramDownload::fromFile(sv(file));
            r.take(download.start());
            for (int n = 0; r.outcome == running && n < 3000; ++n)
                r.take(download.onReply("OK\r\n", udp));
            QCOMPARE(download.position(), 0);
            QVERIFY(download.onReply("OK", udp).send.empty()); // the last answer is not its own
        } catch (const Failure& failure) {
            r.pane = "Failure " + B::number(failure.number());
        }
        QCOMPARE(r.sent, lines);
        QCOMPARE(r.pane, pane);
    }

    // Three lines; ">>" stands for the operator's click on it.
    void downloadReplies_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<B>("replies");
        QTest::addColumn<int>("sent");
        QTest::addColumn<B>("pane");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("position");
        const auto row = [](const char* name, Link link, const char* replies, int sent,
                            const B& pane, Outcome outcome, int position) {
            QTest::newRow(name) << link << B(replies) << sent << pane << outcome << position;
        };
        const B line2 = "LOAD DATA = 20 B";
        row("ERROR to line 2", udp, "OK|ERROR\r\n", 2, line2 + kRefused, failed, 2);
        row("ERROR OK", serial, "OK|ERROR OK", 2, line2 + kRefused, failed, 2);
        row("ERROR before Login", udp, "OK|ERROR Login:", 2, line2 + kRefused, failed, 2);
        row("ERROR to line 1", udp, "ERROR", 1, "10 A\n" + kRefused, failed, 1);
        row("Login", udp, "  Login  ", 1, "10 A\n" + kDenied, denied, 1);
        row("Passwor after a line", udp, "OK|Password:", 2, line2 + kDenied, denied, 2);
        row("Login over serial is text", serial, "Login:", 1, "10 A\nLogin:\r\n", running, 1);
        row("login in lower case is text", udp, "login", 1, "10 A\nlogin\r\n", running, 1);
        row("empty answer", serial, "", 1, "10 A\n\r\n", running, 1);
        row("OK inside a longer text", udp, "VER 1.0 OK\r\n", 2, line2, running, 2);
        row(">> puts a second line in flight", udp, ">>|OK", 3, kDone, done, 0);
        row("late OK and >> after completion", serial, "OK|OK|OK|>>", 3, kDone, done, 0);
    }
    void downloadReplies() {
        QFETCH(Link, link);
        QFETCH(B, replies);
        QFETCH(int, sent);
        QFETCH(B, pane);
        QFETCH(Outcome, outcome);
        QFETCH(int, position);
        ProgramDownload download = ProgramDownload::fromFile("10 A\r\n20 B\r\n30 C\r\n");
        Record r;
        r.take(download.start());
        for (const B& reply : replies.split('|'))
            r.take(reply == ">>" ? download.sendNext() : download.onReply(sv(reply), link));
        QCOMPARE(r.sent, B("10 A\r\n20 B\r\n30 C\r\n").left(6 * sent));
        QCOMPARE(r.pane, pane);
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(download.position(), position);
        QCOMPARE(download.running(), outcome == running);
    }

    // A board's listing against a file, as diff shows it: the lines compared as stored,
    // shown as they stand; context of 3 lines, changes further apart in hunks of their own.
    void listingDiff_data() {
        QTest::addColumn<B>("listing");
        QTest::addColumn<B>("file");
        QTest::addColumn<B>("hunks"); // after the two header lines; empty: the same
        const auto row = [](const char* name, const B& listing, const B& file, const B& hunks) {
            QTest::newRow(name) << listing << file << hunks;
        };
        row("case and blanks aside", "10 PRINT X\r\n20 GOTO 10\r\n", "10 print   x\n20 goto 10",
            "");
        row("the file reordered, a line erased", "10 A\r\n20 B\r\n", "20 B\n30 C\n10 A\nRUN\n30\n",
            "");
        row("a line changed", "10 A\r\n20 B\r\n30 C\r\n", "10 A\n20 X\n30 C\n",
            "@@ -1,3 +1,3 @@\n 10 A\n-20 B\n+20 X\n 30 C\n");
        row("a line more on the board", "10 A\r\n20 B\r\n", "10 A\n",
            "@@ -1,2 +1,1 @@\n 10 A\n-20 B\n");
        row("nothing on the board", "", "10 A\n", "@@ -0,0 +1,1 @@\n+10 A\n");
        row("changes far apart", "1 A\r\n2 B\r\n3 C\r\n4 D\r\n5 E\r\n6 F\r\n7 G\r\n8 H\r\n9 I\r\n",
            "1 Z\n2 B\n3 C\n4 D\n5 E\n6 F\n7 G\n8 H\n9 Y\n",
            "@@ -1,4 +1,4 @@\n-1 A\n+1 Z\n 2 B\n 3 C\n 4 D\n"
            "@@ -6,4 +6,4 @@\n 6 F\n 7 G\n 8 H\n-9 I\n+9 Y\n");
    }
    void listingDiff() {
        QFETCH(B, listing);
        QFETCH(B, file);
        QFETCH(B, hunks);
        const std::string diff =
            unifiedDiff(listedLines(sv(listing)), programAfter(readProgramLines(sv(file))),
                        "10.0.0.5:111", "p.bas");
        QCOMPARE(B(diff.c_str()), hunks.isEmpty() ? B() : "--- 10.0.0.5:111\n+++ p.bas\n" + hunks);
    }

    void capture_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<B>("replies");
        QTest::addColumn<B>("stored");
        QTest::addColumn<B>("pane");
        QTest::addColumn<Outcome>("outcome");
        const auto row = [](const char* name, Link link, const B& replies, const B& stored,
                            const B& pane, Outcome outcome) {
            QTest::newRow(name) << link << replies << stored << pane << outcome;
        };
        const B binary = "10 REM " + B(1, '\0') + "\x80\xC0\xFF\r\n";
        row("listing then OK", udp, "10 A\r\n|20 B\r\n|OK\r\n", "10 A\r\n20 B\r\n", kSaved, done);
        row("OK after the fifth character is data", serial, "10 REM OK|1234OK|OK",
            "10 REM OK1234OK", kSaved, done);
        row("OK in the first five ends it", udp, "10 A|10 OKAY", "10 A", kSaved, done);
        row("several lines in one answer", udp, "10 A\r\n20 B\r\n", "10 A\r\n20 B\r\n",
            "LOAD DATA = 10 A\r\n20 B\r\n\r\n", running);
        row("bytes kept", serial, binary, binary, "LOAD DATA = " + binary + "\r\n", running);
        row("empty answer", serial, "", "", "LOAD DATA = \r\n", running);
        row("Login inside a program line", udp, "10 A|20 PRINT \"Login\"", "10 A",
            "LOAD DATA = 10 A\r\n" + kDenied, denied);
        row("Passwor over serial is data", serial, "Password", "Password",
            "LOAD DATA = Password\r\n", running);
    }
    void capture() {
        QFETCH(Link, link);
        QFETCH(B, replies);
        QFETCH(B, stored);
        QFETCH(B, pane);
        QFETCH(Outcome, outcome);
        Record r;
        for (const B& reply : replies.split('|'))
            r.take(ListingCapture().onReply(sv(reply), link));
        QCOMPARE(r.stored, stored);
        QCOMPARE(r.pane, pane);
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(r.sent, B());
        QCOMPARE(ListingCapture::command(udp), kListUdp);
        QCOMPARE(ListingCapture::command(serial), kListSerial);
    }

    void flashWrite_data() {
        QTest::addColumn<B>("file");
        QTest::addColumn<B>("replies");
        QTest::addColumn<B>("sent"); // after the Open line
        QTest::addColumn<qint64>("progress");
        QTest::addColumn<Outcome>("outcome");
        const auto row = [](const char* name, const B& file, const char* replies, const B& sent,
                            qint64 progress, Outcome outcome) {
            QTest::newRow(name) << file << B(replies) << sent << progress << outcome;
        };
        const B b22 = B::fromHex("000102030405060708090A0B0C0D0E0F101112131415"), b43(43, 'x');
        row("5, 10, 255", "\x05\x0A\xFF", "OK|OK", "WRITE \"050AFF\"\r\n", 4, done);
        row("21 bytes, one line", b22.left(21), "OK|OK", writeOf(b22.left(21)), 22, done);
        row("22 bytes, two lines", b22, "OK|OK|OK", writeOf(b22.left(21)) + writeOf("\x15"), 23,
            done);
        row("43 bytes, 21 + 21 + 1", b43, "OK|OK|OK|OK",
            writeOf(b43.left(21)) + writeOf(b43.left(21)) + writeOf("x"), 44, done);
        row("empty file", "", "OK|OK", "WRITE \"\"\r\n", 1, done);
        row("other text changes nothing", "\xAB", "OK|BUSY|OK", "WRITE \"AB\"\r\n", 2, done);
        row("ERROR to the open line", b43, "ERROR", "", -1, failed);
        row("ERROR OK to a data line", b43, "OK|ERROR OK", writeOf(b43.left(21)), 22, failed);
    }
    void flashWrite() {
        QFETCH(B, file);
        QFETCH(B, replies);
        QFETCH(B, sent);
        QFETCH(qint64, progress);
        QFETCH(Outcome, outcome);
        FlashWrite write(file.toStdString(), "A.TXT");
        Record r;
        r.take(write.open());
        for (const B& reply : replies.split('|'))
            r.take(write.onReply(sv(reply)));
        QCOMPARE(r.sent, "OPENWR \"A.TXT\"\r\n" + sent);
        QCOMPARE(r.progress, progress);
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(write.lastChunkSent(), outcome == done);
    }

    void flashRead_data() {
        QTest::addColumn<B>("replies");
        QTest::addColumn<B>("stored");
        QTest::addColumn<int>("reads");
        QTest::addColumn<qint64>("progress");
        QTest::addColumn<Outcome>("outcome");
        const auto row = [](const char* name, const B& replies, const B& stored, int reads,
                            qint64 progress, Outcome outcome) {
            QTest::newRow(name) << replies << stored << reads << progress << outcome;
        };
        const B twenty = B::fromHex("000102030405060708090A0B0C0D0E0F10FF7F80");
        const B data40 = twenty.toHex().toUpper(), zeros = B(40, '0') + '|';
        row("ND at the start", "OK|ND\r\n", "", 1, 100, done);
        row("5 digits before ND", "OK|01020ND", "\x01\x02", 1, 100, done);
        row("ND inside a word", "OK|0A0BENDING", "\x0A\x0B", 1, 100, done);
        row("first ND counts", "01ND02ND", "\x01", 0, 100, done);
        row("data, OK, end", "OK|" + data40 + "\r\n|OK|FFND\r\n", twenty + "\xFF", 2, 100, done);
        row("over 40 digits", "OK|" + data40 + "ABCD", twenty, 1, 1, running);
        row("lower case and short data", "0a0B|1",
            B(1, '\0') + "\x0B" + B(18, '\0') + "\x01" + B(19, '\0'), 0, 2, running);
        row("ERROR to the open line", "ERROR", "", 0, -1, failed);
        row("ERROR after data", "OK|" + data40 + "|ERROR", twenty, 1, 1, failed);
        row("ERROR and ND", "OK|0102ERROR ND", "", 1, -1, failed);
        row("100 data replies", zeros.repeated(100).chopped(1), B(2000, '\0'), 0, 0, running);
        row("101 data replies", zeros.repeated(101).chopped(1), B(2020, '\0'), 0, 1, running);
    }
    void flashRead() {
        QFETCH(B, replies);
        QFETCH(B, stored);
        QFETCH(int, reads);
        QFETCH(qint64, progress);
        QFETCH(Outcome, outcome);
        FlashRead read("r");
        Record r;
        r.take(read.open());
        for (const B& reply : replies.split('|'))
            r.take(read.onReply(sv(reply)));
        QCOMPARE(r.stored, stored);
        QCOMPARE(r.sent, "OPENRD \"r\"\r\n" + B("READ 20\"\r\n").repeated(reads));
        QCOMPARE(r.progress, progress);
        QCOMPARE(r.outcome, outcome);
    }
    // The pane's store: breaks, long lines, the bound. `lines` is every kept line.
    void paneText_data() {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("maxLine");
        QTest::addColumn<QStringList>("lines");
        const auto row = [](const char* name, const QStringList& pieces, int limit, int maxLine,
                            const QStringList& lines) {
            QTest::newRow(name) << pieces << limit << maxLine << lines;
        };
        const int big = 1 << 20;
        const QString y16(16, 'y');
        const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
        row("CR LF, CR, LF one break each", {"a\r\nb\rc\nd"}, big, 64, {"a", "b", "c", "d"});
        row("CR LF split", {"a\r", "", "\nb"}, big, 64, {"a", "b"});
        row("CR, then LF LF", {"a\r", "\n\n"}, big, 64, {"a", "", ""});
        row("CR, then CR LF", {"a\r", "\r\n"}, big, 64, {"a", "", ""});
        row("LF CR is two breaks", {"a\n\rb"}, big, 64, {"a", "", "b"});
        row("long line split", {"abcdefghij"}, big, 4, {"abcd", "efgh", "ij"});
        row("split across pieces", {"abc", "def\r\nx"}, big, 4, {"abcd", "ef", "x"});
        row("pair kept whole", {"abc" + smile}, big, 4, {"abc", smile});
        row("pair split between pieces", {"abc" + smile.left(1), smile.mid(1) + "d"}, big, 4,
            {"abc", smile + "d"});
        // 50 characters and 6 lines of 4 for the index: 74 > 64, so down to 56.
        row("oldest dropped whole", {"line00001\nline00002\nline00003\nline00004\nline00005\n"}, 64,
            16, {"line00003", "line00004", "line00005", ""});
        row("bound reached by a long line", {"x\r\n" + QString(60, 'y')}, 64, 16,
            {y16, y16, QString(12, 'y')});
    }

    void paneText() {
        QFETCH(QStringList, pieces);
        QFETCH(int, limit);
        QFETCH(int, maxLine);
        QFETCH(QStringList, lines);
        PaneText text{std::size_t(limit), std::size_t(maxLine)};
        for (const QString& piece : pieces)
            text.append({QStringView(piece).utf16(), std::size_t(piece.size())});
        QStringList kept;
        for (auto id = text.firstLine(); id < text.endLine(); ++id) {
            const auto line = text.line(id);
            kept << QString::fromUtf16(line.data(), line.size());
            QCOMPARE(text.lineAt(text.lineStart(id) + std::max<std::size_t>(line.size(), 1) - 1),
                     id);
        }
        QCOMPARE(kept, lines);
        const auto all = text.text(0, UINT64_MAX);
        const QString joined = QString::fromUtf16(all.data(), all.size());
        QCOMPARE(QString(joined).remove('\n'), lines.join(QString()));
        QCOMPARE(all.size(), text.end() - text.begin());
        QCOMPARE(text.droppedSince(0).size(), text.begin()); // each row drops in one append
        // Offsets go on after a replace, so nothing held on to the old text points into it.
        const auto end = text.end();
        text.replace(u"z\r");
        QCOMPARE(text.begin(), end);
        QCOMPARE(text.lineAt(0), text.firstLine());
        text.append(u"\n");
        QCOMPARE(text.endLine() - text.firstLine(), 2u);
    }
};

QTEST_GUILESS_MAIN(TstCore)
#include "tst_core.moc"
