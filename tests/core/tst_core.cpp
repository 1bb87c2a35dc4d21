// The Qt-free core, where a fault would not show through the window: published check
// values, edge rows the end-to-end suites (udp, serial, ops, app) do not reach, and
// properties over every byte. What those suites already check end to end is not repeated.

#include "core/basic_numbers.h"
#include "core/code_page.h"
#include "core/command_history.h"
#include "core/crc16.h"
#include "core/failure.h"
#include "core/flash_lines.h"
#include "core/framing.h"
#include "core/hex.h"
#include "core/host_list.h"
#include "core/rtu_reassembly.h"

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

} // namespace

class TstCore : public QObject {
    Q_OBJECT

private slots:
    void crc16_data() {
        QTest::addColumn<B>("message");
        QTest::addColumn<uint>("crc");
        QTest::newRow("check string") << B("123456789") << 0x4B37u;
        QTest::newRow("empty") << B() << 0xFFFFu;
        QTest::newRow("read 1 register") << B::fromHex("010300000001") << 0x0A84u;
        QTest::newRow("read 10 registers") << B::fromHex("01030000000A") << 0xCDC5u;
        QTest::newRow("write register") << B::fromHex("010600010003") << 0x0B98u;
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

    void hexDigits_data() {
        QTest::addColumn<B>("text");
        QTest::addColumn<int>("decode");
        QTest::addColumn<int>("decode2");
        QTest::newRow("7") << B("7") << 7 << 7;
        QTest::newRow("F") << B("F") << 15 << 15;
        QTest::newRow("small f") << B("f") << 0 << 0;
        QTest::newRow("empty") << B() << 0 << 0;
        QTest::newRow("FF") << B("FF") << 0 << 255;
        QTest::newRow("A0") << B("A0") << 0 << 160;
        QTest::newRow("a0") << B("a0") << 0 << 0;
        QTest::newRow("0a") << B("0a") << 0 << 0;
        QTest::newRow("123") << B("123") << 0 << 0;
    }
    void hexDigits() {
        QFETCH(B, text);
        QFETCH(int, decode);
        QFETCH(int, decode2);
        QCOMPARE(Decode(sb(text)), decode);
        QCOMPARE(Decode2(sb(text)), decode2);
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
        QTest::newRow("port blanks") << false << B(" 12 ") << 12 << 0;
        QTest::newRow("port -32768") << false << B("-32768") << -32768 << 0;
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
        QTest::newRow("CR lines") << B("10.0.0.5\r10.0.0.6\r") << two;
        QTest::newRow("only empty lines") << B("\r\n\r\n\n") << L{};
        QTest::newRow("commas") << B("a,b\r\nc") << L{"a", "b", "c"};
        QTest::newRow("quoted comma") << B("\"a,b\",c\r\n") << L{"a,b", "c"};
        QTest::newRow("leading blanks") << B("  10.0.0.5\r\n 10.0.0.6") << two;
        QTest::newRow("blanks in quotes") << B("\" x\"") << L{" x"};
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
        } letters[] = {{"windows-1251", 0xC0, U'\u0410'}, {"windows-1251", 0xA8, U'\u0401'},
                       {"windows-1251", 0x88, U'\u20AC'}, {"cp866", 0x80, U'\u0410'},
                       {"cp866", 0xF1, U'\u0451'},        {"latin1", 0xE9, U'\u00E9'}};
        for (const auto& l : letters)
            QCOMPARE(uint(CodePage::byName(l.page)->toUnicode(l.byte)), uint(l.letter));
    }
};

QTEST_GUILESS_MAIN(TstCore)
#include "tst_core.moc"
