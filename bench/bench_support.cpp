#include "bench_support.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#if defined(Q_OS_UNIX)
#include <time.h>
#endif

namespace vantor::bench {

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto start = Clock::now();
    // Wakes the blocking wait now and then, so the time limit holds when nothing arrives.
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (msSince(start) > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double percentile(std::vector<double> samples, double p) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * double(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

double peakMemoryMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double threadCpuMs() {
#if defined(Q_OS_UNIX) && defined(CLOCK_THREAD_CPUTIME_ID)
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) == 0)
        return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
#endif
    return 0;
}

void figure(const QString& name, double value, const QString& unit, int decimals) {
    std::printf("%-48s %12.*f %s\n", qPrintable(name + QLatin1Char(':')), decimals, value,
                qPrintable(unit));
    std::fflush(stdout);
}

void note(const QString& text) {
    std::printf("# %s\n", qPrintable(text));
    std::fflush(stdout);
}

bool target(const QString& name, bool met, const QString& detail) {
    std::printf("TARGET %-40s %s (%s)\n", qPrintable(name), met ? "MET" : "MISSED",
                qPrintable(detail));
    std::fflush(stdout);
    return met;
}

} // namespace vantor::bench
