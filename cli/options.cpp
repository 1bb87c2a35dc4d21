#include "options.h"
#include "core/failure.h"
#include "core/framing.h"
#include "core/program_file.h"
#include "fleet/board_list.h"
#include "help_text.h"
#include "term/term_text.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>

namespace vantor::cli {

namespace {

constexpr int kBauds[] = {1200, 2400, 4800, 9600, 19200, 115200};
constexpr qint64 kFlashLimit = 16 * 1024 * 1024;
const QStringList kCommands{"ver", "new",   "send", "download", "save", "put",
                            "get", "ports", "term", "scan",     "diff"};

int wholeNumber(const QString& option, const QString& text, int min, int max) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max)
        throw UsageError(QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                             .arg(option)
                             .arg(min)
                             .arg(max)
                             .arg(text)
                             .toStdString());
    return value;
}

void needArgs(const Options& o, qsizetype min, qsizetype max) {
    if (o.args.size() < min || o.args.size() > max)
        throw UsageError("wrong number of arguments for " + o.command.toStdString() +
                         " (see --help)");
}

// Edit distance, for a mistyped command.
qsizetype distance(const QString& a, const QString& b) {
    QList<qsizetype> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = up;
        }
    }
    return row[b.size()];
}

[[noreturn]] void unknownCommand(const QString& command) {
    QString nearest;
    qsizetype best = 3; // more edits than that is another word
    for (const QString& known : kCommands) {
        const qsizetype d = distance(command, known);
        if (d < best && d < command.size()) {
            best = d;
            nearest = known;
        }
    }
    throw UsageError("unknown command " + command.toStdString() +
                     (nearest.isEmpty() ? std::string(" (see --help)")
                                        : " (did you mean " + nearest.toStdString() + "?)"));
}

} // namespace

QByteArray encoded(const core::CodePage& page, const QString& text, const char* what) {
    QByteArray out;
    for (const char32_t c : text.toUcs4()) {
        const int b = page.fromUnicode(c);
        if (b < 0)
            throw UsageError(QStringLiteral("%1 \"%2\" has a character that %3 cannot carry: %4")
                                 .arg(QLatin1String(what), text,
                                      QString::fromStdString(std::string(page.name())),
                                      QString::fromUcs4(&c, 1))
                                 .toStdString());
        out += char(b);
    }
    return out;
}

namespace {

void checkReadable(const QString& path) {
    const QFileInfo info(path);
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw UsageError("cannot read " + path.toStdString() +
                         (info.isDir() ? ": a folder" : ": " + file.errorString().toStdString()));
}

// An output file: a folder where it should go, or a folder that is not there or refuses,
// is said now rather than after the boards have been reached. `beside`: the file is made
// beside the target and put in its place, so the folder must take new files even when
// the target exists.
void checkWritable(const QString& path, const char* what, bool beside) {
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    std::string why;
    if (info.isDir())
        why = "a folder";
    else if (!folder.isDir())
        why = "no folder " + folder.filePath().toStdString();
    else if ((beside || !info.exists()) && !folder.isWritable())
        why = "cannot write into " + folder.filePath().toStdString();
    else if (info.exists() && !info.isWritable())
        why = "not writable";
    if (!why.empty())
        throw UsageError(std::string(what) + path.toStdString() + ": " + why);
}

} // namespace

QString Board::link() const {
    return serial() ? serialPort : host + QLatin1Char(':') + QString::number(port);
}

QString Board::label() const {
    return address.isEmpty() ? link() : link() + QLatin1Char('@') + address;
}

namespace {

// vantor's options; parsed once, then read in groups.
struct Parser {
    Parser() {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({host,   hosts,      remotePort, serial,      baud,     gateway,
                           rtu,    timeout,    idle,       retries,     jobs,     json,
                           verify, erase,      log,        codePage,    help,     version,
                           prefix, timestamps, hex,        noReconnect, exclude,  maxFailures,
                           canary, failedTo,   all,        rate,        ifChanged});
    }
    QString value(const QCommandLineOption& option) const { return parser.value(option); }
    bool isSet(const QCommandLineOption& option) const { return parser.isSet(option); }

    QCommandLineParser parser;
    const QCommandLineOption host{"host", "", "ADDRESS"};
    const QCommandLineOption hosts{"hosts", "", "FILE"};
    const QCommandLineOption remotePort{"remote-port", "", "N", "111"};
    const QCommandLineOption serial{"serial", "", "PORT"};
    const QCommandLineOption baud{"baud", "", "N", "115200"};
    const QCommandLineOption gateway{"gateway", "", "LIST"};
    const QCommandLineOption rtu{"rtu", "", "LIST"};
    const QCommandLineOption timeout{"timeout", "", "SECONDS", "5"};
    const QCommandLineOption idle{"idle", "", "MS", "300"};
    const QCommandLineOption retries{"retries", "", "N", "2"};
    const QCommandLineOption jobs{"jobs", "", "N", "32"};
    const QCommandLineOption json{"json", ""};
    const QCommandLineOption verify{"verify", ""};
    const QCommandLineOption erase{"new", ""};
    const QCommandLineOption log{"log", "", "FILE"};
    const QCommandLineOption codePage{"codepage", "", "NAME"};
    const QCommandLineOption help{{"h", "help"}, ""};
    const QCommandLineOption version{"version", ""};
    const QCommandLineOption prefix{"prefix-key", "", "KEY", "^T"};
    const QCommandLineOption timestamps{{"t", "timestamps"}, ""};
    const QCommandLineOption hex{"hex", ""};
    const QCommandLineOption noReconnect{"no-reconnect", ""};
    const QCommandLineOption exclude{"exclude", "", "TARGETS"};
    const QCommandLineOption maxFailures{"max-failures", "", "N"};
    const QCommandLineOption canary{"canary", "", "K"};
    const QCommandLineOption failedTo{"failed-to", "", "FILE"};
    const QCommandLineOption all{"all", ""};
    const QCommandLineOption rate{"rate", "", "N", "1000"};
    const QCommandLineOption ifChanged{"if-changed", ""};
};

// vantor term's own options.
void readTerm(const Parser& p, Options& o) {
    const auto key = prefixKey(p.value(p.prefix).toStdString());
    if (!key)
        throw UsageError("--prefix-key wants a control key such as ^T or ^], not \"" +
                         p.value(p.prefix).toStdString() +
                         "\" (^C, ^D, ^H, ^I, ^J, ^M, ^Q, ^S and ^[ are taken)");
    o.prefixKey = *key;
    o.timestamps = p.isSet(p.timestamps);
    o.hex = p.isSet(p.hex);
    o.reconnect = !p.isSet(p.noReconnect);
    const bool term = o.command == QLatin1String("term");
    for (const QCommandLineOption* own : {&p.prefix, &p.timestamps, &p.hex, &p.noReconnect})
        if (!term && p.isSet(*own))
            throw UsageError("--" + own->names().last().toStdString() + " goes with term");
    if (term && o.boards.size() > 1)
        throw UsageError("term talks to one board: name one with --host or --serial");
}

// How long to wait, how often to try, how many at once, what to write.
void readSettings(const Parser& p, Options& o) {
    o.baud = wholeNumber("baud", p.value(p.baud), 1, 1 << 30);
    if (std::find(std::begin(kBauds), std::end(kBauds), o.baud) == std::end(kBauds))
        throw UsageError("--baud wants 1200, 2400, 4800, 9600, 19200 or 115200, not " +
                         p.value(p.baud).toStdString());
    // A scan asks every target once or twice, briefly: most of a range is empty.
    const bool scan = o.command == QLatin1String("scan");
    const QString timeout = scan && !p.isSet(p.timeout) ? QStringLiteral("1") : p.value(p.timeout);
    bool ok = false;
    const double seconds = timeout.toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 3600)
        throw UsageError("--timeout wants seconds above 0, not \"" + timeout.toStdString() + "\"");
    o.timeoutMs = std::max(1, int(seconds * 1000));
    o.idleMs = wholeNumber("idle", p.value(p.idle), 0, 3600 * 1000);
    o.retries = wholeNumber(
        "retries", scan && !p.isSet(p.retries) ? QStringLiteral("1") : p.value(p.retries), 0, 1000);
    o.rate = wholeNumber("rate", p.value(p.rate), 1, 1000000);
    if (p.isSet(p.rate) && !scan)
        throw UsageError("--rate goes with scan");
    o.jobs = wholeNumber("jobs", p.value(p.jobs), 1, 4096);
    o.json = p.isSet(p.json);
    o.verify = p.isSet(p.verify);
    o.erase = p.isSet(p.erase);
    o.ifChanged = p.isSet(p.ifChanged);
    o.logFile = p.value(p.log);
    if (!o.logFile.isEmpty())
        checkWritable(o.logFile, "--log ", false);
    if (p.isSet(p.codePage)) {
        o.codePage = core::CodePage::byName(p.value(p.codePage).toStdString());
        if (!o.codePage)
            throw UsageError("--codepage wants windows-1251, latin1 or cp866, not " +
                             p.value(p.codePage).toStdString());
    }
}

void readFraming(const Parser& p, Options& o) {
    if (p.isSet(p.gateway) && p.isSet(p.rtu))
        throw UsageError("--gateway and --rtu exclude each other");
    if (p.isSet(p.gateway))
        o.framing = Framing::Gateway;
    else if (p.isSet(p.rtu))
        o.framing = Framing::Rtu;
}

void readBoards(const Parser& p, Options& o) {
    TargetsWritten w;
    w.defaultPort = quint16(wholeNumber("remote-port", p.value(p.remotePort), 1, 65535));
    w.hosts = p.parser.values(p.host);
    if (o.command == QLatin1String("scan")) // scan TARGETS...
        w.hosts += std::exchange(o.args, {});
    w.serials = p.parser.values(p.serial);
    w.files = p.parser.values(p.hosts);
    w.excludes = p.parser.values(p.exclude);
    w.framing = o.framing;
    w.addresses = p.value(o.framing == Framing::Rtu ? p.rtu : p.gateway);
    const BoardList list = readBoardList(w);
    o.boards = list.boards;
    o.duplicates = list.duplicates;
    const bool wantsLink = o.command != QLatin1String("ports");
    if (wantsLink && w.hosts.isEmpty() && w.serials.isEmpty() && w.files.isEmpty())
        throw UsageError("name the boards with --host or --hosts, or a port with --serial");
    if (wantsLink && o.boards.isEmpty())
        throw UsageError(std::to_string(list.excluded) + " targets, all of them excluded");
    const auto serialBoard =
        std::find_if(o.boards.cbegin(), o.boards.cend(), [](const Board& b) { return b.serial(); });
    if (serialBoard != o.boards.cend())
        o.serialPort = serialBoard->serialPort;
    if (!o.boards.isEmpty())
        o.address = o.boards.front().address;
    if (o.framing == Framing::Rtu &&
        std::any_of(o.boards.cbegin(), o.boards.cend(), [](const Board& b) { return !b.serial(); }))
        throw UsageError("--rtu frames go over a serial port only");
}

// How a run of many boards stops early and what it leaves for a rerun.
void readFleet(const Parser& p, Options& o) {
    if (p.isSet(p.maxFailures))
        o.maxFailures = failureLimit(p.value(p.maxFailures), int(o.boards.size()));
    if (p.isSet(p.canary))
        o.canary = wholeNumber("canary", p.value(p.canary), 1, 65536);
    o.failedTo = p.value(p.failedTo);
    if (!o.failedTo.isEmpty())
        checkWritable(o.failedTo, "--failed-to ", false);
    o.all = p.isSet(p.all);
    if (o.all && o.command != QLatin1String("scan"))
        throw UsageError("--all goes with scan");
    if (o.command == QLatin1String("scan") && o.serial() && !o.bus())
        throw UsageError("scan looks for boards over UDP, or on a bus with --gateway or --rtu");
    // --rate paces a scan; the cap on targets unanswered at once only bounds its memory at
    // rates far above the default (1000 a second for 2 s is 2,000).
    if (o.fastScan() && !p.isSet(p.jobs))
        o.jobs = 4096;
}

void checkDownload(const Options& o) {
    checkReadable(o.args[0]);
    QFile file(o.args[0]);
    file.open(QIODevice::ReadOnly);
    try {
        core::readProgramLines(file.readAll().toStdString());
    } catch (const core::Failure&) {
        throw UsageError(o.args[0].toStdString() + " has more than 2048 lines");
    }
}

void checkFlash(Options& o) {
    const bool put = o.command == QLatin1String("put");
    // As in the window, whose flash frame is off unless plain UDP is up.
    if (o.serial() || o.framing != Framing::Plain)
        throw UsageError(o.command.toStdString() + " runs over plain UDP only: the flash disk "
                                                   "is not reached through the gateway or a "
                                                   "serial port");
    if (put) {
        checkReadable(o.args[0]);
        if (QFileInfo(o.args[0]).size() > kFlashLimit)
            throw UsageError(o.args[0].toStdString() + " is larger than the 16 MiB a flash "
                                                       "disk takes");
    }
    if (o.args.size() == 1) // the same name on both sides
        o.args.append(QFileInfo(o.args[0]).fileName());
    o.flashName = encoded(*o.codePage, put ? o.args[1] : o.args[0], "the flash-disk name");
}

} // namespace

// The command and its files: checked now, so that nothing is sent for a bad one.
void checkCommand(Options& o) {
    const QString& c = o.command;
    if (c == QLatin1String("ver") || c == QLatin1String("new") || c == QLatin1String("ports") ||
        c == QLatin1String("term") || c == QLatin1String("scan")) {
        needArgs(o, 0, 0);
    } else if (c == QLatin1String("send")) {
        needArgs(o, 1, 1 << 20);
        for (const QString& line : o.args)
            o.lines.append(encoded(*o.codePage, line, "the line"));
    } else if (c == QLatin1String("download") || c == QLatin1String("diff")) {
        needArgs(o, 1, 1);
        checkDownload(o);
    } else if (c == QLatin1String("save")) {
        needArgs(o, 1, 1);
        checkWritable(o.args[0], "cannot save into ", true);
    } else if (c == QLatin1String("put") || c == QLatin1String("get")) {
        needArgs(o, 1, 2);
        checkFlash(o);
        if (c == QLatin1String("get"))
            checkWritable(o.args[1], "cannot get into ", true);
    }
    if (o.verify && c != QLatin1String("download") && c != QLatin1String("put") &&
        c != QLatin1String("save"))
        throw UsageError("--verify goes with download, save or put");
    if (o.erase && c != QLatin1String("download"))
        throw UsageError("--new goes with download");
    if (o.ifChanged && c != QLatin1String("download") && c != QLatin1String("put"))
        throw UsageError("--if-changed goes with download or put");
}

Options parseOptions(const QStringList& arguments) {
    Parser p;
    if (!p.parser.parse(arguments))
        throw UsageError(p.parser.errorText().toStdString());
    Options o;
    if (p.isSet(p.help) || p.isSet(p.version)) {
        o.command = p.isSet(p.help) ? QStringLiteral("help") : QStringLiteral("version");
        o.args =
            QStringList{p.isSet(p.help) ? QString::fromUtf8(kHelp) : QString::fromLatin1(kVersion)};
        return o;
    }
    const QStringList positional = p.parser.positionalArguments();
    if (positional.isEmpty())
        throw UsageError("no command (see --help)");
    o.command = positional.first().toLower(); // as operators type them for the board
    o.args = positional.mid(1);
    if (!kCommands.contains(o.command))
        unknownCommand(o.command);
    readSettings(p, o);
    readFraming(p, o);
    readBoards(p, o);
    readFleet(p, o);
    readTerm(p, o);
    checkCommand(o);
    return o;
}

} // namespace vantor::cli
