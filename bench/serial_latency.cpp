// Reply latency on the serial link: from a reply's bytes written on the master of a
// pseudo-terminal to their text in the receive pane, with the real 20 ms poll at 115200
// baud, in plain and RTU mode. Each reply is written at a random moment against the poll,
// so the figures spread over a whole interval. A pseudo-terminal has no line speed: the
// baud rate is set, but the bytes do not take 87 us each to arrive.

#include "bench_support.h"
#include "pty_pair.h"
#include "window_fixture.h"

#include "core/framing.h"
#include "shell/port_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTimer>

#include <vector>

using namespace vantor;
using bench::Clock;

namespace {

constexpr int kDefaultSamples = 200;
constexpr int kReplyLimitMs = 2000;

struct Run {
    std::vector<double> ms;
    int lost = 0;
};

Run measure(bool rtuMode, int samples) {
    Run run;
    test::PtyPair pty;
    if (!pty.ok()) {
        bench::note(QStringLiteral("no pseudo-terminal"));
        return run;
    }
    test::WindowFixture f;
    f.c().Option6->setChecked(true);
    f.c().Comm_number->setText(pty.slavePath());
    f.c().BTNOpenCom->click();
    if (f.s().ComOpen != 1) {
        bench::note(QStringLiteral("cannot open %1").arg(pty.slavePath()));
        return run;
    }
    f.c().Check1->setChecked(rtuMode);
    f.c().Check3->setChecked(false);
    QRandomGenerator random(rtuMode ? 2 : 1);
    for (int i = 0; i < samples; ++i) {
        f.c().Command2->click();
        const QByteArray text = "REPLY " + QByteArray::number(i) + "\r\n";
        const QByteArray bytes =
            rtuMode ? QByteArray::fromStdString(core::rtuFrame("16", text.toStdString())) : text;
        // Written from a precise timer at a random offset, so that it falls anywhere in
        // the poll's interval.
        Clock::time_point written;
        QEventLoop loop;
        QTimer::singleShot(random.bounded(1, 41), Qt::PreciseTimer, &loop, [&] {
            written = Clock::now();
            pty.write(bytes);
            loop.quit();
        });
        loop.exec();
        if (bench::waitUntil([&] { return f.pane() == text; }, kReplyLimitMs))
            run.ms.push_back(bench::msSince(written));
        else
            ++run.lost;
    }
    return run;
}

void report(const QString& mode, const Run& run) {
    bench::figure(mode + QStringLiteral(", count"), double(run.ms.size()), QString(), 0);
    if (run.lost)
        bench::figure(mode + QStringLiteral(", lost"), run.lost, QString(), 0);
    bench::figure(mode + QStringLiteral(", median"), bench::percentile(run.ms, 50),
                  QStringLiteral("ms"));
    bench::figure(mode + QStringLiteral(", p95"), bench::percentile(run.ms, 95),
                  QStringLiteral("ms"));
    bench::figure(mode + QStringLiteral(", max"), bench::percentile(run.ms, 100),
                  QStringLiteral("ms"));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int samples = argc > 1 ? QByteArray(argv[1]).toInt() : kDefaultSamples;
    bench::note(QStringLiteral("serial_latency: %1 replies per mode, 115200,n,8,1, 20 ms poll, "
                               "pseudo-terminal")
                    .arg(samples));
    const Run plain = measure(false, samples);
    const Run rtu = measure(true, samples);
    report(QStringLiteral("plain, master write to pane"), plain);
    report(QStringLiteral("RTU, master write to pane"), rtu);
    return plain.lost == 0 && rtu.lost == 0 && !plain.ms.empty() && !rtu.ms.empty() ? 0 : 1;
}
