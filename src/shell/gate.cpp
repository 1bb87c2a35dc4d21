#include "shell/gate.h"

#include <QTimer>

namespace vantor {

void Gate::whenFree(std::function<void()> work) {
    if (!busy()) {
        work();
        return;
    }
    pending_.push_back(std::move(work));
}

void Gate::leave() {
    if (--depth_ == 0 && !pending_.empty() && !scheduled_) {
        // Not from inside the ending handler's stack: from the event loop, one turn later.
        scheduled_ = true;
        QTimer::singleShot(0, this, &Gate::runPending);
    }
}

void Gate::runPending() {
    scheduled_ = false;
    while (!pending_.empty() && !busy()) {
        auto work = std::move(pending_.front());
        pending_.erase(pending_.begin());
        work();
    }
}

} // namespace vantor
