// vantor: every controller operation from a script, on one board or a batch of boards at
// once, on the same exchanges as the window. Its exit status is its verdict.

#include "fleet/batch.h"
#include "fleet/output.h"
#include "link/ports.h"
#include "options.h"
#include "term/term_pipe.h"
#include "term/term_session.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <functional>
#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace vantor::cli;

namespace {

#ifdef Q_OS_UNIX
int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// A crash must not leave the operator's terminal in raw mode.
void onCrash(int number) {
    LineEditor::restoreTerminal();
    ::signal(number, SIG_DFL);
    ::raise(number);
}

// The signals reach `handle` through the event loop, never in the middle of a step.
void onSignals(QObject* owner, std::initializer_list<int> numbers,
               std::function<void(int)> handle) {
    if (::pipe(signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [handle] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) == 1)
            handle(byte);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int number : numbers)
        ::sigaction(number, &action, nullptr);
}
#endif

#ifdef Q_OS_UNIX
// The boards share one UDP socket, but each running board may hold a log and a local file
// or two: the descriptor limit is raised as far as the system allows, and --jobs fitted
// under it, said before anything is sent.
void fitJobs(Options& o) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    const bool localFile = o.command == QLatin1String("save") || o.command == QLatin1String("get");
    const rlim_t perBoard = (o.logFile.isEmpty() ? 0 : 1) + (localFile ? 2 : 0);
    constexpr rlim_t kReserve = 64; // the process's own: stdio, the event loop, Qt's
    if (perBoard == 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur <= kReserve + perBoard)
        return;
    const int most = int(std::min<rlim_t>((limit.rlim_cur - kReserve) / perBoard, 4096));
    const int wanted = std::min(o.jobs, int(o.boards.size()));
    if (wanted <= most)
        return;
    std::fprintf(stderr, "vantor: the system allows %llu open files: %d boards at once, not %d\n",
                 static_cast<unsigned long long>(limit.rlim_cur), most, wanted);
    o.jobs = most;
}
#endif

int runTerm(const Options& options) {
    if (::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
        TermSession session(options);
#ifdef Q_OS_UNIX
        for (const int number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            ::signal(number, onCrash);
        onSignals(&session, {SIGINT, SIGTERM, SIGHUP, SIGWINCH}, [&session](int number) {
            if (number == SIGWINCH)
                session.resized();
            else
                session.quit(exitCode(Status::Interrupted));
        });
#endif
        session.start();
        return QCoreApplication::exec();
    }
    TermPipe pipe(options);
#ifdef Q_OS_UNIX
    onSignals(&pipe, {SIGINT, SIGTERM}, [&pipe](int) { pipe.interrupt(); });
#endif
    pipe.start();
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor"));
    Options options;
    try {
        options = parseOptions(QCoreApplication::arguments());
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vantor: %s\n", e.what());
        return 2;
    }
    if (options.command == QLatin1String("help") || options.command == QLatin1String("version")) {
        std::fputs(options.args.first().toUtf8().append('\n').constData(), stdout);
        return 0;
    }
    if (options.command == QLatin1String("ports"))
        return listPorts(options.json);
    if (options.command == QLatin1String("term"))
        return runTerm(options);
    if (options.duplicates > 0)
        std::fprintf(stderr, "vantor: %d duplicate targets dropped\n", options.duplicates);
#ifdef Q_OS_UNIX
    fitJobs(options);
#endif
    Output output(options);
    Batch batch(options, output);
#ifdef Q_OS_UNIX
    onSignals(&batch, {SIGINT, SIGTERM}, [&batch](int) { batch.interrupt(); });
#endif
    batch.run();
    return QCoreApplication::exec();
}
