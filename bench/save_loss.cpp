// bench_save_loss: how often `vantor save` ends done with a file that differs from the
// board's program when a tenth of the replies are lost at random. 100 simulated boards in
// this process, on 127.0.7.1-100 and one port, each losing replies by its own seed; each
// round saves all of them at once and judges every board that ended done by its file.
//
//   bench_save_loss [SAVES [LINES [--verify]]]   (default 10000 saves of a 1-line program)
//
// VANTOR_BIN=PATH measures another build of vantor (an older one, for comparison).
//
// Fails (exit 1) when more than 1 in 10,000 saves ends done with a wrong file.

#include "sim/controller.h"
#include "sim/udp_front.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

using namespace vantor;

namespace {

constexpr int kBoards = 100;

struct Counts {
    int saves = 0, done = 0, wrong = 0;
};

QByteArray listing(const sim::Controller& board) {
    QByteArray text;
    for (const auto& [number, line] : board.program())
        text += QByteArray::fromStdString(line) + "\r\n";
    return text;
}

void round(int index, int lines, bool verify, Counts& counts) {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<sim::Controller>> boards;
    std::vector<std::unique_ptr<sim::UdpFront>> fronts;
    quint16 port = 0;
    for (int n = 1; n <= kBoards; ++n) {
        sim::ControllerOptions c;
        c.flashDir = dir.filePath(QStringLiteral("flash")).toStdString();
        boards.push_back(std::make_unique<sim::Controller>(c));
        for (int l = 1; l <= lines; ++l)
            boards.back()->handleLine(std::to_string(l * 10) + " PRINT \"LINE " +
                                      std::to_string(l) + "\"");
        sim::FrontOptions f;
        f.dropRate = 0.1;
        f.seed = std::uint32_t(index * kBoards + n);
        fronts.push_back(std::make_unique<sim::UdpFront>(
            *boards.back(), QHostAddress(QStringLiteral("127.0.7.%1").arg(n)), port, f));
        port = fronts.back()->port();
    }
    QStringList arguments{"--host",
                          QStringLiteral("127.0.7.1-%1:%2").arg(kBoards).arg(port),
                          "--json",
                          "--timeout",
                          "0.1",
                          "--jobs",
                          "100",
                          "save",
                          dir.filePath("s.bas")};
    if (verify)
        arguments << "--verify";
    QProcess p;
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    p.start(qEnvironmentVariable("VANTOR_BIN", QStringLiteral(VANTOR)), arguments);
    loop.exec();
    for (const QByteArray& line : p.readAllStandardOutput().trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        ++counts.saves;
        if (o.value("result").toString() != QLatin1String("done"))
            continue;
        ++counts.done;
        const QString host = o.value("host").toString();
        const int n = host.section(QLatin1Char('.'), 3).section(QLatin1Char(':'), 0, 0).toInt();
        QFile file(dir.filePath("s-" + QString(host).replace(':', '_') + ".bas"));
        file.open(QIODevice::ReadOnly);
        const QByteArray saved = file.readAll();
        if (n >= 1 && n <= kBoards && saved == listing(*boards[std::size_t(n - 1)]))
            continue;
        ++counts.wrong;
        std::fprintf(stderr, "wrong (seed %d): %s, the file holds \"%s\"\n", index * kBoards + n,
                     line.constData(), saved.toPercentEncoding(" ").constData());
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int saves = args.size() > 1 ? args[1].toInt() : 10000;
    const int lines = args.size() > 2 ? args[2].toInt() : 1;
    const bool verify = args.contains(QStringLiteral("--verify"));
    Counts counts;
    for (int r = 0; counts.saves < saves; ++r)
        round(r, lines, verify, counts);
    std::printf("save%s of a %d-line program, 10 %% of replies lost: %d saves, %d done, %d done "
                "with a file that differs from the board's program\n",
                verify ? " --verify" : "", lines, counts.saves, counts.done, counts.wrong);
    return counts.wrong * 10000 > counts.saves ? 1 : 0;
}
