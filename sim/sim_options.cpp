#include "sim/sim_options.h"

#include <QCommandLineParser>
#include <QDir>

#include <fstream>
#include <memory>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace vantor::sim {

namespace {

constexpr int kUsageError = 2;
constexpr int kMaxCount = 1 << 30;
constexpr int kMaxDelayMs = 3600 * 1000;
constexpr int kLastBusAddress = 247;

const char kBoardHelp[] = R"(
What the simulated board understands (each line ends in CR LF; keywords in any case):
  NN TEXT               store program line NN (up to 65529); NN alone erases it; "OK"
  LIST                  the program, in bursts, then "OK"
  NEW                   erase the program; "OK"
  VER                   "VANTOR-SIM BASIC V1.0"
  UART 2,7              gateway set-up; "OK"
  MDC N,LINE            a gateway line: LINE is handled as if sent alone; with --bus,
                        by device N (nothing comes back when no device N answers)
  OPENWR "NAME"         open NAME on the flash disk for writing; "OK"
  WRITE "HEX"           append the bytes HEX to it; "OK"
  OPENRD "NAME"         open NAME for reading; "OK" ("ERROR" when there is no such file)
  READ 20"              the next 20 bytes as 40 hex digits, then "OK"; the last ones
                        followed by "ND"
  CLOSE                 close the flash-disk file; "OK"
  anything else         "ERROR"
With --login it answers the first line with "Login:", the next with "Password:", and
takes admin and admin (anything else: "ACCESS DENIED", and it asks again). Over the
pseudo-terminal it also takes Modbus RTU frames (function 67) and answers in frames to
the same address; with --bus only a device at that address answers. Each device of the
bus is a board like the gateway (the same options; its flash disk the folder dev-N of
--flash-dir).

The faults (--drop, --stall, --other-port-every, --cr-only, --split, --chaos) misbehave
on purpose, for testing a client: with --chaos the same SEED gives the same board.

It prints "READY udp ADDRESS PORT" and/or "READY serial PATH" once it listens, and runs
until it is stopped (Ctrl-C).
)";

SimOptions exitWith(int status) {
    SimOptions o;
    o.exitStatus = status;
    return o;
}

SimOptions usageError(const QString& message) {
    std::fprintf(stderr, "vantor-sim: %s\n", qPrintable(message));
    return exitWith(kUsageError);
}

} // namespace

namespace {

struct Parser {
    Parser() {
        parser.setApplicationDescription("Simulated BASIC controller for the Vantor terminal.");
        parser.addOptions({help,   version,  udp,    serial,      serialLink,      address,
                           port,   flashDir, login,  errorOnLine, flashErrorAfter, delay,
                           drop,   gap,      rtu,    stall,       stallEvery,      otherPortEvery,
                           crOnly, split,    chaos,  boards,      refuseOn,        silent,
                           bus,    stallOn,  journal});
    }
    QString value(const QCommandLineOption& option) const { return parser.value(option); }
    bool isSet(const QCommandLineOption& option) const { return parser.isSet(option); }

    QCommandLineParser parser;
    const QCommandLineOption help{{"h", "help"}, "Show this help."};
    const QCommandLineOption version{{"v", "version"}, "Show the version."};
    const QCommandLineOption udp{"udp", "Serve UDP (the default when no front end is named)."};
    const QCommandLineOption serial{"serial", "Serve a pseudo-terminal as the serial port."};
    const QCommandLineOption serialLink{
        {"link", "serial-link"},
        "Make PATH a symbolic link to the pseudo-terminal while running, removed at the end: "
        "stop and start the simulator on the same PATH to unplug and plug back an adapter.",
        "PATH"};
    const QCommandLineOption address{"address", "UDP address to bind (default 127.0.0.1).", "A",
                                     "127.0.0.1"};
    const QCommandLineOption port{"port", "UDP port; 0 (the default) picks a free one.", "N", "0"};
    const QCommandLineOption flashDir{
        "flash-dir",
        "Folder of the flash disk (default: vantor-sim-flash in the temporary folder).", "DIR"};
    const QCommandLineOption login{"login", "Ask for user and password (admin/admin)."};
    const QCommandLineOption errorOnLine{
        "error-on-line", "Refuse the N-th program line (default 0: never).", "N", "0"};
    const QCommandLineOption flashErrorAfter{
        "flash-error-after", "Refuse flash-disk commands after the first N (default 0: never).",
        "N", "0"};
    const QCommandLineOption delay{"delay", "Delay every reply by MS milliseconds (default 0).",
                                   "MS", "0"};
    const QCommandLineOption drop{"drop", "Drop every N-th reply (default 0: none).", "N", "0"};
    const QCommandLineOption gap{
        "gap", "Serial pause between the replies to one command (default 60).", "MS", "60"};
    const QCommandLineOption rtu{"rtu", "Serial: read all input as Modbus RTU frames."};
    const QCommandLineOption stall{
        "stall", "Keep the board busy MS milliseconds on a stalled command (default 0).", "MS",
        "0"};
    const QCommandLineOption stallEvery{"stall-every",
                                        "Stall every N-th command: its answers and all later "
                                        "ones come late, in order (default 0: none).",
                                        "N", "0"};
    const QCommandLineOption otherPortEvery{
        "other-port-every", "Send every N-th reply from another UDP port (default 0: none).", "N",
        "0"};
    const QCommandLineOption crOnly{"cr-only", "End reply lines with CR alone."};
    const QCommandLineOption split{
        "split", "Serial: send each reply in pieces MS milliseconds apart (default 0: whole).",
        "MS", "0"};
    const QCommandLineOption boards{
        "boards",
        "Serve N boards over UDP on consecutive addresses from --address, all on one port, "
        "each with its own program and flash disk (a folder of --flash-dir per board) "
        "(default 1).",
        "N", "1"};
    const QCommandLineOption refuseOn{
        "refuse-on",
        "Boards (1 to N; a,b or a-b), or devices of --bus, that answer ERROR to every line.",
        "LIST"};
    const QCommandLineOption silent{
        "silent", "Boards (1 to N; a,b or a-b), or devices of --bus, that never answer.", "LIST"};
    const QCommandLineOption bus{
        "bus",
        "Modbus devices behind the board as gateway, at addresses 1 to 247 (1-8,12): each with "
        "its own program and flash disk, answering MDC lines and RTU frames to its address.",
        "LIST"};
    const QCommandLineOption stallOn{
        "stall-on", "Devices of --bus whose every reply comes --stall MS late.", "LIST"};
    const QCommandLineOption journal{
        "journal",
        "Append every command line a board handles to FILE as \"BOARD LINE\" (BOARD: its "
        "address, and @N for a device of --bus), flushed as written.",
        "FILE"};
    const QCommandLineOption chaos{"chaos",
                                   "A random mix of these faults at rates drawn from SEED: the "
                                   "same SEED, the same board.",
                                   "SEED"};
};

// The options that take a whole number; what is wrong with one, or nothing.
QString readNumbers(const Parser& p, SimOptions& o) {
    struct Number {
        const QCommandLineOption& option;
        int max;
        std::function<void(int)> store;
    };
    const Number numbers[] = {
        {p.port, 65535, [&](int v) { o.port = quint16(v); }},
        {p.boards, 4096, [&](int v) { o.boards = std::max(v, 1); }},
        {p.errorOnLine, kMaxCount, [&](int v) { o.controller.errorOnLine = v; }},
        {p.flashErrorAfter, kMaxCount, [&](int v) { o.controller.flashErrorAfter = v; }},
        {p.delay, kMaxDelayMs, [&](int v) { o.front.replyDelayMs = v; }},
        {p.drop, kMaxCount, [&](int v) { o.front.dropEvery = v; }},
        {p.gap, kMaxDelayMs, [&](int v) { o.gapMs = v; }},
        {p.stallEvery, kMaxCount, [&](int v) { o.front.stallEvery = v; }},
        {p.otherPortEvery, kMaxCount, [&](int v) { o.front.otherPortEvery = v; }},
        // The chaos seed's choices stand unless an option names its own.
        {p.stall, kMaxDelayMs,
         [&](int v) { o.front.stallMs = p.isSet(p.stall) ? v : o.front.stallMs; }},
        {p.split, kMaxDelayMs,
         [&](int v) { o.front.splitMs = p.isSet(p.split) ? v : o.front.splitMs; }},
    };
    for (const Number& n : numbers) {
        bool ok = false;
        const int value = p.value(n.option).toInt(&ok);
        if (!ok || value < 0 || value > n.max)
            return QString("--%1 wants a whole number from 0 to %2, not %3")
                .arg(n.option.names().first())
                .arg(n.max)
                .arg(p.value(n.option));
        n.store(value);
    }
    return {};
}

// "3,7-9": board numbers from 1 to `most`; nothing when the text is not such a list.
std::optional<QList<int>> readList(const QString& text, int most) {
    QList<int> numbers;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = part.split(QLatin1Char('-'));
        bool ok1 = false, ok2 = false;
        const int first = ends.first().toInt(&ok1);
        const int last = ends.size() == 2 ? ends.last().toInt(&ok2) : (ok2 = true, first);
        if (ends.size() > 2 || !ok1 || !ok2 || first < 1 || last < first || last > most)
            return std::nullopt;
        for (int n = first; n <= last; ++n)
            numbers.append(n);
    }
    return numbers;
}

// The devices of --bus, sorted, each once; what is wrong, or nothing.
QString readBus(const Parser& p, SimOptions& o) {
    if (!p.isSet(p.bus))
        return p.isSet(p.stallOn) ? "--stall-on goes with --bus" : QString();
    std::optional<QList<int>> read = readList(p.value(p.bus), kLastBusAddress);
    if (!read || read->isEmpty())
        return QString("--bus wants addresses from 1 to %1 (1-8,12), not %2")
            .arg(kLastBusAddress)
            .arg(p.value(p.bus));
    std::sort(read->begin(), read->end());
    read->erase(std::unique(read->begin(), read->end()), read->end());
    o.bus = *read;
    if (o.boards > 1)
        return "--bus goes with one board, not --boards";
    return {};
}

// --boards or --bus, and the boards or devices that misbehave; what is wrong, or nothing.
QString readBoards(const Parser& p, SimOptions& o) {
    if (const QString wrong = readBus(p, o); !wrong.isEmpty())
        return wrong;
    const int most = o.bus.isEmpty() ? o.boards : kLastBusAddress;
    for (const auto& [option, list] :
         {std::pair{&p.refuseOn, &o.refuseOn}, {&p.silent, &o.silent}, {&p.stallOn, &o.stallOn}}) {
        const auto read = readList(p.value(*option), most);
        const auto offBus = [&o](int n) { return !o.bus.isEmpty() && !o.bus.contains(n); };
        if (read && std::none_of(read->begin(), read->end(), offBus)) {
            *list = *read;
            continue;
        }
        if (!o.bus.isEmpty())
            return QString("--%1 wants addresses of --bus (%2), not %3")
                .arg(option->names().first(), p.value(p.bus), p.value(*option));
        return QString("--%1 wants board numbers from 1 to %2 (3,7-9), not %3")
            .arg(option->names().first())
            .arg(o.boards)
            .arg(p.value(*option));
    }
    if (o.boards > 1 && (o.serial || o.address.protocol() != QAbstractSocket::IPv4Protocol))
        return "--boards serves UDP on IPv4 addresses";
    return {};
}

} // namespace

SimOptions parseSimOptions(const QStringList& arguments) {
    Parser p;
    if (!p.parser.parse(arguments))
        return usageError(p.parser.errorText());
    if (p.isSet(p.help)) {
        std::fputs(qPrintable(p.parser.helpText().replace(arguments.first(), "vantor-sim")),
                   stdout);
        std::fputs(kBoardHelp, stdout);
        return exitWith(0);
    }
    if (p.isSet(p.version)) {
        std::fputs("vantor-sim 3.1.1\n", stdout);
        return exitWith(0);
    }
    if (!p.parser.positionalArguments().isEmpty())
        return usageError("unexpected argument " + p.parser.positionalArguments().first());

    SimOptions o;
    o.address = QHostAddress(p.value(p.address));
    if (o.address.isNull())
        return usageError("--address wants an IP address, not " + p.value(p.address));
    if (p.isSet(p.chaos)) {
        bool ok = false;
        const uint seed = p.value(p.chaos).toUInt(&ok);
        if (!ok)
            return usageError("--chaos wants a whole number, not " + p.value(p.chaos));
        o.front = FrontOptions::chaos(seed);
    }
    if (const QString wrong = readNumbers(p, o); !wrong.isEmpty())
        return usageError(wrong);
    o.front.crOnly = o.front.crOnly || p.isSet(p.crOnly);
    o.front.rtu = p.isSet(p.rtu);
    o.controller.login = p.isSet(p.login);
    o.controller.name = o.address.toString().toStdString();
    if (p.isSet(p.journal)) {
        auto file = std::make_shared<std::ofstream>(
            std::filesystem::path(p.value(p.journal).toStdU16String()), std::ios::app);
        if (!*file)
            return usageError("cannot write the journal " + p.value(p.journal));
        o.controller.journal = std::move(file);
    }
    if (p.isSet(p.flashDir))
        o.controller.flashDir =
            std::filesystem::path(QDir(p.value(p.flashDir)).absolutePath().toStdU16String());
    o.serial = p.isSet(p.serial);
    o.udp = p.isSet(p.udp) || !o.serial;
    o.serialLink = p.value(p.serialLink);
    if (const QString wrong = readBoards(p, o); !wrong.isEmpty())
        return usageError(wrong);
    if (!o.serialLink.isEmpty() && !o.serial)
        return usageError("--link goes with --serial");
#ifndef Q_OS_UNIX
    if (o.serial)
        return usageError("--serial needs pseudo-terminals, which this platform lacks");
#endif
    return o;
}

} // namespace vantor::sim
