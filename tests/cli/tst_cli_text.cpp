// What vantor prints for people, as tables: the progress line and its pace, the port list.

#include "ports.h"
#include "progress.h"

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
};

QTEST_GUILESS_MAIN(TestCliText)
#include "tst_cli_text.moc"
