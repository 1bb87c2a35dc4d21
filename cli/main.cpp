// vantor: every controller operation from a script, on one board or a batch of boards at
// once, on the same exchanges as the window. Its exit status is its verdict.

#include "board_job.h"
#include "options.h"
#include "output.h"
#include "ports.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <vector>

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
            connect(job.get(), &BoardJob::progressed, this, [this] {
                progressSeen_ = true;
                showProgress();
            });
            jobs_.push_back(std::move(job));
        }
        next();
    }

private:
    void next() {
        while (running_ < o_.jobs && started_ < jobs_.size()) {
            ++running_;
            jobs_[started_++]->start();
        }
        if (running_ == 0 && started_ == jobs_.size()) {
            out_.table(results_);
            QCoreApplication::exit(status_);
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
    QList<Result> results_;
};

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
    Output output(options);
    Batch batch(options, output);
    batch.run();
    return QCoreApplication::exec();
}
