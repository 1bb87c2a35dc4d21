#include "term/term_link.h"

#include <QFileInfo>

namespace vantor::cli {

TermLink::TermLink(const Options& options, bool reconnect) : o_(options), reconnect_(reconnect) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, [this] {
        if (QFileInfo::exists(o_.serialPort))
            make();
        else
            retry_.start();
    });
}

QString TermLink::name() const {
    return o_.serial() ? o_.serialPort : o_.boards.front().label();
}

void TermLink::open() {
    make();
}

void TermLink::make() {
    if (link_)
        link_.release()->deleteLater(); // it may be in the middle of emitting
    link_ = BoardLink::make(o_, o_.boards.front());
    BoardLink* link = link_.get();
    connect(link, &BoardLink::opened, this, [this] {
        up_ = true;
        if (std::exchange(wasUp_, true))
            emit back();
        else
            emit opened();
    });
    connect(link, &BoardLink::failed, this, &TermLink::onFailed);
    connect(link, &BoardLink::received, this, &TermLink::received);
    connect(link, &BoardLink::answer, this, &TermLink::answer);
    connect(link, &BoardLink::unreachable, this, &TermLink::unreachable);
    link->open();
}

void TermLink::onFailed(const QString& why) {
    const bool wasUp = std::exchange(up_, false);
    if (!wasUp_ || !reconnect_ || !o_.serial()) {
        emit failed(why);
        return;
    }
    if (wasUp)
        emit lost(why);
    retry_.start(); // not there yet, or there but not to be opened yet: later
}

} // namespace vantor::cli
