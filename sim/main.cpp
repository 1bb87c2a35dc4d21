// vantor-sim: a stand-in for the controller board, for tests and for trying the terminal
// without hardware. It prints one READY line per front end once it is listening, so a
// script or test can wait for that instead of guessing a start-up time.

#include "sim/bus.h"
#include "sim/controller.h"
#include "sim/udp_front.h"
#ifdef Q_OS_LINUX
#include "sim/udp_boards.h"
#endif
#ifdef Q_OS_UNIX
#include "sim/pty_front.h"
#include <QSocketNotifier>
#include <csignal>
#include <unistd.h>
#endif
#include "sim/sim_options.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int kStartError = 1;

int fail(int code, const QString& message) {
    std::fprintf(stderr, "vantor-sim: %s\n", qPrintable(message));
    return code;
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

#ifdef Q_OS_UNIX
// A fixed path to the pseudo-terminal, for scripts and examples; gone again at exit.
class PtyLink {
public:
    PtyLink(const QString& link, const QString& target) : link_(QFile::encodeName(link)) {
        if (QFileInfo(link).isSymLink())
            ::unlink(link_.constData()); // a stale link of an earlier run
        if (::symlink(QFile::encodeName(target).constData(), link_.constData()) != 0)
            link_.clear();
    }
    ~PtyLink() {
        if (!link_.isEmpty())
            ::unlink(link_.constData());
    }
    bool made() const { return !link_.isEmpty(); }

private:
    QByteArray link_;
};
#endif

// Many boards in one process, behind one socket: consecutive addresses on one port (the
// first free one when the port is left to pick).
int serveBoards(const vantor::sim::SimOptions& o) {
#ifndef Q_OS_LINUX
    return fail(kStartError, "--boards needs Linux (IP_PKTINFO)");
#else
    vantor::sim::BoardsOptions b;
    b.first = o.address;
    b.count = o.boards;
    b.port = o.port;
    b.controller = o.controller;
    if (b.controller.flashDir.empty())
        b.controller.flashDir = vantor::sim::defaultFlashDir();
    b.front = o.front;
    b.refuseOn = o.refuseOn;
    b.silent = o.silent;
    vantor::sim::UdpBoards boards(b);
    if (!boards.isBound())
        return fail(kStartError, "cannot bind UDP port " + QString::number(o.port) + ": " +
                                     boards.errorString());
    ready("READY udp " + o.address.toString().toLatin1() + ' ' + QByteArray::number(boards.port()) +
          ' ' + QByteArray::number(o.boards) + " boards to " + boards.last().toString().toLatin1());
    return QCoreApplication::exec();
#endif
}

// The board, with the devices of --bus behind it if any.
std::vector<vantor::sim::BusDevice> busDevices(const vantor::sim::SimOptions& o) {
    std::vector<vantor::sim::BusDevice> devices;
    for (int address : o.bus)
        devices.push_back({address, o.silent.contains(address), o.refuseOn.contains(address),
                           o.stallOn.contains(address)});
    return devices;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vantor-sim");
#ifdef Q_OS_UNIX
    quitOnSignals(app);
#endif
    const vantor::sim::SimOptions o = vantor::sim::parseSimOptions(QCoreApplication::arguments());
    if (o.exitStatus)
        return *o.exitStatus;

    if (o.boards > 1)
        return serveBoards(o);
    vantor::sim::Bus bus(o.controller, busDevices(o));
    std::unique_ptr<vantor::sim::UdpFront> udpFront;
    if (o.udp) {
        udpFront = std::make_unique<vantor::sim::UdpFront>(bus, o.address, o.port, o.front);
        if (!udpFront->isBound())
            return fail(kStartError, "cannot bind UDP " + o.address.toString() + ":" +
                                         QString::number(o.port) + ": " + udpFront->errorString());
        ready("READY udp " + udpFront->address().toString().toLatin1() + ' ' +
              QByteArray::number(udpFront->port()));
    }
#ifdef Q_OS_UNIX
    std::unique_ptr<vantor::sim::PtyFront> ptyFront;
    std::optional<PtyLink> link;
    if (o.serial) {
        ptyFront = std::make_unique<vantor::sim::PtyFront>(bus, o.front, o.gapMs);
        if (!ptyFront->isOpen())
            return fail(kStartError, "cannot open a pseudo-terminal: " + ptyFront->errorString());
        if (!o.serialLink.isEmpty() && !link.emplace(o.serialLink, ptyFront->slavePath()).made())
            return fail(kStartError, "cannot make the link " + o.serialLink + ": " +
                                         QString::fromLocal8Bit(std::strerror(errno)));
        ready("READY serial " + ptyFront->slavePath().toLocal8Bit());
    }
#endif
    return QCoreApplication::exec();
}
