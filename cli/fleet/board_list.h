#pragma once
// The boards of a run, from the targets the operator wrote (--host, the lines of --hosts,
// the arguments of scan) less --exclude: expanded in the order given, duplicates run once.

#include "options.h"

#include <QStringList>

namespace vantor::cli {

struct BoardList {
    QList<Board> boards;
    int duplicates = 0; // dropped
    int excluded = 0;
};

// Throws UsageError for a bad target, a file that cannot be read, or more than 65,536
// targets in all. `written` and `excludes` may hold several targets separated by commas.
BoardList readBoardList(const QStringList& written, const QStringList& files,
                        const QStringList& excludes, quint16 defaultPort);

// "3" or "5%" of `total` boards, rounded up; throws UsageError.
int failureLimit(const QString& text, int total);

} // namespace vantor::cli
