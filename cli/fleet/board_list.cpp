#include "fleet/board_list.h"

#include "core/targets.h"

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QHostInfo>

#include <algorithm>
#include <set>

namespace vantor::cli {

namespace {

// One link as written: a UDP target (expanded later) or a serial port, with its device
// addresses when it is a bus.
struct Written {
    std::string target;
    bool serial = false;
    std::set<int> addresses;
};

// One link after expansion, with the addresses of all its mentions.
struct Link {
    core::Target udp;
    QString serialPort;
    std::set<int> addresses;
};

std::set<int> addressList(const std::string& text) {
    const std::vector<int> list = core::parseAddressList(text);
    return {list.begin(), list.end()};
}

class Reader {
public:
    explicit Reader(const TargetsWritten& w) : w_(w) {
        if (w.framing == Framing::Plain)
            return;
        try {
            defaults_ = addressList(w.addresses.toStdString());
        } catch (const core::TargetError&) {
            // One gateway address that is no number goes out as typed, as the window sends
            // it; a list with a number in it is read as one.
            const bool text = w.framing == Framing::Gateway &&
                              !w.addresses.contains(QLatin1Char(',')) && !w.addresses.isEmpty() &&
                              !w.addresses.front().isDigit();
            if (!text)
                throw UsageError(
                    QStringLiteral("--%1 wants Modbus addresses from 1 to 247 (N, "
                                   "A-B or a list such as 1-8,12), not \"%2\"")
                        .arg(w.framing == Framing::Gateway ? "gateway" : "rtu", w.addresses)
                        .toStdString());
            typed_ = w.addresses;
        }
    }

    void add(const std::string& entry, bool serial) {
        core::BusEntry e = core::splitBusEntry(entry);
        Written written{e.target, serial, defaults_};
        if (e.addresses) {
            if (w_.framing == Framing::Plain)
                throw UsageError("\"" + entry +
                                 "\": a device list after @ wants --gateway or --rtu");
            written.addresses = addressList(*e.addresses);
        }
        if (written.target.empty())
            throw UsageError("\"" + entry + "\": no target before @");
        written_.push_back(std::move(written));
    }

    BoardList boards() {
        std::vector<core::TargetPattern> left;
        for (const QString& text : w_.excludes)
            for (const std::string& entry : core::splitEntries(text.toStdString()))
                left.push_back(core::parseTarget(entry));
        std::vector<Link> links;
        for (const Written& w : written_) {
            if (w.serial) {
                Link& link = links.emplace_back();
                link.serialPort = QString::fromStdString(w.target);
                link.addresses = w.addresses;
                continue;
            }
            const core::TargetPattern pattern = core::parseTarget(w.target);
            if (expanded_ + pattern.size() > core::kMostTargets)
                throw UsageError("more than " + std::to_string(core::kMostTargets) +
                                 " targets in all");
            std::vector<core::Target> targets;
            core::expandTarget(pattern, w_.defaultPort, targets);
            expanded_ += targets.size();
            for (core::Target& t : targets) {
                Link& link = links.emplace_back();
                link.udp = std::move(t);
                link.addresses = w.addresses;
            }
        }
        BoardList list;
        merge(links, list);
        for (const Link& l : links) {
            if (l.serialPort.isEmpty() && std::any_of(left.begin(), left.end(), [&](const auto& x) {
                    return x.matches(l.udp);
                })) {
                list.excluded += std::max<int>(1, int(l.addresses.size()));
                continue;
            }
            Board b{QString::fromStdString(l.udp.host), l.udp.port, l.serialPort, {}};
            if (!typed_.isEmpty()) {
                b.address = typed_;
                list.boards.append(b);
            } else if (w_.framing == Framing::Plain) {
                list.boards.append(b);
            }
            for (const int address : l.addresses) {
                b.address = QString::number(address);
                list.boards.append(b);
            }
            if (list.boards.size() > qsizetype(core::kMostTargets))
                throw UsageError("more than " + std::to_string(core::kMostTargets) +
                                 " boards in all");
        }
        return list;
    }

private:
    // Two mentions of one link are one: by name and port first, then by the address a name
    // resolves to (two jobs on one address and port would take each other's answers). A
    // name that cannot be looked up now stays, to fail on its own when its job starts.
    static void merge(std::vector<Link>& links, BoardList& list) {
        QHash<QString, quint32> resolved;
        QHash<QString, std::size_t> byName;
        QHash<quint64, std::size_t> byAddress;
        std::vector<Link> kept;
        for (Link& l : links) {
            const QString host = QString::fromStdString(l.udp.host);
            const QString name = l.serialPort.isEmpty() ? host.toLower() + QLatin1Char(':') +
                                                              QString::number(l.udp.port)
                                                        : l.serialPort;
            std::optional<std::size_t> same;
            if (const auto at = byName.constFind(name); at != byName.constEnd())
                same = *at;
            quint64 key = 0;
            if (!same && l.serialPort.isEmpty()) {
                quint32 address = QHostAddress(host).toIPv4Address();
                if (address == 0) {
                    if (!resolved.contains(host))
                        resolved.insert(host, lookUp(host));
                    address = resolved.value(host);
                }
                key = address == 0 ? 0 : quint64(address) << 16 | l.udp.port;
                if (const auto at = byAddress.constFind(key);
                    key != 0 && at != byAddress.constEnd())
                    same = *at;
            }
            if (same) {
                Link& first = kept[*same];
                const std::size_t before = first.addresses.size();
                first.addresses.insert(l.addresses.begin(), l.addresses.end());
                const std::size_t added = first.addresses.size() - before;
                list.duplicates += l.addresses.empty() ? 1 : int(l.addresses.size() - added);
                continue;
            }
            byName.insert(name, kept.size());
            if (key != 0)
                byAddress.insert(key, kept.size());
            kept.push_back(std::move(l));
        }
        links = std::move(kept);
    }

    static quint32 lookUp(const QString& host) {
        for (const QHostAddress& a : QHostInfo::fromName(host).addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                return a.toIPv4Address();
        return 0;
    }

    const TargetsWritten& w_;
    std::set<int> defaults_;
    QString typed_;
    std::vector<Written> written_;
    std::size_t expanded_ = 0;
};

} // namespace

BoardList readBoardList(const TargetsWritten& w) {
    try {
        Reader reader(w);
        for (const QString& text : w.hosts)
            for (const std::string& entry : core::splitEntries(text.toStdString()))
                reader.add(entry, false);
        for (const QString& port : w.serials)
            reader.add(port.toStdString(), true);
        for (const QString& path : w.files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                throw UsageError("cannot read " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
            for (const std::string& entry : core::readTargetFile(file.readAll().toStdString()))
                reader.add(entry, entry.front() == '/');
        }
        return reader.boards();
    } catch (const core::TargetError& e) {
        throw UsageError(e.what());
    }
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
