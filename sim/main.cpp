// vantor-sim: a stand-in for the controller board, for tests and for trying the terminal
// without hardware. It prints one READY line per front end once it is listening, so a
// script or test can wait for that instead of guessing a start-up time.

#include "sim/controller.h"
#include "sim/udp_front.h"
#ifdef Q_OS_UNIX
#include "sim/pty_front.h"
#include <QSocketNotifier>
#include <csignal>
#include <unistd.h>
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 1;
constexpr int kMaxCount = 1 << 30;
constexpr int kMaxDelayMs = 3600 * 1000;

int fail(int code, const QString& message) {
    std::fprintf(stderr, "vantor-sim: %s\n", qPrintable(message));
    return code;
}

// A whole number from min to max, or nothing.
std::optional<int> number(const QString& text, int min, int max) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

void ready(const QByteArray& line) {
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

#ifdef Q_OS_UNIX
int quitPipe[2] = {-1, -1};

void onQuitSignal(int) {
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(quitPipe[1], &byte, 1);
}

// SIGINT and SIGTERM leave the event loop, so that the process ends normally and a
// sanitizer build still gets to report.
void quitOnSignals(QCoreApplication& app) {
    if (::pipe(quitPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}
#endif

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vantor-sim");
#ifdef Q_OS_UNIX
    quitOnSignals(app);
#endif

    QCommandLineParser parser;
    parser.setApplicationDescription("Simulated BASIC controller for the Vantor terminal.");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption udp("udp", "Serve UDP (the default when no front end is named).");
    const QCommandLineOption serial("serial", "Serve a pseudo-terminal as the serial port.");
    const QCommandLineOption address("address", "UDP address to bind.", "A", "127.0.0.1");
    const QCommandLineOption port("port", "UDP port; 0 picks a free one.", "N", "0");
    const QCommandLineOption flashDir("flash-dir", "Folder of the flash disk.", "DIR");
    const QCommandLineOption login("login", "Ask for user and password (admin/admin).");
    const QCommandLineOption errorOnLine("error-on-line", "Refuse the N-th program line.", "N",
                                         "0");
    const QCommandLineOption flashErrorAfter(
        "flash-error-after", "Refuse flash-disk commands after the first N.", "N", "0");
    const QCommandLineOption delay("delay", "Delay every reply by MS milliseconds.", "MS", "0");
    const QCommandLineOption drop("drop", "Drop every N-th reply.", "N", "0");
    const QCommandLineOption gap("gap", "Serial pause between the replies to one command.", "MS",
                                 "60");
    const QCommandLineOption rtu("rtu", "Serial: read all input as Modbus RTU frames.");
    parser.addOptions({help, udp, serial, address, port, flashDir, login, errorOnLine,
                       flashErrorAfter, delay, drop, gap, rtu});

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(kUsageError, parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(kUsageError, "unexpected argument " + parser.positionalArguments().first());

    const QHostAddress bindAddress(parser.value(address));
    if (bindAddress.isNull())
        return fail(kUsageError, "--address wants an IP address, not " + parser.value(address));
    int values[6] = {};
    const std::pair<const QCommandLineOption*, int> limits[6] = {
        {&port, 65535},        {&errorOnLine, kMaxCount}, {&flashErrorAfter, kMaxCount},
        {&delay, kMaxDelayMs}, {&drop, kMaxCount},        {&gap, kMaxDelayMs}};
    for (int i = 0; i < 6; ++i) {
        const auto [option, max] = limits[i];
        const auto value = number(parser.value(*option), 0, max);
        if (!value)
            return fail(kUsageError, QString("--%1 wants a whole number from 0 to %2, not %3")
                                         .arg(option->names().first())
                                         .arg(max)
                                         .arg(parser.value(*option)));
        values[i] = *value;
    }
    const auto [bindPort, errorLine, flashErrors, delayMs, dropEvery, gapMs] = values;

    const bool wantSerial = parser.isSet(serial);
    const bool wantUdp = parser.isSet(udp) || !wantSerial;
#ifndef Q_OS_UNIX
    if (wantSerial)
        return fail(kUsageError, "--serial needs pseudo-terminals, which this platform lacks");
#endif

    vantor::sim::ControllerOptions controllerOptions;
    controllerOptions.login = parser.isSet(login);
    controllerOptions.errorOnLine = errorLine;
    controllerOptions.flashErrorAfter = flashErrors;
    if (parser.isSet(flashDir))
        controllerOptions.flashDir =
            std::filesystem::path(QDir(parser.value(flashDir)).absolutePath().toStdU16String());
    vantor::sim::Controller controller(controllerOptions);

    vantor::sim::FrontOptions frontOptions;
    frontOptions.replyDelayMs = delayMs;
    frontOptions.dropEvery = dropEvery;
    frontOptions.rtu = parser.isSet(rtu);

    std::unique_ptr<vantor::sim::UdpFront> udpFront;
    if (wantUdp) {
        udpFront = std::make_unique<vantor::sim::UdpFront>(
            controller, bindAddress, static_cast<quint16>(bindPort), frontOptions);
        if (!udpFront->isBound())
            return fail(kStartError, "cannot bind UDP " + bindAddress.toString() + ":" +
                                         QString::number(bindPort) + ": " +
                                         udpFront->errorString());
        ready("READY udp " + udpFront->address().toString().toLatin1() + ' ' +
              QByteArray::number(udpFront->port()));
    }
#ifdef Q_OS_UNIX
    std::unique_ptr<vantor::sim::PtyFront> ptyFront;
    if (wantSerial) {
        ptyFront = std::make_unique<vantor::sim::PtyFront>(controller, frontOptions, gapMs);
        if (!ptyFront->isOpen())
            return fail(kStartError, "cannot open a pseudo-terminal: " + ptyFront->errorString());
        ready("READY serial " + ptyFront->slavePath().toLocal8Bit());
    }
#endif
    return QCoreApplication::exec();
}
