#include "term/term_pipe.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace vantor::cli {

TermPipe::TermPipe(const Options& options)
    : o_(options), link_(options, options.reconnect), input_(STDIN_FILENO, QSocketNotifier::Read) {
    if (::isatty(STDOUT_FILENO))
        shown_.emplace(*options.codePage);
    input_.setEnabled(false);
    connect(&input_, &QSocketNotifier::activated, this, &TermPipe::onInput);
}

void TermPipe::start() {
    if (!o_.logFile.isEmpty() && !log_.open(o_.logFile)) {
        std::fprintf(stderr, "vantor: term: cannot open the log %s: %s\n", qPrintable(o_.logFile),
                     qPrintable(log_.errorString()));
        return end(exitCode(Status::File));
    }
    connect(&link_, &TermLink::opened, this, [this] {
        std::fprintf(stderr, "vantor term: %s\n", qPrintable(link_.name()));
        next();
    });
    connect(&link_, &TermLink::failed, this, [this](const QString& why) {
        std::fprintf(stderr, "vantor: term: %s\n", qPrintable(why));
        if (job_)
            return; // the line in flight ends with the link's failure, and the run with it
        end(exitCode(Status::Link));
    });
    connect(&link_, &TermLink::lost, this, [this] {
        std::fprintf(stderr, "vantor: term: link lost: %s, waiting\n", qPrintable(link_.name()));
    });
    connect(&link_, &TermLink::back, this, [this] {
        std::fprintf(stderr, "vantor: term: link back: %s\n", qPrintable(link_.name()));
        next();
    });
    connect(&link_, &TermLink::received, this,
            [this](const QByteArray& bytes) { log_.write(bytes); });
    connect(&link_, &TermLink::answer, this, [this](const QByteArray& bytes) {
        if (!job_ && !o_.json) // not an answer to a line: shown all the same
            show(shown_ ? shown_->take({bytes.constData(), std::size_t(bytes.size())}, {})
                        : bytes.toStdString());
    });
    link_.open();
}

void TermPipe::onInput() {
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n > 0) {
        take(buffer, n);
    } else {
        inputEnded_ = true;
        if (!pending_.isEmpty() && !tooLong_)
            lines_.append({std::exchange(pending_, {})});
    }
    next();
}

void TermPipe::take(const char* bytes, qsizetype size) {
    while (size > 0) {
        const auto* end = static_cast<const char*>(std::memchr(bytes, '\n', std::size_t(size)));
        const qsizetype part = end ? end - bytes : size;
        if (!tooLong_) {
            pending_.append(bytes, part);
            if (pending_.size() > kLongestLine) {
                lines_.append({{}, true});
                pending_.clear();
                tooLong_ = true;
            }
        }
        if (!end)
            return;
        if (!std::exchange(tooLong_, false)) {
            if (pending_.endsWith('\r'))
                pending_.chop(1);
            lines_.append({std::exchange(pending_, {})});
        }
        bytes = end + 1;
        size -= part + 1;
    }
}

void TermPipe::next() {
    if (ended_)
        return;
    while (!job_ && !lines_.isEmpty() && link_.link()) {
        const Line line = lines_.takeFirst();
        if (line.tooLong) {
            std::fprintf(stderr, "vantor: term: a line of more than %lld bytes: not sent\n",
                         static_cast<long long>(kLongestLine));
            status_ = std::max(status_, exitCode(Status::File));
            continue;
        }
        Options options = o_;
        options.command = QStringLiteral("send");
        options.args = {QString::fromUtf8(line.text)};
        try {
            checkCommand(options); // the line in the code page
        } catch (const UsageError& e) {
            std::fprintf(stderr, "vantor: term: %s\n", e.what());
            status_ = std::max(status_, exitCode(Status::File));
            continue;
        }
        if (shown_)
            show(shown_->openPart()); // before the line's own answer
        job_ = std::make_unique<TermJob>(std::move(options));
        connect(&job_->job, &BoardJob::finished, this, &TermPipe::onDone);
        job_->job.startOn(*link_.link(), &log_);
    }
    if (!job_ && lines_.isEmpty() && inputEnded_)
        return end(status_);
    // More is read only once the lines read have gone.
    input_.setEnabled(lines_.isEmpty() && !inputEnded_);
}

void TermPipe::onDone(const Result& result) {
    job_->output.result(result);
    status_ = std::max(status_, exitCode(result.status));
    job_.release()->deleteLater(); // it is still emitting
    if (result.status == Status::Link && !link_.link() && !o_.reconnect)
        return end(status_);
    if (result.status == Status::Interrupted)
        return end(status_);
    next();
}

void TermPipe::interrupt() {
    if (job_)
        return job_->job.interrupt();
    end(exitCode(Status::Interrupted));
}

void TermPipe::end(int status) {
    ended_ = true;
    if (shown_)
        show(shown_->openPart());
    input_.setEnabled(false);
    QTimer::singleShot(0, this, [status] { QCoreApplication::exit(status); });
}

void TermPipe::show(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace vantor::cli
