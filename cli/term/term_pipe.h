#pragma once
// vantor term with stdin not a terminal (`vantor term < commands.txt`): each input line
// is sent as send sends it and its answer waited for (an "OK" or "ERROR" reply, or --idle
// of quiet), the replies go to stdout, and the next line follows even after a refusal.
// The exit status is the worst line's. No editor, no escape codes; on a terminal, what
// the board says unasked is shown as a session shows it. Stdin is read only as
// fast as its lines go out, so that memory stays flat however long it is.

#include "term/term_link.h"
#include "term/term_text.h"

#include <QSocketNotifier>

#include <memory>
#include <optional>

namespace vantor::cli {

class TermPipe : public QObject {
public:
    explicit TermPipe(const Options& options);
    void start();
    // SIGINT or SIGTERM: the line in flight ends interrupted, and so does the run.
    void interrupt();

    // A line longer than this is not sent, and said so.
    static constexpr qsizetype kLongestLine = 64 * 1024;

private:
    struct Line {
        QByteArray text;
        bool tooLong = false;
    };

    void onInput();
    void take(const char* bytes, qsizetype size);
    void next();
    void onDone(const Result& result);
    void end(int status);
    void show(const std::string& text);

    const Options& o_;
    TermLink link_;
    TrafficLog log_;
    QSocketNotifier input_;
    std::optional<ReceivedText> shown_; // stdout is a terminal: no control bytes go raw
    QByteArray pending_;                // input not yet a whole line
    bool tooLong_ = false;              // pending_ is dropped until the line ends
    QList<Line> lines_;                 // whole lines not yet sent
    bool inputEnded_ = false;
    bool ended_ = false;
    std::unique_ptr<TermJob> job_;
    int status_ = 0;
};

} // namespace vantor::cli
