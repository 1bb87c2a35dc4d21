// vantor term end to end, driven from a pseudo-terminal of the test's own as an operator's
// terminal would drive it: keys typed, the screen read. One run per link (UDP, serial
// plain with the port unplugged and plugged back, RTU with a flood of lines) and one with
// stdin not a terminal.

#include "core/framing.h"
#include "loopback_peer.h"
#include "pty_pair.h"
#include "sim/controller.h"
#include "sim/udp_front.h"
#include "vantor_run.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace vantor;
using namespace vantor::test;

namespace {

constexpr int kWaitMs = 10000;
// A port back is opened within 100 ms; the rest is room for a sanitizer build.
constexpr int kLinkBackMs = 2000;

// vantor term on a terminal of its own: the test holds the terminal's master side. With
// `pipedInput`, stdin is a pipe instead that never has a line and never ends.
class Terminal {
public:
    explicit Terminal(const QStringList& arguments, bool pipedInput = false) {
        winsize size{24, 100, 0, 0};
        pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
        if (pid_ == 0) {
            int input[2];
            if (pipedInput && ::pipe(input) == 0)
                ::dup2(input[0], STDIN_FILENO); // its writing end stays open, in vantor
            ::setenv("TERM", "xterm", 1);
            ::setenv("LC_ALL", "C.UTF-8", 1); // keys and widths are UTF-8 characters
            std::vector<QByteArray> args{QByteArrayLiteral(VANTOR)};
            for (const QString& a : arguments)
                args.push_back(a.toLocal8Bit());
            std::vector<char*> argv;
            for (QByteArray& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    }
    ~Terminal() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(master_);
    }

    void type(const QByteArray& keys) const {
        QCOMPARE(::write(master_, keys.constData(), std::size_t(keys.size())), keys.size());
    }
    // The screen as written so far, escape codes and all.
    const QByteArray& screen() {
        char buffer[65536];
        for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;)
            screen_.append(buffer, n);
        return screen_;
    }
    // Waits for `text` to appear on the screen after what has been seen so far.
    bool waitFor(const QByteArray& text, int ms = kWaitMs) {
        const bool seen = QTest::qWaitFor([&] { return screen().indexOf(text, from_) >= 0; }, ms);
        if (seen)
            from_ = screen_.indexOf(text, from_) + text.size();
        else
            qWarning() << "not on the screen:" << text << "; the screen ends" << screen_.right(300);
        return seen;
    }
    termios mode() const {
        termios t{};
        ::tcgetattr(master_, &t);
        return t;
    }
    void signal(int number) const { ::kill(pid_, number); }
    int exitStatus() {
        (void)QTest::qWaitFor(
            [&] {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) == pid_)
                    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return status_ >= 0;
            },
            kWaitMs);
        return status_;
    }

private:
    int master_ = -1;
    pid_t pid_ = -1;
    int status_ = -1;
    QByteArray screen_;
    qsizetype from_ = 0;
};

// The simulator as a process of its own, serving a pseudo-terminal under a fixed name.
class SimProcess {
public:
    explicit SimProcess(const QString& link) {
        process_.start(QStringLiteral(VANTOR_SIM),
                       {QStringLiteral("--serial"), QStringLiteral("--link"), link});
        ready_ = QTest::qWaitFor([&] { return process_.canReadLine(); }, kWaitMs) &&
                 process_.readLine().startsWith("READY");
    }
    ~SimProcess() { stop(); }
    bool ready() const { return ready_; }
    void stop() {
        process_.terminate();
        process_.waitForFinished(kWaitMs);
    }

private:
    QProcess process_;
    bool ready_ = false;
};

} // namespace

class TestTerm : public QObject {
    Q_OBJECT
private slots:
    // Over UDP: lines typed and sent at once, a reply drawn above a half-typed line that
    // stays intact, the history's rules, Ctrl-C, the log, keys cut short, and the terminal
    // restored after SIGTERM.
    void udp() {
        QTemporaryDir dir;
        sim::Controller controller;
        sim::UdpFront board(controller, QHostAddress::LocalHost, 0);
        const QString log = dir.filePath(QStringLiteral("term.log"));
        Terminal t(
            {"term", "--host", QStringLiteral("127.0.0.1:%1").arg(board.port()), "--log", log});
        QVERIFY(t.waitFor("Ctrl-T ? lists the keys"));
        QVERIFY(!(t.mode().c_lflag & ICANON));
        // Ctrl-T ?: the keys in two columns on every line, within 80 columns.
        t.type("\x14?");
        QVERIFY(t.waitFor("Ctrl-C abandons"));
        const QString keys =
            QString::fromLatin1(t.screen().mid(t.screen().lastIndexOf("keys after")));
        const QRegularExpression pair(QStringLiteral("^  \\S  .*?\\S\\s{2,}(\\S)  \\S"));
        QSet<qsizetype> columns;
        for (const QString& row : keys.split(QStringLiteral("\r\n")).mid(1, 5)) {
            const QRegularExpressionMatch m = pair.match(row);
            QVERIFY2(m.hasMatch() && row.size() < 80, qPrintable(row));
            columns << m.capturedStart(1);
        }
        QCOMPARE(columns.size(), 1);
        // The reply comes after "PRI" is typed, and the line is drawn again under it.
        t.type("VER\rPRI");
        QVERIFY(t.waitFor("VANTOR-SIM BASIC"));
        QVERIFY(t.waitFor("\n> PRI"));
        t.type("NT 1\r");
        QVERIFY(t.waitFor("ERROR"));
        // Up recalls PRINT 1, sent unchanged: not stored again, so Up twice is VER.
        t.type("\x1b[A\r");
        QVERIFY(t.waitFor("ERROR"));
        t.type("abc\x03\x1b[A\x1b[A\r");
        QVERIFY(t.waitFor("VANTOR-SIM BASIC"));
        const QByteArray sent = readFile(log);
        QRegularExpression lines(QStringLiteral("^(VER|PRINT 1|abc)\\r$"),
                                 QRegularExpression::MultilineOption);
        QStringList order;
        for (const auto& m : lines.globalMatch(QString::fromLatin1(sent)))
            order << m.captured(1);
        QCOMPARE(order, QStringList({"VER", "PRINT 1", "PRINT 1", "VER"}));
        QVERIFY(sent.contains("VANTOR-SIM BASIC V1.0\r\n"));

        // Rows of the typed line in columns, not bytes: 60 Cyrillic letters take part of a
        // row, so a reply (here to Ctrl-T v) erases no row above the line; 120 take two.
        const QByteArray letters = QString(60, QChar(0x436)).toUtf8();
        const qsizetype before = t.screen().size();
        t.type(letters + "\x14v");
        QVERIFY(t.waitFor("VANTOR-SIM BASIC"));
        QVERIFY(!t.screen().mid(before).contains("\x1b[1A"));
        t.type(letters + "\x14v");
        QVERIFY(t.waitFor("\x1b[1A\r\x1b[JVANTOR-SIM BASIC"));

        // Escape alone, or half a character, holds nothing up: the keys before it go, the
        // replies show, and SIGTERM still ends the session.
        t.type("\x03VER\r\xd0");
        QVERIFY(t.waitFor("VANTOR-SIM BASIC"));
        t.type("\x14v\x1b"); // Ctrl-T v
        QVERIFY(t.waitFor("VANTOR-SIM BASIC"));
        t.signal(SIGTERM);
        QCOMPARE(t.exitStatus(), 130);
        QVERIFY(t.mode().c_lflag & ICANON);
        QVERIFY(t.mode().c_lflag & ECHO);
        QVERIFY(t.mode().c_lflag & ISIG);
    }

    // A serial port that goes away and comes back under the same name: lost, lines typed
    // meanwhile not sent, back by itself, and the session goes on.
    void serialUnplugged() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("adapter"));
        auto sim = std::make_unique<SimProcess>(link);
        QVERIFY(sim->ready());
        Terminal t({"term", "--serial", link});
        QVERIFY(t.waitFor("Ctrl-T ? lists the keys"));
        t.type("VER\r");
        QVERIFY(t.waitFor("VANTOR-SIM BASIC"));
        sim.reset();
        QVERIFY(t.waitFor("link lost: " + link.toLocal8Bit() + ", waiting"));
        t.type("VER\r");
        QVERIFY(t.waitFor("not sent: " + link.toLocal8Bit() + " is not there"));
        sim = std::make_unique<SimProcess>(link);
        QVERIFY(sim->ready());
        QVERIFY(t.waitFor("link back: " + link.toLocal8Bit(), kLinkBackMs));
        t.type("VER\r");
        QVERIFY(t.waitFor("VANTOR-SIM BASIC"));
        t.type("\x04");
        QCOMPARE(t.exitStatus(), 0);
    }

    void serialGoneWithoutReconnect() {
        test::PtyPair port;
        Terminal t({"term", "--serial", port.slavePath(), "--no-reconnect"});
        QVERIFY(t.waitFor("Ctrl-T ? lists the keys"));
        port.close();
        QVERIFY(t.waitFor("went away"));
        QCOMPARE(t.exitStatus(), 4);
    }

    // 10,000 lines in RTU frames as fast as the port takes them, Enter pressed while frames
    // are half received: every line on the screen, in order, none cut.
    void rtuFlood() {
        test::PtyPair port;
        Terminal t({"term", "--serial", port.slavePath(), "--rtu", "1"});
        QVERIFY(t.waitFor("Ctrl-T ? lists the keys"));
        constexpr int kLines = 10000;
        QByteArray frames;
        for (int i = 1; i <= kLines; ++i)
            frames += QByteArray::fromStdString(core::rtuFrame(
                "1", QStringLiteral("line %1\r\n").arg(i, 5, 10, QChar('0')).toStdString()));
        qsizetype written = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                const qsizetype n = port.writeSome(frames.mid(written, 4096));
                written += std::max<qsizetype>(n, 0);
                if (n > 0)
                    t.type("\r"); // 4096 is no multiple of a frame: one is cut here
                t.screen();
                return written == frames.size();
            },
            60000));
        QVERIFY(t.waitFor("line 10000", 60000));
        const QRegularExpression line(QStringLiteral("line (\\d{5})"));
        int expected = 1;
        for (const auto& m : line.globalMatch(QString::fromLatin1(t.screen()))) {
            QCOMPARE(m.captured(1).toInt(), expected);
            ++expected;
        }
        QCOMPARE(expected, kLines + 1);
    }

    // A run of several boards on a terminal: the live view, redrawn in place, then the
    // closing table. (Here, as it is vantor's stderr that is a terminal.)
    void liveView() {
        QTemporaryDir dir;
        std::vector<std::unique_ptr<sim::Controller>> boards;
        std::vector<std::unique_ptr<sim::UdpFront>> fronts;
        sim::FrontOptions slow;
        slow.replyDelayMs = 40;
        for (int n = 1; n <= 3; ++n) {
            boards.push_back(std::make_unique<sim::Controller>());
            fronts.push_back(std::make_unique<sim::UdpFront>(
                *boards.back(), QHostAddress(QStringLiteral("127.0.10.%1").arg(n)),
                fronts.empty() ? 0 : fronts[0]->port(), slow));
        }
        const QString program = dir.filePath(QStringLiteral("p.bas"));
        writeFile(program, QByteArray("10 REM\r\n").repeated(8));
        boards[0]->storeLine("10 REM"); // left alone, and counted apart
        Terminal t({"--host", QStringLiteral("127.0.10.1-3:%1").arg(fronts[0]->port()), "download",
                    "--if-changed", program});
        QVERIFY(t.waitFor("running 3 / waiting 0"));
        QVERIFY(t.waitFor("\x1b[4A\r\x1b[J")); // three rows and the totals, drawn again
        QVERIFY(t.waitFor("done 1 (1 unchanged) / failed 0 / running 2"));
        QVERIFY(t.waitFor("done             2"));
        QVERIFY(t.waitFor("unchanged        1"));
        QCOMPARE(t.exitStatus(), 0);
        // Each redraw goes up exactly as many rows as the draw before it wrote.
        const QString screen = QString::fromUtf8(t.screen());
        static const QRegularExpression erase(QStringLiteral("\x1b\\[(\\d+)A\r\x1b\\[J"));
        qsizetype from = 0;
        int redraws = 0;
        for (const auto& m : erase.globalMatch(screen)) {
            QCOMPARE(screen.mid(from, m.capturedStart() - from).count(QLatin1Char('\n')),
                     m.captured(1).toInt());
            from = m.capturedEnd();
            ++redraws;
        }
        QVERIFY(redraws > 1);
    }

    // stdin not a terminal: each line sent and its answer waited for, the next one after a
    // refusal or a line too long, the worst verdict as the exit status.
    void piped() {
        QTemporaryDir dir;
        sim::Controller controller;
        sim::UdpFront board(controller, QHostAddress::LocalHost, 0);
        const QString input = dir.filePath(QStringLiteral("commands.txt"));
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("VER\n\nNO SUCH COMMAND\n" + QByteArray(70000, 'A') + "\nVER");
        file.close();
        QProcess p;
        p.setStandardInputFile(input);
        p.start(QStringLiteral(VANTOR),
                {"term", "--host", QStringLiteral("127.0.0.1:%1").arg(board.port())});
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, kWaitMs));
        const QByteArray out = p.readAllStandardOutput();
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(out.count("VANTOR-SIM BASIC"), 2);
        QVERIFY(!out.contains('\x1b'));
        const QByteArray err = p.readAllStandardError();
        QVERIFY(err.contains("\"NO SUCH COMMAND\" refused"));
        QVERIFY(err.contains("a line of more than 65536 bytes: not sent"));
    }

    // stdin not a terminal but stdout one: what the board says unasked shows as a session
    // shows it, control characters C0 and C1 as text.
    void pipedToTerminal() {
        test::PtyPair port;
        Terminal t({"term", "--serial", port.slavePath()}, true);
        QVERIFY(t.waitFor("vantor term: "));
        port.write("\x1b[2J\x98!\r\n");
        QVERIFY(t.waitFor("^[[2J\\x98!"));
        t.signal(SIGTERM);
        QCOMPARE(t.exitStatus(), 130);
    }

    // stdin read only as fast as its lines go out: while a board answers line after line,
    // vantor has taken from a long input little more than a pipe holds.
    void pipedInputPaced() {
        test::LoopbackPeer board;
        QProcess p;
        p.start(QStringLiteral(VANTOR),
                {"term", "--host", QStringLiteral("127.0.0.1:%1").arg(board.port())});
        const QByteArray input = QByteArray("X\n").repeated(4 << 20);
        p.write(input);
        for (int line = 0; line < 40; ++line) {
            QVERIFY(QTest::qWaitFor([&] { return board.received.size() > line; }, kWaitMs));
            board.reply("OK\r\n");
        }
        QCOMPARE_LT(input.size() - p.bytesToWrite(), 256 * 1024);
        p.kill();
        p.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestTerm)
#include "tst_term.moc"
