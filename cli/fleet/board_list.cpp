#include "fleet/board_list.h"

#include "core/targets.h"

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QHostInfo>
#include <QSet>

#include <algorithm>

namespace vantor::cli {

namespace {

void addPatterns(std::vector<core::TargetPattern>& patterns, const QString& text) {
    for (const QString& entry : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        patterns.push_back(core::parseTarget(entry.trimmed().toStdString()));
}

// A name and an address (or two names) of one board are one board: two jobs on one
// address and port would take each other's answers. A name that cannot be looked up now
// stays, to fail on its own when its job starts.
int dropSameAddress(std::vector<core::Target>& targets) {
    QHash<QString, quint32> resolved;
    QSet<quint64> seen;
    const auto before = targets.size();
    std::erase_if(targets, [&](const core::Target& t) {
        const QString host = QString::fromStdString(t.host);
        quint32 address = QHostAddress(host).toIPv4Address();
        if (address == 0) {
            const auto at = resolved.constFind(host);
            if (at != resolved.constEnd()) {
                address = *at;
            } else {
                for (const QHostAddress& a : QHostInfo::fromName(host).addresses())
                    if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                        address = a.toIPv4Address();
                        break;
                    }
                resolved.insert(host, address);
            }
        }
        if (address == 0)
            return false;
        const quint64 key = quint64(address) << 16 | t.port;
        if (seen.contains(key))
            return true;
        seen.insert(key);
        return false;
    });
    return int(before - targets.size());
}

} // namespace

BoardList readBoardList(const QStringList& written, const QStringList& files,
                        const QStringList& excludes, quint16 defaultPort) {
    std::vector<core::TargetPattern> patterns, left;
    std::vector<core::Target> targets;
    try {
        for (const QString& text : written)
            addPatterns(patterns, text);
        for (const QString& path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                throw UsageError("cannot read " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
            for (const std::string& entry : core::readTargetFile(file.readAll().toStdString()))
                patterns.push_back(core::parseTarget(entry));
        }
        for (const QString& text : excludes)
            addPatterns(left, text);
        for (const core::TargetPattern& pattern : patterns)
            core::expandTarget(pattern, defaultPort, targets);
    } catch (const core::TargetError& e) {
        throw UsageError(e.what());
    }
    BoardList list;
    list.duplicates = int(core::dropDuplicates(targets));
    list.duplicates += dropSameAddress(targets);
    for (const core::Target& t : targets) {
        if (std::any_of(left.begin(), left.end(), [&](const auto& x) { return x.matches(t); }))
            ++list.excluded;
        else
            list.boards.append(Board{QString::fromStdString(t.host), t.port});
    }
    return list;
}

int failureLimit(const QString& text, int total) {
    const bool percent = text.endsWith(QLatin1Char('%'));
    bool ok = false;
    const int n = (percent ? text.chopped(1) : text).toInt(&ok);
    if (!ok || n < 1 || (percent && n > 100))
        throw UsageError("--max-failures wants a count from 1, or a share from 1% to 100%, not \"" +
                         text.toStdString() + "\"");
    return percent ? int((qint64(total) * n + 99) / 100) : n;
}

} // namespace vantor::cli
