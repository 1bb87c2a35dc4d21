#include "sim/sim_options.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstdio>
#include <filesystem>

namespace vantor::sim {

namespace {

constexpr int kUsageError = 2;
constexpr int kMaxCount = 1 << 30;
constexpr int kMaxDelayMs = 3600 * 1000;

const char kBoardHelp[] = R"(
What the simulated board understands (each line ends in CR LF; keywords in any case):
  NN TEXT               store program line NN (up to 65529); NN alone erases it; "OK"
  LIST                  the program, in bursts, then "OK"
  NEW                   erase the program; "OK"
  VER                   "VANTOR-SIM BASIC V1.0"
  UART 2,7              gateway set-up; "OK"
  MDC N,LINE            a gateway line: LINE is handled as if sent alone
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
the same address.

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

SimOptions parseSimOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Simulated BASIC controller for the Vantor terminal.");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version({"v", "version"}, "Show the version.");
    const QCommandLineOption udp("udp", "Serve UDP (the default when no front end is named).");
    const QCommandLineOption serial("serial", "Serve a pseudo-terminal as the serial port.");
    const QCommandLineOption serialLink(
        "serial-link", "Make PATH a symbolic link to the pseudo-terminal while running.", "PATH");
    const QCommandLineOption address("address", "UDP address to bind (default 127.0.0.1).", "A",
                                     "127.0.0.1");
    const QCommandLineOption port("port", "UDP port; 0 (the default) picks a free one.", "N", "0");
    const QCommandLineOption flashDir(
        "flash-dir",
        "Folder of the flash disk (default: vantor-sim-flash in the temporary folder).", "DIR");
    const QCommandLineOption login("login", "Ask for user and password (admin/admin).");
    const QCommandLineOption errorOnLine(
        "error-on-line", "Refuse the N-th program line (default 0: never).", "N", "0");
    const QCommandLineOption flashErrorAfter(
        "flash-error-after", "Refuse flash-disk commands after the first N (default 0: never).",
        "N", "0");
    const QCommandLineOption delay("delay", "Delay every reply by MS milliseconds (default 0).",
                                   "MS", "0");
    const QCommandLineOption drop("drop", "Drop every N-th reply (default 0: none).", "N", "0");
    const QCommandLineOption gap(
        "gap", "Serial pause between the replies to one command (default 60).", "MS", "60");
    const QCommandLineOption rtu("rtu", "Serial: read all input as Modbus RTU frames.");
    const QCommandLineOption stall(
        "stall", "Keep the board busy MS milliseconds on a stalled command (default 0).", "MS",
        "0");
    const QCommandLineOption stallEvery(
        "stall-every",
        "Stall every N-th command: its answers and all later ones come late, in "
        "order (default 0: none).",
        "N", "0");
    const QCommandLineOption otherPortEvery(
        "other-port-every", "Send every N-th reply from another UDP port (default 0: none).", "N",
        "0");
    const QCommandLineOption crOnly("cr-only", "End reply lines with CR alone.");
    const QCommandLineOption split(
        "split", "Serial: send each reply in pieces MS milliseconds apart (default 0: whole).",
        "MS", "0");
    const QCommandLineOption chaos(
        "chaos",
        "A random mix of these faults at rates drawn from SEED: the same SEED, the "
        "same board.",
        "SEED");
    parser.addOptions({help,   version,  udp,   serial,      serialLink,      address,
                       port,   flashDir, login, errorOnLine, flashErrorAfter, delay,
                       drop,   gap,      rtu,   stall,       stallEvery,      otherPortEvery,
                       crOnly, split,    chaos});

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText().replace(arguments.first(), "vantor-sim")), stdout);
        std::fputs(kBoardHelp, stdout);
        return exitWith(0);
    }
    if (parser.isSet(version)) {
        std::fputs("vantor-sim 3.1.1\n", stdout);
        return exitWith(0);
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError("unexpected argument " + parser.positionalArguments().first());

    SimOptions o;
    o.address = QHostAddress(parser.value(address));
    if (o.address.isNull())
        return usageError("--address wants an IP address, not " + parser.value(address));
    if (parser.isSet(chaos)) {
        bool ok = false;
        const uint seed = parser.value(chaos).toUInt(&ok);
        if (!ok)
            return usageError("--chaos wants a whole number, not " + parser.value(chaos));
        o.front = FrontOptions::chaos(seed);
    }
    int values[10] = {};
    const std::pair<const QCommandLineOption*, int> limits[10] = {
        {&port, 65535},        {&errorOnLine, kMaxCount}, {&flashErrorAfter, kMaxCount},
        {&delay, kMaxDelayMs}, {&drop, kMaxCount},        {&gap, kMaxDelayMs},
        {&stall, kMaxDelayMs}, {&stallEvery, kMaxCount},  {&otherPortEvery, kMaxCount},
        {&split, kMaxDelayMs}};
    for (int i = 0; i < 10; ++i) {
        const auto [option, max] = limits[i];
        bool ok = false;
        values[i] = parser.value(*option).toInt(&ok);
        if (!ok || values[i] < 0 || values[i] > max)
            return usageError(QString("--%1 wants a whole number from 0 to %2, not %3")
                                  .arg(option->names().first())
                                  .arg(max)
                                  .arg(parser.value(*option)));
    }
    o.port = quint16(values[0]);
    o.controller.errorOnLine = values[1];
    o.controller.flashErrorAfter = values[2];
    o.front.replyDelayMs = values[3];
    o.front.dropEvery = values[4];
    o.gapMs = values[5];
    // The chaos seed's choices stand unless an option names its own.
    if (parser.isSet(stall))
        o.front.stallMs = values[6];
    o.front.stallEvery = values[7];
    o.front.otherPortEvery = values[8];
    if (parser.isSet(split))
        o.front.splitMs = values[9];
    o.front.crOnly = o.front.crOnly || parser.isSet(crOnly);
    o.front.rtu = parser.isSet(rtu);
    o.controller.login = parser.isSet(login);
    if (parser.isSet(flashDir))
        o.controller.flashDir =
            std::filesystem::path(QDir(parser.value(flashDir)).absolutePath().toStdU16String());

    o.serial = parser.isSet(serial);
    o.udp = parser.isSet(udp) || !o.serial;
    o.serialLink = parser.value(serialLink);
    if (!o.serialLink.isEmpty() && !o.serial)
        return usageError("--serial-link goes with --serial");
#ifndef Q_OS_UNIX
    if (o.serial)
        return usageError("--serial needs pseudo-terminals, which this platform lacks");
#endif
    return o;
}

} // namespace vantor::sim
