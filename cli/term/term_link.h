#pragma once
// The one link of a `vantor term` session, kept up: a serial port that goes away (an
// adapter pulled out, a simulator stopped) is opened again by itself as soon as its path
// can be opened, unless the session was told not to. A UDP link does not go away.

#include "fleet/output.h"
#include "jobs/board_job.h"
#include "link/board_link.h"

#include <QTimer>

#include <memory>

namespace vantor::cli {

class TermLink : public QObject {
    Q_OBJECT
public:
    // How often a lost port is tried again.
    static constexpr int kRetryMs = 100;

    TermLink(const Options& options, bool reconnect);
    void open();
    // The link while it is up, or null.
    BoardLink* link() const { return up_ ? link_.get() : nullptr; }
    QString name() const;

signals:
    void opened();
    // Could not be opened at first, or went away with reconnecting off.
    void failed(const QString& why);
    void lost(const QString& why);
    void back();
    void received(const QByteArray& bytes);
    void answer(const QByteArray& bytes);
    void unreachable();

private:
    void make();
    void onFailed(const QString& why);

    const Options& o_;
    bool reconnect_;
    std::unique_ptr<BoardLink> link_;
    bool up_ = false;
    bool wasUp_ = false; // opened once: a failure now is a loss
    QTimer retry_;
};

// A job of a session, with the options and the output it keeps references to; deleted
// with deleteLater(), as it finishes inside its own signal.
struct TermJob : QObject {
    explicit TermJob(Options o) : options(std::move(o)), output(options) {}
    Options options;
    Output output;
    BoardJob job{options, options.boards.front(), output};
};

} // namespace vantor::cli
