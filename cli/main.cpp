// vantor: every controller operation from a script, on one board or a batch of boards at
// once, on the same exchanges as the window. Its exit status is its verdict.

#include "board_job.h"
#include "options.h"
#include "output.h"
#include "ports.h"
#include "term_pipe.h"
#include "term_session.h"

#include <QCoreApplication>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>
#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <unistd.h>
#endif

using namespace vantor::cli;

namespace {

// The boards, at most --jobs at once on one event loop; a failure on one never stops the
// others. The exit status is the highest of theirs.
class Batch : public QObject {
public:
    Batch(const Options& options, Output& output) : o_(options), out_(output) {}

    void run() {
        for (const Board& board : o_.boards) {
            auto job = std::make_unique<BoardJob>(o_, board, out_);
            connect(job.get(), &BoardJob::finished, this, [this](const Result& r) {
                showProgress(true);
                results_.append(r);
                out_.result(r);
                status_ = std::max(status_, exitCode(r.status));
                --running_;
                next();
            });
            if (out_.showsProgress())
                connect(job.get(), &BoardJob::progressed, this, [this] {
                    progressSeen_ = true;
                    showProgress();
                });
            jobs_.push_back(std::move(job));
        }
        next();
    }

    // Ctrl-C: the boards in flight end "interrupted", saying how far they got; those not
    // started yet are left alone; the table closes the run as always.
    void interrupt() {
        if (std::exchange(interrupted_, true))
            return;
        for (const auto& job : jobs_)
            if (job->running())
                job->interrupt();
        next();
    }

private:
    void next() {
        while (!interrupted_ && running_ < o_.jobs && started_ < jobs_.size()) {
            ++running_;
            jobs_[started_++]->start();
        }
        if (running_ == 0 && (interrupted_ || started_ == jobs_.size())) {
            out_.table(results_);
            QCoreApplication::exit(interrupted_ ? exitCode(Status::Interrupted) : status_);
        }
    }

    // One board shows where it is; several show the sum of their command's own phase.
    void showProgress(bool final = false) {
        if (!progressSeen_)
            return;
        if (jobs_.size() == 1) {
            out_.progress(jobs_.front()->progress(), final);
            return;
        }
        Progress sum = jobs_.front()->mainProgress();
        sum.done = sum.total = 0;
        for (const auto& job : jobs_) {
            const Progress& p = job->mainProgress();
            sum.done += p.done;
            sum.total = sum.total < 0 || p.total < 0 ? -1 : sum.total + p.total;
        }
        out_.progress(sum, final);
    }

    const Options& o_;
    Output& out_;
    std::vector<std::unique_ptr<BoardJob>> jobs_;
    std::size_t started_ = 0;
    int running_ = 0;
    int status_ = 0;
    bool progressSeen_ = false;
    bool interrupted_ = false;
    QList<Result> results_;
};

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
    Output output(options);
    Batch batch(options, output);
#ifdef Q_OS_UNIX
    onSignals(&batch, {SIGINT, SIGTERM}, [&batch](int) { batch.interrupt(); });
#endif
    batch.run();
    return QCoreApplication::exec();
}
