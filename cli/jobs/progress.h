#pragma once
// The progress line that `vantor` keeps on a terminal: what is done of what, the rate and
// the time left, redrawn at most ten times a second so that a fast transfer does not
// flood the terminal, and always once more at the end so that it ends at its true total.

#include <QString>

#include <optional>

namespace vantor::cli {

enum class Unit { Lines, Bytes };

struct Progress {
    QString phase; // "download", "verify", "put", ...
    qint64 done = 0;
    qint64 total = -1; // -1: not known (a listing or a flash file read back)
    Unit unit = Unit::Bytes;
};

// 512 bytes, 1.5 KiB, 2.0 MiB.
QString sizeText(qint64 bytes);
// "put: 512.0 KiB of 1.0 MiB (50 %), 85.3 KiB/s, 6 s left"; the rate and time left once
// `seconds` is long enough to tell them.
QString progressText(const Progress& progress, double seconds);

class ProgressLine {
public:
    static constexpr qint64 kPeriodMs = 100;

    // The text to draw now, or nothing when the last draw is too recent. A `final` update
    // is always drawn.
    std::optional<QString> update(const Progress& progress, qint64 nowMs, bool final = false);

private:
    qint64 startMs_ = 0;
    std::optional<qint64> lastMs_;
    QString phase_;
};

} // namespace vantor::cli
