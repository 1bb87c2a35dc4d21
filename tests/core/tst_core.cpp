// The Qt-free core, checked against published check values and the behaviour the
// operator and the controller see on the wire.

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

namespace {

QByteArray qb(const std::string& s) {
    return QByteArray::fromStdString(s);
}
std::string sb(const QByteArray& b) {
    return b.toStdString();
}

QByteArrayList toList(const std::vector<std::string>& lines) {
    QByteArrayList out;
    for (const auto& line : lines)
        out << qb(line);
    return out;
}

// The failure number `f` throws, 0 when it returns normally.
template <typename F> int failureOf(F&& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.number();
    }
    return 0;
}

// A reply frame as a device would send it; rtuFrame itself is checked against fixed bytes.
QByteArray reply(const QByteArray& data) {
    return qb(rtuFrame("1", sb(data)));
}
QByteArray corrupted(QByteArray frame) {
    frame[frame.size() - 1] = char(frame.back() ^ 0x01);
    return frame;
}

// "G" or "B" (good or bad CRC) followed by the data, for every frame taken off the front.
QByteArrayList drain(std::string& buffer) {
    QByteArrayList steps;
    for (;;) {
        const RtuStep step = takeRtuFrame(buffer);
        if (step.kind == RtuStep::Kind::Incomplete)
            return steps;
        steps << (step.kind == RtuStep::Kind::Good ? "G" : "B") + qb(step.data);
    }
}

} // namespace

class TstCore : public QObject {
    Q_OBJECT

private slots:
    void crc16_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<uint>("crc");
        QTest::newRow("check string") << QByteArray("123456789") << 0x4B37u;
        QTest::newRow("empty") << QByteArray() << 0xFFFFu;
        QTest::newRow("read 1 register") << QByteArray::fromHex("010300000001") << 0x0A84u;
        QTest::newRow("read 10 registers") << QByteArray::fromHex("01030000000A") << 0xCDC5u;
        QTest::newRow("write register") << QByteArray::fromHex("010600010003") << 0x0B98u;
    }
    void crc16() {
        QFETCH(QByteArray, message);
        QFETCH(uint, crc);
        QCOMPARE(uint(crc16Value(sb(message))), crc);
        const std::string wire = CRC16(sb(message));
        QCOMPARE(int(wire.size()), 2);
        QCOMPARE(uint(static_cast<unsigned char>(wire[0])), crc & 0xFF);
        QCOMPARE(uint(static_cast<unsigned char>(wire[1])), crc >> 8);
        // A message followed by its own CRC, low byte first, checks to zero.
        QCOMPARE(uint(crc16Value(sb(message) + wire)), 0u);
    }

    void hexDigits_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("decode");
        QTest::addColumn<int>("decode2");
        QTest::newRow("0") << QByteArray("0") << 0 << 0;
        QTest::newRow("7") << QByteArray("7") << 7 << 7;
        QTest::newRow("A") << QByteArray("A") << 10 << 10;
        QTest::newRow("F") << QByteArray("F") << 15 << 15;
        QTest::newRow("small f") << QByteArray("f") << 0 << 0;
        QTest::newRow("G") << QByteArray("G") << 0 << 0;
        QTest::newRow("empty") << QByteArray() << 0 << 0;
        QTest::newRow("FF") << QByteArray("FF") << 0 << 255;
        QTest::newRow("A0") << QByteArray("A0") << 0 << 160;
        QTest::newRow("a0") << QByteArray("a0") << 0 << 0;
        QTest::newRow("0a") << QByteArray("0a") << 0 << 0;
        QTest::newRow("123") << QByteArray("123") << 0 << 0;
    }
    void hexDigits() {
        QFETCH(QByteArray, text);
        QFETCH(int, decode);
        QFETCH(int, decode2);
        QCOMPARE(Decode(sb(text)), decode);
        QCOMPARE(Decode2(sb(text)), decode2);
    }

    void gatewayLine_data() {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<int>("failure");
        QTest::newRow("VER") << QByteArray("16") << QByteArray("VER\r\n")
                             << QByteArray("MDC 16,VER\r\n") << 0;
        QTest::newRow("blanks kept")
            << QByteArray(" 16 ") << QByteArray("VER\r\n") << QByteArray("MDC  16 ,VER\r\n") << 0;
        QTest::newRow("line end only")
            << QByteArray("16") << QByteArray("\r\n") << QByteArray("MDC 16,\r\n") << 0;
        QTest::newRow("one char") << QByteArray("16") << QByteArray("X") << QByteArray() << 5;
        QTest::newRow("empty") << QByteArray("16") << QByteArray() << QByteArray() << 5;
    }
    void gatewayLine() {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, wire);
        QFETCH(int, failure);
        QCOMPARE(failureOf(
                     [&] { QCOMPARE(qb(vantor::core::gatewayLine(sb(address), sb(line))), wire); }),
                 failure);
    }

    void rtuAddress_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("failure");
        QTest::newRow("16") << QByteArray("16") << 16 << 0;
        QTest::newRow("not a number") << QByteArray("abc") << 0 << 0;
        QTest::newRow("empty") << QByteArray() << 0 << 0;
        QTest::newRow("16.6") << QByteArray("16.6") << 17 << 0;
        QTest::newRow("16.5 to even") << QByteArray("16.5") << 16 << 0;
        QTest::newRow("17.5 to even") << QByteArray("17.5") << 18 << 0;
        QTest::newRow("inner blanks") << QByteArray(" 1 6") << 16 << 0;
        QTest::newRow("trailing text") << QByteArray("12abc") << 12 << 0;
        QTest::newRow("255") << QByteArray("255") << 255 << 0;
        QTest::newRow("255.5 rounds out") << QByteArray("255.5") << 0 << 6;
        QTest::newRow("300") << QByteArray("300") << 0 << 6;
        QTest::newRow("-1") << QByteArray("-1") << 0 << 6;
    }
    void rtuAddress() {
        QFETCH(QByteArray, text);
        QFETCH(int, address);
        QFETCH(int, failure);
        QCOMPARE(failureOf([&] { QCOMPARE(vantor::core::rtuAddress(sb(text)), address); }),
                 failure);
        const std::string frame = "X\r\n";
        QCOMPARE(failureOf([&] { QCOMPARE(int(uchar(rtuFrame(sb(text), frame)[0])), address); }),
                 failure);
    }

    void rtuFrameOfVer() {
        const QByteArray expected("\x10\x43\x05VER\r\n\x4B\xD0", 10);
        QCOMPARE(qb(rtuFrame("16", "VER\r\n")), expected);
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
            QCOMPARE(uint(crc16Value(frame)), 0u); // the closing CRC covers everything before it
        }
    }

    void rtuReassembly_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArrayList>("frames");
        QTest::addColumn<QByteArray>("rest");
        const QByteArray ok = reply("OK\r\n"), ver = reply("V3.0\r\n"), err = reply("ERR\r\n");
        QTest::newRow("one good") << ok << QByteArrayList{"GOK\r\n"} << QByteArray();
        QTest::newRow("two in one")
            << ok + ver << QByteArrayList{"GOK\r\n", "GV3.0\r\n"} << QByteArray();
        QTest::newRow("bad crc between")
            << ok + corrupted(err) + ver << QByteArrayList{"GOK\r\n", "BERR\r\n", "GV3.0\r\n"}
            << QByteArray();
        QTest::newRow("byte count 0") << reply({}) << QByteArrayList{"G"} << QByteArray();
        QTest::newRow("header only") << ok.left(3) << QByteArrayList{} << ok.left(3);
        QTest::newRow("unfinished tail")
            << ok + ver.left(7) << QByteArrayList{"GOK\r\n"} << ver.left(7);
    }
    void rtuReassembly() {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArrayList, frames);
        QFETCH(QByteArray, rest);
        std::string whole = sb(stream);
        QCOMPARE(drain(whole), frames);
        QCOMPARE(qb(whole), rest);
        // One byte per poll tick must come out the same.
        std::string buffer;
        QByteArrayList taken;
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
        RtuStep step = takeRtuFrame(buffer);
        QCOMPARE(step.kind, RtuStep::Kind::Incomplete);
        QCOMPARE(step.length, 4);
        QCOMPARE(buffer, frame.substr(0, 6));
        buffer += frame.substr(6);
        step = takeRtuFrame(buffer);
        QCOMPARE(step.kind, RtuStep::Kind::Good);
        QCOMPARE(step.data, std::string("OK\r\n"));
        QCOMPARE(step.crcRecv, frame.substr(frame.size() - 2));
        QCOMPARE(step.crcCalc, step.crcRecv);
        QVERIFY(buffer.empty());
    }

    void historyEmpty() {
        CommandHistory history;
        QVERIFY(!history.up());
        QCOMPARE(history.down(), std::optional<std::string>(""));
    }

    void historyKeepsLast32() {
        CommandHistory history;
        for (int i = 1; i <= 40; ++i)
            history.enter("line" + std::to_string(i));
        QCOMPARE(history.entry(1), std::string("line40"));
        QCOMPARE(history.entry(32), std::string("line9"));
        // The 33rd Up stays on the oldest line kept.
        for (int i = 1; i <= 33; ++i)
            QCOMPARE(history.up(),
                     std::optional<std::string>("line" + std::to_string(41 - std::min(i, 32))));
    }

    void historyWalk() {
        CommandHistory history;
        for (const char* line : {"a", "b", "c"})
            history.enter(line);
        for (const char* line : {"c", "b", "a"})
            QCOMPARE(history.up(), std::optional<std::string>(line));
        QVERIFY(!history.up()); // nothing older: the line stays
        for (const char* line : {"b", "c", ""})
            QCOMPARE(history.down(), std::optional<std::string>(line));
        // Back on the fresh line, a newly typed line is stored.
        history.enter("d");
        QCOMPARE(history.entry(1), std::string("d"));
    }

    void historyRecalled_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("stored");
        QTest::newRow("unchanged") << false << QByteArray("b") << false;
        QTest::newRow("extended by typing") << false << QByteArray("bx") << false;
        QTest::newRow("edited, same text") << true << QByteArray("b") << true;
        QTest::newRow("edited and changed") << true << QByteArray("c") << true;
    }
    void historyRecalled() {
        QFETCH(bool, edited);
        QFETCH(QByteArray, sent);
        QFETCH(bool, stored);
        CommandHistory history;
        history.enter("a");
        history.enter("b");
        QCOMPARE(history.up(), std::optional<std::string>("b"));
        if (edited)
            history.edited();
        history.enter(sb(sent));
        QCOMPARE(history.entry(1), stored ? sb(sent) : std::string("b"));
        QCOMPARE(history.entry(3), std::string(stored ? "a" : ""));
        // After Enter the next Up starts from the newest line again.
        QCOMPARE(history.up(), std::optional<std::string>(history.entry(1)));
    }

    void historyStoresRepeats() {
        CommandHistory history;
        history.enter("x");
        history.enter("");
        history.enter("x");
        QCOMPARE(history.entry(1), std::string("x"));
        QCOMPARE(history.entry(2), std::string("x"));
        QVERIFY(history.entry(3).empty());
        QVERIFY(history.entry(0).empty());
    }

    void readHostEntries_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArrayList>("entries");
        const QByteArrayList two{"10.0.0.5", "10.0.0.6"};
        QTest::newRow("CR LF lines") << QByteArray("10.0.0.5\r\n10.0.0.6\r\n") << two;
        QTest::newRow("LF lines") << QByteArray("10.0.0.5\n10.0.0.6") << two;
        QTest::newRow("CR lines") << QByteArray("10.0.0.5\r10.0.0.6\r") << two;
        QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
        QTest::newRow("only empty lines") << QByteArray("\r\n\r\n\n") << QByteArrayList{};
        QTest::newRow("empty lines between") << QByteArray("\r\n10.0.0.5\r\n\r\n10.0.0.6") << two;
        QTest::newRow("commas") << QByteArray("a,b\r\nc") << QByteArrayList{"a", "b", "c"};
        QTest::newRow("quoted comma") << QByteArray("\"a,b\",c\r\n") << QByteArrayList{"a,b", "c"};
        QTest::newRow("leading blanks") << QByteArray("  10.0.0.5\r\n 10.0.0.6") << two;
        QTest::newRow("blanks in quotes") << QByteArray("\" x\"") << QByteArrayList{" x"};
    }
    void readHostEntries() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArrayList, entries);
        QCOMPARE(toList(vantor::core::readHostEntries(sb(text))), entries);
    }

    void hostListRoundTrip() {
        const std::vector<std::string> list{"10.0.0.5", "plc.local", "10.0.0.5"};
        const std::string text = writeHostEntries(list);
        QCOMPARE(text, std::string("10.0.0.5\r\nplc.local\r\n10.0.0.5\r\n"));
        QCOMPARE(vantor::core::readHostEntries(text), list);
        QCOMPARE(writeHostEntries({}), std::string());
        // An entry holding a comma comes back as two.
        QCOMPARE(toList(vantor::core::readHostEntries(writeHostEntries({"a,b"}))),
                 (QByteArrayList{"a", "b"}));
        const QStringList parts = QString::fromLatin1(kDefaultHost).split('.');
        QCOMPARE(parts.size(), 4);
        for (const QString& part : parts) {
            bool ok = false;
            QVERIFY(part.toInt(&ok) <= 255 && ok);
        }
    }

    void readProgramLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArrayList>("lines");
        const QByteArrayList ab{"10 A", "20 B"};
        QTest::newRow("CR") << QByteArray("10 A\r20 B") << ab;
        QTest::newRow("CR LF") << QByteArray("10 A\r\n20 B\r\n") << ab;
        QTest::newRow("LF") << QByteArray("10 A\n20 B\n") << ab;
        QTest::newRow("empty line kept")
            << QByteArray("10 A\r\n\r\n20 B") << QByteArrayList{"10 A", "", "20 B"};
        QTest::newRow("CR CR") << QByteArray("10 A\r\r20 B") << QByteArrayList{"10 A", "", "20 B"};
        QTest::newRow("empty last line")
            << QByteArray("10 A\r\n\r\n") << QByteArrayList{"10 A", ""};
        QTest::newRow("blank line") << QByteArray("  \r\n") << QByteArrayList{"  "};
        QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
    }
    void readProgramLines() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArrayList, lines);
        QCOMPARE(toList(vantor::core::readProgramLines(sb(content))), lines);
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
        QCOMPARE(failureOf([&] { read = vantor::core::readProgramLines(content).size(); }),
                 failure);
        QCOMPARE(int(read), failure ? 0 : count);
    }

    void stripLeadingZeros_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("sent");
        const QByteArray tail = QByteArray("1 REM ") + QByteArray(143, 'x');
        const QByteArray longLine = "0" + tail;
        QTest::newRow("0010") << QByteArray("0010 PRINT X") << QByteArray("10 PRINT X");
        QTest::newRow("0000") << QByteArray("0000") << QByteArray("0");
        QTest::newRow("00005") << QByteArray("00005 REM") << QByteArray("05 REM");
        QTest::newRow("lone 0") << QByteArray("0") << QByteArray("");
        QTest::newRow("no zero") << QByteArray("10 PRINT 0") << QByteArray("10 PRINT 0");
        QTest::newRow("blank first") << QByteArray(" 010") << QByteArray(" 010");
        QTest::newRow("150 chars") << longLine << tail;
    }
    void stripLeadingZeros() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, sent);
        QCOMPARE(qb(vantor::core::stripLeadingZeros(sb(line))), sent);
    }

    void flashCommandLines() {
        QCOMPARE(openWriteLine(""), std::string("OPENWR \"\""));
        QCOMPARE(openWriteLine("SAMPLE.TXT"), std::string("OPENWR \"SAMPLE.TXT\""));
        QCOMPARE(openReadLine(" a b "), std::string("OPENRD \" a b \""));
        QCOMPARE(std::string(kReadLine), std::string("READ 20\""));
        QCOMPARE(int(kReadLine.size()), 8);
        QCOMPARE(std::string(kCloseLine), std::string("CLOSE"));
    }

    void writeLine_data() {
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<QByteArray>("line");
        QByteArray full;
        for (int i = 0; i < 21; ++i)
            full += char(0xEB + i);
        QTest::newRow("5,10,255") << QByteArray("\x05\x0A\xFF") << QByteArray("WRITE \"050AFF\"");
        QTest::newRow("zero") << QByteArray(1, '\0') << QByteArray("WRITE \"00\"");
        QTest::newRow("21 bytes") << full << "WRITE \"" + full.toHex().toUpper() + "\"";
    }
    void writeLine() {
        QFETCH(QByteArray, piece);
        QFETCH(QByteArray, line);
        const QByteArray written = qb(vantor::core::writeLine(sb(piece)));
        QCOMPARE(written, line);
        QCOMPARE(written.size(), 8 + 2 * piece.size());
    }

    void decodeDataReply_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray twenty = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F10FF7F80");
        QTest::newRow("40 digits CR LF") << twenty.toHex().toUpper() + "\r\n" << twenty;
        QTest::newRow("longer") << twenty.toHex().toUpper() + "ABCD" << twenty;
        QTest::newRow("10 digits")
            << QByteArray("0102030405") << QByteArray::fromHex("0102030405") + QByteArray(15, '\0');
        QTest::newRow("odd digit")
            << QByteArray("ABC") << QByteArray::fromHex("AB0C") + QByteArray(18, '\0');
        QTest::newRow("lower case") << QByteArray("ff0a") << QByteArray(20, '\0');
        QTest::newRow("empty") << QByteArray() << QByteArray(20, '\0');
    }
    void decodeDataReply() {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, bytes);
        QCOMPARE(qb(vantor::core::decodeDataReply(sb(reply))), bytes);
    }

    void decodeEndOfData_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ND first") << QByteArray("ND\r\n") << QByteArray();
        QTest::newRow("5 digits") << QByteArray("12345ND") << QByteArray::fromHex("1234");
        QTest::newRow("6 digits") << QByteArray("123456ND\r\n") << QByteArray::fromHex("123456");
        QTest::newRow("inside a word") << QByteArray("ABCEND") << QByteArray::fromHex("ABCE");
        QTest::newRow("first ND counts") << QByteArray("01ND02ND") << QByteArray::fromHex("01");
        QTest::newRow("case sensitive") << QByteArray("12nd") << QByteArray();
    }
    void decodeEndOfData() {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, bytes);
        QCOMPARE(qb(vantor::core::decodeEndOfData(sb(reply))), bytes);
    }

    void flashRoundTrip() {
        std::string all;
        for (int b = 0; b < 256; ++b)
            all.push_back(char(b));
        const std::string line = vantor::core::writeLine(all);
        const std::string digits = line.substr(7, line.size() - 8);
        QCOMPARE(vantor::core::decodeEndOfData(digits + "ND"), all);
        QCOMPARE(vantor::core::decodeDataReply(digits), all.substr(0, 20));
    }

    void toInteger16_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("failure");
        QTest::newRow("3") << QByteArray("3") << 3 << 0;
        QTest::newRow("blanks around") << QByteArray(" 12 ") << 12 << 0;
        QTest::newRow("lowest") << QByteArray("-32768") << -32768 << 0;
        QTest::newRow("highest") << QByteArray("32767") << 32767 << 0;
        QTest::newRow("2.5 to even") << QByteArray("2.5") << 2 << 0;
        QTest::newRow("3.5 to even") << QByteArray("3.5") << 4 << 0;
        QTest::newRow("empty") << QByteArray() << 0 << 13;
        QTest::newRow("abc") << QByteArray("abc") << 0 << 13;
        QTest::newRow("trailing text") << QByteArray("12abc") << 0 << 13;
        QTest::newRow("32768") << QByteArray("32768") << 0 << 6;
        QTest::newRow("40000") << QByteArray("40000") << 0 << 6;
        QTest::newRow("-32769") << QByteArray("-32769") << 0 << 6;
    }
    void toInteger16() {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        QFETCH(int, failure);
        QCOMPARE(failureOf([&] { QCOMPARE(vantor::core::toInteger16(sb(text)), value); }), failure);
    }

    void codePageRoundTrip_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("windows-1251") << QByteArray("windows-1251");
        QTest::newRow("latin1") << QByteArray("latin1");
        QTest::newRow("cp866") << QByteArray("cp866");
    }
    void codePageRoundTrip() {
        QFETCH(QByteArray, name);
        const CodePage* page = CodePage::byName(sb(name));
        QVERIFY(page);
        for (int b = 0; b < 256; ++b) {
            const char32_t c = page->toUnicode(uchar(b));
            if (b < 128)
                QCOMPARE(uint(c), uint(b));
            QCOMPARE(page->fromUnicode(c), b);
        }
    }

    void codePageLetters_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("byte");
        QTest::addColumn<uint>("character");
        QTest::newRow("1251 A") << QByteArray("windows-1251") << 0xC0 << 0x0410u;
        QTest::newRow("1251 ya") << QByteArray("windows-1251") << 0xFF << 0x044Fu;
        QTest::newRow("1251 Yo") << QByteArray("windows-1251") << 0xA8 << 0x0401u;
        QTest::newRow("1251 euro") << QByteArray("windows-1251") << 0x88 << 0x20ACu;
        QTest::newRow("866 A") << QByteArray("cp866") << 0x80 << 0x0410u;
        QTest::newRow("866 er") << QByteArray("cp866") << 0xE0 << 0x0440u;
        QTest::newRow("866 yo") << QByteArray("cp866") << 0xF1 << 0x0451u;
        QTest::newRow("866 nbsp") << QByteArray("cp866") << 0xFF << 0x00A0u;
        QTest::newRow("latin1 e acute") << QByteArray("latin1") << 0xE9 << 0x00E9u;
    }
    void codePageLetters() {
        QFETCH(QByteArray, name);
        QFETCH(int, byte);
        QFETCH(uint, character);
        QCOMPARE(uint(CodePage::byName(sb(name))->toUnicode(uchar(byte))), character);
    }

    void codePageNames() {
        QCOMPARE(CodePage::byName("CP1251"), CodePage::byName("windows-1251"));
        QCOMPARE(CodePage::byName("IBM866"), CodePage::byName("cp866"));
        QCOMPARE(CodePage::byName("ISO-8859-1"), CodePage::byName("latin1"));
        QVERIFY(!CodePage::byName("utf-8"));
        QCOMPARE(&CodePage::defaultPage(), CodePage::byName("windows-1251"));
        QCOMPARE(CodePage::byName("latin1")->fromUnicode(U'\u0410'), -1);
        QCOMPARE(CodePage::defaultPage().fromUnicode(U'\u00E9'), -1);
    }
};

QTEST_GUILESS_MAIN(TstCore)
#include "tst_core.moc"
