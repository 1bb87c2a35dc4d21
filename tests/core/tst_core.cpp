// The Qt-free core, checked against published check values and against what the operator
// and the controller see: bytes on the wire, lines read from files, text in the console.

#include "core/basic_numbers.h"
#include "core/code_page.h"
#include "core/command_history.h"
#include "core/crc16.h"
#include "core/failure.h"
#include "core/flash_lines.h"
#include "core/framing.h"
#include "core/hex.h"
#include "core/host_list.h"
#include "core/program_file.h"
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

// The number of the Failure that `f` throws, 0 when it returns normally.
template <typename F> int failureOf(F&& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.number();
    }
    return 0;
}

// A reply frame as a device sends it; rtuFrame itself is checked against fixed bytes below.
B reply(const B& data) {
    return qb(rtuFrame("1", sb(data)));
}
B corrupted(B frame) {
    frame.back() = char(frame.back() ^ 0x01);
    return frame;
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

    void gatewayLine_data() {
        QTest::addColumn<B>("address");
        QTest::addColumn<B>("line");
        QTest::addColumn<B>("wire");
        QTest::addColumn<int>("failure");
        QTest::newRow("VER") << B("16") << B("VER\r\n") << B("MDC 16,VER\r\n") << 0;
        QTest::newRow("blanks kept") << B(" 16 ") << B("VER\r\n") << B("MDC  16 ,VER\r\n") << 0;
        QTest::newRow("line end only") << B("16") << B("\r\n") << B("MDC 16,\r\n") << 0;
        QTest::newRow("one char") << B("16") << B("X") << B() << 5;
        QTest::newRow("empty") << B("16") << B() << B() << 5;
    }
    void gatewayLine() {
        QFETCH(B, address);
        QFETCH(B, line);
        QFETCH(B, wire);
        QFETCH(int, failure);
        QCOMPARE(failureOf([&] { QCOMPARE(qb(core::gatewayLine(sb(address), sb(line))), wire); }),
                 failure);
    }

    // The two number boxes: the Modbus address and the port number.
    void typedNumbers_data() {
        QTest::addColumn<bool>("address");
        QTest::addColumn<B>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("failure");
        QTest::newRow("address abc") << true << B("abc") << 0 << 0;
        QTest::newRow("address 16.6") << true << B("16.6") << 17 << 0;
        QTest::newRow("address 16.5") << true << B("16.5") << 16 << 0;
        QTest::newRow("address 17.5") << true << B("17.5") << 18 << 0;
        QTest::newRow("address inner blanks") << true << B(" 1 6") << 16 << 0;
        QTest::newRow("address 12abc") << true << B("12abc") << 12 << 0;
        QTest::newRow("address 255") << true << B("255") << 255 << 0;
        QTest::newRow("address 255.5") << true << B("255.5") << 0 << 6;
        QTest::newRow("address 300") << true << B("300") << 0 << 6;
        QTest::newRow("address -1") << true << B("-1") << 0 << 6;
        QTest::newRow("port 3") << false << B("3") << 3 << 0;
        QTest::newRow("port blanks") << false << B(" 12 ") << 12 << 0;
        QTest::newRow("port -32768") << false << B("-32768") << -32768 << 0;
        QTest::newRow("port 2.5") << false << B("2.5") << 2 << 0;
        QTest::newRow("port 3.5") << false << B("3.5") << 4 << 0;
        QTest::newRow("port empty") << false << B() << 0 << 13;
        QTest::newRow("port abc") << false << B("abc") << 0 << 13;
        QTest::newRow("port 12abc") << false << B("12abc") << 0 << 13;
        QTest::newRow("port 32768") << false << B("32768") << 0 << 6;
        QTest::newRow("port 40000") << false << B("40000") << 0 << 6;
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
    void rtuFrameOfVer() {
        QCOMPARE(qb(rtuFrame("16", "VER\r\n")), B("\x10\x43\x05VER\r\n\x4B\xD0", 10));
    }
    void rtuFrameLength_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("failure");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("255") << 255 << 0;
        QTest::newRow("256") << 256 << 6;
    }
    void rtuFrameLength() {
        QFETCH(int, length);
        QFETCH(int, failure);
        const std::string line(std::size_t(length), 'x');
        std::string frame;
        QCOMPARE(failureOf([&] { frame = rtuFrame("16", line); }), failure);
        if (failure == 0) {
            QCOMPARE(int(frame.size()), length + 5);
            QCOMPARE(int(uchar(frame[2])), length);
            QCOMPARE(frame.substr(3, line.size()), line);
            QCOMPARE(uint(crc16Value(frame)), 0u); // the closing CRC covers all before it
        }
    }

    void rtuReassembly_data() {
        QTest::addColumn<B>("stream");
        QTest::addColumn<L>("frames");
        QTest::addColumn<B>("rest");
        const B ok = reply("OK\r\n"), ver = reply("V3.0\r\n"), err = reply("ERR\r\n");
        QTest::newRow("one good") << ok << L{"GOK\r\n"} << B();
        QTest::newRow("two in one") << ok + ver << L{"GOK\r\n", "GV3.0\r\n"} << B();
        QTest::newRow("bad crc between")
            << ok + corrupted(err) + ver << L{"GOK\r\n", "BERR\r\n", "GV3.0\r\n"} << B();
        QTest::newRow("byte count 0") << reply({}) << L{"G"} << B();
        QTest::newRow("header only") << ok.left(3) << L{} << ok.left(3);
        QTest::newRow("unfinished tail") << ok + ver.left(7) << L{"GOK\r\n"} << ver.left(7);
    }
    void rtuReassembly() {
        QFETCH(B, stream);
        QFETCH(L, frames);
        QFETCH(B, rest);
        std::string whole = sb(stream);
        QCOMPARE(drain(whole), frames);
        QCOMPARE(qb(whole), rest);
        // One byte per poll tick must come out the same.
        std::string buffer;
        L taken;
        for (char byte : stream) {
            buffer.push_back(byte);
            taken += drain(buffer);
        }
        QCOMPARE(taken, frames);
        QCOMPARE(qb(buffer), rest);
    }
    void rtuFrameSplitAcrossTicks() {
        const std::string frame = rtuFrame("16", "OK\r\n");
        std::string buffer = frame.substr(0, 6);
        QCOMPARE(takeRtuFrame(buffer).kind, RtuStep::Kind::Incomplete);
        QCOMPARE(buffer, frame.substr(0, 6)); // left alone for the next tick
        buffer += frame.substr(6);
        const RtuStep step = takeRtuFrame(buffer);
        QVERIFY(step.kind == RtuStep::Kind::Good && step.length == 4 && buffer.empty());
        QCOMPARE(step.data, std::string("OK\r\n"));
    }

    void historyStoring() {
        CommandHistory history;
        QVERIFY(!history.up()); // empty: Up leaves the line alone, Down empties it
        QCOMPARE(history.down(), Shown(""));
        for (const char* line : {"x", "", "x"})
            history.enter(line);
        QCOMPARE(history.entry(1), std::string("x"));
        QCOMPARE(history.entry(2), std::string("x"));
        QVERIFY(history.entry(3).empty() && history.entry(0).empty());
    }
    void historyKeepsLast32() {
        CommandHistory history;
        for (int i = 1; i <= 40; ++i)
            history.enter("line" + std::to_string(i));
        QCOMPARE(history.entry(32), std::string("line9"));
        // The 33rd Up stays on the oldest line kept.
        for (int i = 1; i <= 33; ++i)
            QCOMPARE(history.up(), Shown("line" + std::to_string(41 - std::min(i, 32))));
    }
    void historyWalk() {
        CommandHistory history;
        for (const char* line : {"a", "b", "c"})
            history.enter(line);
        for (const char* line : {"c", "b", "a"})
            QCOMPARE(history.up(), Shown(line));
        QVERIFY(!history.up()); // nothing older: the line stays
        for (const char* line : {"b", "c", ""})
            QCOMPARE(history.down(), Shown(line));
        history.enter("d"); // typed on the fresh line: stored
        QCOMPARE(history.entry(1), std::string("d"));
    }
    void historyRecalled_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<B>("sent");
        QTest::addColumn<bool>("stored");
        QTest::newRow("unchanged") << false << B("b") << false;
        QTest::newRow("extended by typing") << false << B("bx") << false;
        QTest::newRow("edited, same text") << true << B("b") << true;
        QTest::newRow("edited and changed") << true << B("c") << true;
    }
    void historyRecalled() {
        QFETCH(bool, edited);
        QFETCH(B, sent);
        QFETCH(bool, stored);
        CommandHistory history;
        history.enter("a");
        history.enter("b");
        QCOMPARE(history.up(), Shown("b"));
        if (edited)
            history.edited();
        history.enter(sb(sent));
        QCOMPARE(history.entry(1), stored ? sb(sent) : std::string("b"));
        QCOMPARE(history.entry(3), std::string(stored ? "a" : ""));
        QCOMPARE(history.up(), Shown(history.entry(1))); // Up starts from the newest again
    }

    void readHostEntries_data() {
        QTest::addColumn<B>("text");
        QTest::addColumn<L>("entries");
        const L two{"10.0.0.5", "10.0.0.6"};
        QTest::newRow("CR LF lines") << B("10.0.0.5\r\n10.0.0.6\r\n") << two;
        QTest::newRow("LF lines") << B("10.0.0.5\n10.0.0.6") << two;
        QTest::newRow("CR lines") << B("10.0.0.5\r10.0.0.6\r") << two;
        QTest::newRow("empty file") << B() << L{};
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
    void hostListRoundTrip() {
        const std::vector<std::string> list{"10.0.0.5", "plc.local", "10.0.0.5"};
        const std::string text = writeHostEntries(list);
        QCOMPARE(text, std::string("10.0.0.5\r\nplc.local\r\n10.0.0.5\r\n"));
        QCOMPARE(core::readHostEntries(text), list);
        QVERIFY(writeHostEntries({}).empty());
        // An entry holding a comma comes back as two.
        QCOMPARE(toList(core::readHostEntries(writeHostEntries({"a,b"}))), (L{"a", "b"}));
    }

    void readProgramLines_data() {
        QTest::addColumn<B>("content");
        QTest::addColumn<L>("lines");
        const L ab{"10 A", "20 B"};
        QTest::newRow("CR") << B("10 A\r20 B") << ab;
        QTest::newRow("CR LF") << B("10 A\r\n20 B\r\n") << ab;
        QTest::newRow("LF") << B("10 A\n20 B\n") << ab;
        QTest::newRow("empty line kept") << B("10 A\r\n\r\n20 B") << L{"10 A", "", "20 B"};
        QTest::newRow("CR CR") << B("10 A\r\r20 B") << L{"10 A", "", "20 B"};
        QTest::newRow("empty last line") << B("10 A\r\n\r\n") << L{"10 A", ""};
        QTest::newRow("blank line") << B("  \r\n") << L{"  "};
        QTest::newRow("empty file") << B() << L{};
    }
    void readProgramLines() {
        QFETCH(B, content);
        QFETCH(L, lines);
        QCOMPARE(toList(core::readProgramLines(sb(content))), lines);
    }
    void programLineLimit_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("failure");
        QTest::newRow("2048") << 2048 << 0;
        QTest::newRow("2049") << 2049 << 9;
    }
    void programLineLimit() {
        QFETCH(int, count);
        QFETCH(int, failure);
        std::string content;
        for (int i = 1; i <= count; ++i)
            content += std::to_string(i) + " REM\r\n";
        std::size_t read = 0;
        QCOMPARE(failureOf([&] { read = core::readProgramLines(content).size(); }), failure);
        QCOMPARE(int(read), failure ? 0 : count);
    }
    void stripLeadingZeros_data() {
        QTest::addColumn<B>("line");
        QTest::addColumn<B>("sent");
        const B tail = B("1 REM ") + B(143, 'x');
        QTest::newRow("0010") << B("0010 PRINT X") << B("10 PRINT X");
        QTest::newRow("0000") << B("0000") << B("0");
        QTest::newRow("00005") << B("00005 REM") << B("05 REM");
        QTest::newRow("lone 0") << B("0") << B("");
        QTest::newRow("no zero") << B("10 PRINT 0") << B("10 PRINT 0");
        QTest::newRow("blank first") << B(" 010") << B(" 010");
        QTest::newRow("150 chars") << "0" + tail << tail;
    }
    void stripLeadingZeros() {
        QFETCH(B, line);
        QFETCH(B, sent);
        QCOMPARE(qb(core::stripLeadingZeros(sb(line))), sent);
    }

    void flashCommandLines() {
        QCOMPARE(openWriteLine(""), std::string("OPENWR \"\""));
        QCOMPARE(openWriteLine("SAMPLE.TXT"), std::string("OPENWR \"SAMPLE.TXT\""));
        QCOMPARE(openReadLine(" a b "), std::string("OPENRD \" a b \""));
        QCOMPARE(kReadLine, std::string_view("READ 20\""));
        QCOMPARE(int(kReadLine.size()), 8);
        QCOMPARE(kCloseLine, std::string_view("CLOSE"));
    }
    void writeLine_data() {
        QTest::addColumn<B>("piece");
        QTest::addColumn<B>("line");
        B full;
        for (int i = 0; i < 21; ++i)
            full += char(0xEB + i);
        QTest::newRow("5,10,255") << B("\x05\x0A\xFF") << B("WRITE \"050AFF\"");
        QTest::newRow("zero") << B(1, '\0') << B("WRITE \"00\"");
        QTest::newRow("21 bytes") << full << "WRITE \"" + full.toHex().toUpper() + "\"";
        B all;
        for (int i = 0; i < 256; ++i)
            all += char(i);
        QTest::newRow("every byte") << all << "WRITE \"" + all.toHex().toUpper() + "\"";
    }
    void writeLine() {
        QFETCH(B, piece);
        QFETCH(B, line);
        QCOMPARE(qb(core::writeLine(sb(piece))), line);
        // What the controller sends back as an end-of-data reply decodes to the same bytes.
        QCOMPARE(qb(decodeEndOfData(sb(line.mid(7).chopped(1) + "ND"))), piece);
    }
    void flashReplies_data() {
        QTest::addColumn<bool>("endOfData");
        QTest::addColumn<B>("reply");
        QTest::addColumn<B>("bytes");
        const B twenty = B::fromHex("000102030405060708090A0B0C0D0E0F10FF7F80");
        const B digits = twenty.toHex().toUpper();
        QTest::newRow("40 digits CR LF") << false << digits + "\r\n" << twenty;
        QTest::newRow("longer") << false << digits + "ABCD" << twenty;
        QTest::newRow("10 digits")
            << false << B("0102030405") << B::fromHex("0102030405") + B(15, '\0');
        QTest::newRow("odd digit") << false << B("ABC") << B::fromHex("AB0C") + B(18, '\0');
        QTest::newRow("lower case") << false << B("ff0a") << B(20, '\0');
        QTest::newRow("empty") << false << B() << B(20, '\0');
        QTest::newRow("ND first") << true << B("ND\r\n") << B();
        QTest::newRow("5 digits, ND") << true << B("12345ND") << B::fromHex("1234");
        QTest::newRow("6 digits, ND") << true << B("123456ND\r\n") << B::fromHex("123456");
        QTest::newRow("ND inside a word") << true << B("ABCEND") << B::fromHex("ABCE");
        QTest::newRow("first ND counts") << true << B("01ND02ND") << B::fromHex("01");
        QTest::newRow("nd is no marker") << true << B("12nd") << B();
    }
    void flashReplies() {
        QFETCH(bool, endOfData);
        QFETCH(B, reply);
        QFETCH(B, bytes);
        const std::string text = sb(reply);
        QCOMPARE(qb(endOfData ? decodeEndOfData(text) : decodeDataReply(text)), bytes);
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
