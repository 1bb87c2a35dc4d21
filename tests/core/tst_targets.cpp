// Targets as the operator writes them: addresses, ranges and networks with their ports,
// the hosts file, duplicates and exclusions.

#include "core/targets.h"

#include <QTest>

using namespace vantor::core;

class TestTargets : public QObject {
    Q_OBJECT
private slots:
    // What a target expands to (port 111 where it names none): the first, the last and
    // how many; or the start of the error.
    void expand_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<int>("count");
        const auto row = [](const char* text, const char* first, const char* last, int count) {
            QTest::newRow(text) << text << first << last << count;
        };
        const auto error = [](const char* name, const char* text, const char* why) {
            QTest::newRow(name) << text << why << QString() << -1;
        };
        row("10.0.0.5", "10.0.0.5:111", "10.0.0.5:111", 1);
        row("10.0.0.5:5000", "10.0.0.5:5000", "10.0.0.5:5000", 1);
        row("10.0.0.1-4", "10.0.0.1:111", "10.0.0.4:111", 4);
        row("10.0.0.7-7", "10.0.0.7:111", "10.0.0.7:111", 1);
        row("127.0.1.0/24:111", "127.0.1.1:111", "127.0.1.254:111", 254);
        row("10.0.0.9/30", "10.0.0.9:111", "10.0.0.10:111", 2);
        row("10.0.0.9/31", "10.0.0.8:111", "10.0.0.9:111", 2);
        row("10.0.0.9/32", "10.0.0.9:111", "10.0.0.9:111", 1);
        row("10.0.0.0/16", "10.0.0.1:111", "10.0.255.254:111", 65534);
        row("Board-7.local:99", "board-7.local:99", "board-7.local:99", 1);
        error("reversed", "10.0.0.9-3", "\"10.0.0.9-3\": a reversed range");
        error("range past 255", "10.0.0.1-256", "\"10.0.0.1-256\": a range is written");
        error("prefix 33", "10.0.0.0/33", "\"10.0.0.0/33\": a network's prefix");
        error("a name as a network", "board/24", "\"board/24\": a network wants");
        error("five octets", "1.2.3.4.5", "\"1.2.3.4.5\": not an address");
        error("port 0", "10.0.0.1:0", "\"10.0.0.1:0\": the port wants");
        error("port 65536", "10.0.0.1:65536", "\"10.0.0.1:65536\": the port wants");
        error("over the cap", "10.0.0.0/15", "more than 65536 targets");
    }
    void expand() {
        QFETCH(QString, text);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(int, count);
        std::vector<Target> out;
        try {
            expandTarget(parseTarget(text.toStdString()), 111, out);
        } catch (const TargetError& e) {
            QVERIFY2(count < 0 && QString::fromStdString(e.what()).startsWith(first), e.what());
            return;
        }
        QCOMPARE(int(out.size()), count);
        const auto shown = [](const Target& t) {
            return QString::fromStdString(t.host) + ':' + QString::number(t.port);
        };
        QCOMPARE(shown(out.front()), first);
        QCOMPARE(shown(out.back()), last);
    }

    // The cap counts all targets of a run, and a network too big is refused before any
    // address is made.
    void capInAll() {
        std::vector<Target> out;
        expandTarget(parseTarget("10.1.0.0/17"), 111, out);
        expandTarget(parseTarget("10.2.0.0/17"), 111, out); // 32766 + 32766 + 4 = 65536
        expandTarget(parseTarget("10.3.0.1-4"), 111, out);
        QCOMPARE(out.size(), kMostTargets);
        QVERIFY_THROWS_EXCEPTION(TargetError, expandTarget(parseTarget("10.4.0.1"), 111, out));
        std::vector<Target> none;
        QVERIFY_THROWS_EXCEPTION(TargetError, expandTarget(parseTarget("0.0.0.0/0"), 1, none));
        QVERIFY(none.empty());
    }

    void excludes_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("matches");
        QTest::newRow("any port") << "10.0.0.5"
                                  << "10.0.0.5" << 7 << true;
        QTest::newRow("its port") << "10.0.0.5:7"
                                  << "10.0.0.5" << 7 << true;
        QTest::newRow("another port") << "10.0.0.5:8"
                                      << "10.0.0.5" << 7 << false;
        QTest::newRow("in a range") << "10.0.0.1-9"
                                    << "10.0.0.9" << 1 << true;
        QTest::newRow("past a range") << "10.0.0.1-9"
                                      << "10.0.0.10" << 1 << false;
        QTest::newRow("a network's broadcast") << "10.0.0.0/24"
                                               << "10.0.0.255" << 1 << false;
        QTest::newRow("a name, any case") << "Board"
                                          << "board" << 1 << true;
        QTest::newRow("a name is no address") << "board"
                                              << "10.0.0.1" << 1 << false;
    }
    void excludes() {
        QFETCH(QString, pattern);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, matches);
        QCOMPARE(parseTarget(pattern.toStdString()).matches({host.toStdString(), quint16(port)}),
                 matches);
    }

    // Modbus address lists: what they expand to, or empty for a usage error.
    void addresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("one") << "16" << QList<int>{16};
        QTest::newRow("range and one") << "1-3,12" << QList<int>{1, 2, 3, 12};
        QTest::newRow("overlap, out of order") << "7,2-4,3" << QList<int>{2, 3, 4, 7};
        QTest::newRow("the ends") << "1,247" << QList<int>{1, 247};
        QTest::newRow("broadcast") << "0" << QList<int>{};
        QTest::newRow("reserved") << "248" << QList<int>{};
        QTest::newRow("reversed") << "5-3" << QList<int>{};
        QTest::newRow("not a number") << "1-x" << QList<int>{};
        QTest::newRow("empty part") << "1,,2" << QList<int>{};
        QTest::newRow("nothing") << "" << QList<int>{};
    }
    void addresses() {
        QFETCH(QString, text);
        QFETCH(QList<int>, expected);
        try {
            const std::vector<int> got = parseAddressList(text.toStdString());
            QCOMPARE(QList<int>(got.begin(), got.end()), expected);
        } catch (const TargetError&) {
            QVERIFY(expected.isEmpty());
        }
    }

    // A field's targets end at commas, except after an '@', whose list takes the rest.
    void hostsFile() {
        const std::string text = "# plant 3\r\n10.0.0.1\r\n\r\n  10.0.0.2:5000  VANTOR BASIC V1.0, "
                                 "3 ms\n10.0.0.3,\"10.0.0.4\" # two\n\t#none\n10.0.0.0/30\n"
                                 "10.0.0.6,10.0.0.5@1-3,7 x\n/dev/ttyUSB0@2";
        QCOMPARE(readTargetFile(text),
                 (std::vector<std::string>{"10.0.0.1", "10.0.0.2:5000", "10.0.0.3", "10.0.0.4",
                                           "10.0.0.0/30", "10.0.0.6", "10.0.0.5@1-3,7",
                                           "/dev/ttyUSB0@2"}));
    }
};

QTEST_GUILESS_MAIN(TestTargets)
#include "tst_targets.moc"
