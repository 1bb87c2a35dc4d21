// 1 MiB of random bytes to the simulator's flash disk and back over loopback UDP: the
// window (Send, then Recieve) against a bare stop-and-wait client on the same simulator,
// same line formats, same run.

#include "bench_support.h"
#include "flash_client.h"
#include "window_fixture.h"

#include "shell/progress_bar.h"
#include "sim/controller.h"
#include "sim/udp_front.h"

#include <QApplication>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QVariant>

#include <random>

using namespace vantor;
using bench::Clock;

namespace {

constexpr qsizetype kFileBytes = 1024 * 1024;
constexpr int kLimitMs = 25000;

QByteArray randomBytes(qsizetype n) {
    std::mt19937 random(77);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray bytes(n, Qt::Uninitialized);
    for (char& b : bytes)
        b = static_cast<char>(byte(random));
    return bytes;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Window {
    test::WindowFixture& f;

    // The answer to the closing CLOSE lands in the pane; it must not reach the next run.
    bool idleAgain(const QByteArray& paneBefore) {
        return bench::waitUntil([&] { return f.pane() == paneBefore + "OK\r\n"; }, 1000);
    }
    double send(const QString& local, const QString& name) {
        f.c().Text2->setText(name);
        f.dialogs().fileNames.enqueue(local);
        const QByteArray pane = f.pane();
        const auto start = Clock::now();
        f.c().Command3->click();
        const bool done = bench::waitUntil(
            [&] {
                return f.s().FlashSendActive == 0 &&
                       f.c().vbalProgressBar1->text() == QLatin1String("OK");
            },
            kLimitMs);
        const double ms = bench::msSince(start);
        return done && idleAgain(pane) ? ms : -1;
    }
    double receive(const QString& local, const QString& name) {
        f.c().Text2->setText(name);
        f.dialogs().fileNames.enqueue(local);
        const QByteArray pane = f.pane();
        const auto start = Clock::now();
        f.c().Command4->click();
        const bool done = bench::waitUntil(
            [&] {
                return f.s().FlashRecvActive == 0 &&
                       f.c().vbalProgressBar1->text() == QLatin1String("OK");
            },
            kLimitMs);
        const double ms = bench::msSince(start);
        return done && idleAgain(pane) ? ms : -1;
    }
};

double perSecond(double bytes, double ms) {
    return ms > 0 ? bytes / (ms / 1000.0) : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Best of N rounds (default 2): bench_flash_transfer N.
    const int rounds = argc > 1 ? qBound(1, QByteArray(argv[1]).toInt(), 5) : 2;

    QTemporaryDir flashDir;
    sim::ControllerOptions options;
    options.flashDir = flashDir.path().toStdString();
    sim::Controller controller(options);
    sim::UdpFront front(controller, QHostAddress::LocalHost, 0);
    test::WindowFixture f;
    if (!front.isBound() || !f.connectTo(front.port())) {
        bench::note(QStringLiteral("cannot connect the window to the simulator"));
        return 1;
    }
    Window window{f};
    bench::FlashClient client(front.port());

    const QByteArray data = randomBytes(kFileBytes);
    f.writeFile(QStringLiteral("send.bin"), data);
    const QString flashPath = flashDir.path() + QStringLiteral("/");

    double bestWinSend = 1e18, bestWinRecv = 1e18, bestCliSend = 1e18, bestCliRecv = 1e18;
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        const double cliSend = client.write("CLI.BIN", data);
        const double winSend =
            window.send(f.path(QStringLiteral("send.bin")), QStringLiteral("WIN.BIN"));
        const double winRecv =
            window.receive(f.path(QStringLiteral("recv.bin")), QStringLiteral("WIN.BIN"));
        const double cliRecv = client.read("CLI.BIN");

        const bool sentOk = fileBytes(flashPath + QStringLiteral("WIN.BIN")) == data &&
                            fileBytes(flashPath + QStringLiteral("CLI.BIN")) == data;
        const bool recvOk =
            f.readFile(QStringLiteral("recv.bin")) == data && client.received() == data;
        bench::note(QStringLiteral("round %1: window send %2 ms, receive %3 ms; client send %4 ms, "
                                   "receive %5 ms; flash files equal: %6; received equal: %7")
                        .arg(round + 1)
                        .arg(winSend, 0, 'f', 0)
                        .arg(winRecv, 0, 'f', 0)
                        .arg(cliSend, 0, 'f', 0)
                        .arg(cliRecv, 0, 'f', 0)
                        .arg(sentOk ? "yes" : "NO", recvOk ? "yes" : "NO"));
        ok = winSend > 0 && winRecv > 0 && cliSend > 0 && cliRecv > 0 && sentOk && recvOk;
        bestWinSend = std::min(bestWinSend, winSend);
        bestWinRecv = std::min(bestWinRecv, winRecv);
        bestCliSend = std::min(bestCliSend, cliSend);
        bestCliRecv = std::min(bestCliRecv, cliRecv);
    }
    if (!ok) {
        bench::note(QStringLiteral("FAILED: a transfer did not complete or the bytes differ"));
        return 1;
    }

    const double bytes = double(kFileBytes);
    const double ws = perSecond(bytes, bestWinSend), cs = perSecond(bytes, bestCliSend);
    const double wr = perSecond(bytes, bestWinRecv), cr = perSecond(bytes, bestCliRecv);
    bench::note(QStringLiteral("flash_transfer: %1 bytes each way, best of %2 round(s)")
                    .arg(kFileBytes)
                    .arg(rounds));
    bench::figure(QStringLiteral("window send"), ws, QStringLiteral("bytes/s"), 0);
    bench::figure(QStringLiteral("client send"), cs, QStringLiteral("bytes/s"), 0);
    bench::figure(QStringLiteral("send ratio window/client"), ws / cs, QString(), 3);
    bench::figure(QStringLiteral("window receive"), wr, QStringLiteral("bytes/s"), 0);
    bench::figure(QStringLiteral("client receive"), cr, QStringLiteral("bytes/s"), 0);
    bench::figure(QStringLiteral("receive ratio window/client"), wr / cr, QString(), 3);
    bench::figure(QStringLiteral("peak memory (VmHWM)"), bench::peakMemoryMiB(),
                  QStringLiteral("MiB"), 1);
    const bool met = bench::target(QStringLiteral("send ratio >= 0.8"), ws / cs >= 0.8,
                                   QString::number(ws / cs, 'f', 2)) &
                     bench::target(QStringLiteral("receive ratio >= 0.8"), wr / cr >= 0.8,
                                   QString::number(wr / cr, 'f', 2));
    bench::note(met ? QStringLiteral("all targets met") : QStringLiteral("some target missed"));
    return 0;
}
