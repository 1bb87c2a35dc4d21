#pragma once
// The boards of a run, from the targets the operator wrote (--host, --serial, the lines of
// --hosts, the arguments of scan) less --exclude: expanded in the order given, duplicates
// run once. With --gateway or --rtu every link is a bus and each of its device addresses a
// board; two mentions of one link are one bus, its boards in address order.

#include "options.h"

#include <QStringList>

namespace vantor::cli {

struct BoardList {
    QList<Board> boards;
    int duplicates = 0; // dropped
    int excluded = 0;
};

struct TargetsWritten {
    QStringList hosts;   // UDP targets; each may hold several separated by commas
    QStringList serials; // serial ports
    QStringList files;   // hosts files: a line that starts with '/' names a serial port
    QStringList excludes;
    quint16 defaultPort = 111;
    Framing framing = Framing::Plain;
    QString addresses; // --gateway or --rtu as written: the default list
};

// Throws UsageError for a bad target or address list, a list without --gateway or --rtu, a
// file that cannot be read, or more than 65,536 targets in all.
BoardList readBoardList(const TargetsWritten& written);

// "3" or "5%" of `total` boards, rounded up; throws UsageError.
int failureLimit(const QString& text, int total);

} // namespace vantor::cli
