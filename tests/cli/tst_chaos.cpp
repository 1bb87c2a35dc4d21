// vantor's verdict against a board that misbehaves at random: for each seed a simulated
// board with the faults that seed draws (lost, late, split or CR-only replies, replies from
// another port, refusals), one command, and three properties of the result:
//   1. "done" only when the board holds exactly what was sent (download, put), or the
//      local file holds exactly what the board holds (save, get);
//   2. a refusal the board made and that reached vantor never ends as "done";
//   3. when the faults lost nothing and kept every answer within the retries, "done".
// VANTOR_CHAOS_SEEDS=N (default 30) and VANTOR_CHAOS_FIRST=S choose the seeds, a row each;
// a failing seed replays with `tst_chaos verdicts:"seed N"` and the same first seed.

#include "sim/controller.h"
#include "sim/pty_front.h"
#include "sim/udp_front.h"
#include "vantor_run.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <random>

using namespace vantor;
using namespace vantor::test;

namespace {

constexpr int kTimeoutMs = 300;
constexpr int kRetries = 2;

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// One seed's board and command.
struct Trial {
    explicit Trial(std::uint32_t seed) : random(seed) {
        link = sim::FrontOptions::chaos(seed);
        link.splitMs = std::min(link.splitMs, 8); // pieces the 20 ms rule joins
        command = int(random() % 4);
        serial = command < 2 && random() % 3 == 0; // download and save run on both links
        longIdle = random() % 2 == 0;
        verify = random() % 2 == 0;
        if (random() % 4 == 0) { // a board that refuses
            board.errorOnLine = int(random() % 8) + 1;
            board.flashErrorAfter = int(random() % 20) + 1;
        }
    }
    std::uint32_t number(std::uint32_t below) { return random() % below; }

    std::mt19937 random;
    sim::FrontOptions link;
    sim::ControllerOptions board;
    int command = 0; // download, save, put, get
    bool serial = false;
    // --idle: the default, or longer than any stall (a late copy is never the next line's).
    bool longIdle = false;
    bool verify = false; // save --verify
};

QByteArray randomBytes(Trial& t, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = char(t.number(256));
    return bytes;
}

QByteArray randomProgram(Trial& t, int lines) {
    QByteArray program;
    for (int n = 1; n <= lines; ++n)
        program +=
            QByteArray::number(n * 10) + " PRINT " + QByteArray::number(t.number(1000)) + "\r\n";
    return program;
}

// The listing the board sends for its program, line ends as it ends them.
QByteArray listing(const sim::Controller& board, bool crOnly) {
    QByteArray text;
    for (const auto& [number, line] : board.program())
        text += QByteArray::fromStdString(line) + (crOnly ? "\r" : "\r\n");
    return text;
}

} // namespace

class TestChaos : public QObject {
    Q_OBJECT
private slots:
    void verdicts_data() {
        QTest::addColumn<int>("seed");
        const int first = envNumber("VANTOR_CHAOS_FIRST", 0);
        const int count = envNumber("VANTOR_CHAOS_SEEDS", 30);
        for (int seed = first; seed < first + count; ++seed)
            QTest::addRow("seed %d", seed) << seed;
    }
    // A row a seed: each is judged, and timed, on its own.
    void verdicts() {
        QFETCH(int, seed);
        const QString failure = run(std::uint32_t(seed));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

private:
    // Runs one seed; what went wrong (with the traffic), or nothing.
    QString run(std::uint32_t seed) {
        QTemporaryDir dir;
        const QString failure = judge(seed, dir);
        if (failure.isEmpty())
            return {};
        return failure + QStringLiteral("\ntraffic: ") +
               QString::fromLatin1(readFile(dir.filePath("log")).right(800).toPercentEncoding(" "));
    }

    QString judge(std::uint32_t seed, const QTemporaryDir& dir) {
        Trial t(seed);
        t.board.flashDir = dir.filePath("flash").toStdString();
        sim::Controller board(t.board);
        std::optional<sim::UdpFront> udp;
        std::optional<sim::PtyFront> pty;
        const QString log = dir.filePath("log");
        QStringList arguments{"--json", "--log", log};
        arguments << "--timeout" << QString::number(kTimeoutMs / 1000.0) << "--retries"
                  << QString::number(kRetries);
        if (t.longIdle)
            arguments << "--idle" << QString::number(kTimeoutMs * (kRetries + 1) * 2);
        if (t.serial) {
            pty.emplace(board, t.link);
            arguments << "--serial" << pty->slavePath();
        } else {
            udp.emplace(board, QHostAddress::LocalHost, 0, t.link);
            arguments << "--host" << QStringLiteral("127.0.0.1:%1").arg(udp->port());
        }
        const QString local = dir.filePath("local");
        QByteArray sent;
        switch (t.command) {
        case 0:
            sent = randomProgram(t, int(t.number(30)) + 1);
            writeFile(local, sent);
            arguments << "download" << local;
            break;
        case 1:
            for (const QByteArray& line : randomProgram(t, int(t.number(30)) + 1).split('\n'))
                board.handleLine(line.trimmed().toStdString());
            arguments << "save" << local;
            if (t.verify)
                arguments << "--verify";
            break;
        case 2:
            sent = randomBytes(t, int(t.number(3000)));
            writeFile(local, sent);
            arguments << "put" << local << "F.BIN";
            break;
        default:
            writeFile(dir.filePath("flash/F.BIN"), randomBytes(t, int(t.number(3000))));
            arguments << "get"
                      << "F.BIN" << local;
        }
        const sim::FaultCounts& faults = t.serial ? pty->faults() : udp->faults();

        QProcess p;
        p.start(QStringLiteral(VANTOR), arguments);
        if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 120000)) {
            p.kill();
            return QStringLiteral("vantor never ended: %1").arg(arguments.join(' '));
        }
        const QByteArray out = p.readAllStandardOutput();
        const QJsonObject json = QJsonDocument::fromJson(out).object();
        const QString result = json.value("result").toString();
        const bool done = p.exitCode() == 0 && result == QLatin1String("done");
        const QString said = json.value("message").toString();

        // 1. done means the two sides agree.
        if (done) {
            QByteArray holds, should;
            switch (t.command) {
            case 0: // the program without the refused line, if any, is not what was sent
                holds = listing(board, false);
                should = sent;
                break;
            case 1:
                holds = readFile(local);
                should = listing(board, t.link.crOnly);
                break;
            case 2:
                holds = readFile(dir.filePath("flash/F.BIN"));
                should = sent;
                break;
            default:
                holds = readFile(local);
                should = readFile(dir.filePath("flash/F.BIN"));
            }
            if (holds != should)
                return QStringLiteral("done, but the two sides differ (%1 against %2 bytes): %3")
                    .arg(holds.size())
                    .arg(should.size())
                    .arg(said);
        }
        // 2. A refusal that reached vantor is never done.
        if (done && faults.refusals > 0)
            return QStringLiteral("done after %1 refusals: %2").arg(faults.refusals).arg(said);
        // 3. Nothing lost, every answer within the tries, no refusal: done.
        const bool benign = faults.dropped == 0 && faults.refusals == 0 &&
                            faults.longestDelayMs < kTimeoutMs * (kRetries + 1) * 3 / 4;
        if (benign && !done)
            return QStringLiteral("%1 with nothing lost (answers at most %2 ms late, %3 from "
                                  "another port): %4")
                .arg(result)
                .arg(faults.longestDelayMs)
                .arg(faults.otherPort)
                .arg(said);
        return {};
    }
};

QTEST_GUILESS_MAIN(TestChaos)
#include "tst_chaos.moc"
