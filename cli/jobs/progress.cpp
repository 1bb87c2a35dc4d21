#include "jobs/progress.h"

namespace vantor::cli {

namespace {

QString amount(qint64 n, Unit unit) {
    return unit == Unit::Bytes ? sizeText(n) : QStringLiteral("%1 lines").arg(n);
}

QString rateText(double perSecond, Unit unit) {
    if (unit == Unit::Lines)
        return QStringLiteral("%1 lines/s").arg(perSecond, 0, 'f', perSecond < 10 ? 1 : 0);
    return sizeText(qint64(perSecond)) + QStringLiteral("/s");
}

QString duration(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

} // namespace

QString sizeText(qint64 bytes) {
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(bytes / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
}

QString progressText(const Progress& p, double seconds) {
    QString text = p.phase + QStringLiteral(": ");
    if (p.total >= 0) {
        const qint64 percent = p.total > 0 ? p.done * 100 / p.total : 100;
        text += p.unit == Unit::Bytes
                    ? QStringLiteral("%1 of %2").arg(sizeText(p.done), sizeText(p.total))
                    : QStringLiteral("%1 of %2").arg(p.done).arg(amount(p.total, p.unit));
        text += QStringLiteral(" (%1 %)").arg(percent);
    } else {
        text += amount(p.done, p.unit);
    }
    // A rate from less than a fifth of a second says nothing yet.
    if (seconds < 0.2 || p.done <= 0)
        return text;
    const double rate = p.done / seconds;
    text += QStringLiteral(", ") + rateText(rate, p.unit);
    if (p.total > p.done)
        text += QStringLiteral(", %1 left")
                    .arg(duration(std::max<qint64>(1, qint64((p.total - p.done) / rate + 0.5))));
    return text;
}

std::optional<QString> ProgressLine::update(const Progress& p, qint64 nowMs, bool final) {
    if (p.phase != phase_) {
        phase_ = p.phase;
        startMs_ = nowMs;
        lastMs_.reset();
    }
    if (!final && lastMs_ && nowMs - *lastMs_ < kPeriodMs)
        return std::nullopt;
    lastMs_ = nowMs;
    return progressText(p, (nowMs - startMs_) / 1000.0);
}

} // namespace vantor::cli
