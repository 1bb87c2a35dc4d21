#pragma once
// Events are handled one at a time. A modal dialog runs a nested event loop, so a
// datagram or a poll tick could otherwise be handled in the middle of the handler that
// opened it; every handler holds the gate while it runs, and work that arrives meanwhile
// waits until the gate is released. Datagrams stay queued in the socket meanwhile; a
// poll tick that finds the gate held is simply skipped and comes again 20 ms later.

#include <QObject>

#include <functional>
#include <vector>

namespace vantor {

class Gate : public QObject {
    Q_OBJECT
public:
    bool busy() const { return depth_ > 0; }

    // Runs `work` now when no handler runs, otherwise right after the last one ends.
    void whenFree(std::function<void()> work);

    // An operation that is about to start, after its file dialog, has what arrived
    // meanwhile (held back while it waited) handled first, in the state from before it:
    // a late answer to an earlier line is no answer to the operation's first line.
    void addCatchUp(std::function<void()> take) { catchUps_.push_back(std::move(take)); }
    void catchUp() const {
        for (const auto& take : catchUps_)
            take();
    }

    class Hold {
    public:
        explicit Hold(Gate& gate) : gate_(gate) { ++gate_.depth_; }
        ~Hold() { gate_.leave(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        Gate& gate_;
    };

private:
    void leave();
    void runPending();

    int depth_ = 0;
    bool scheduled_ = false;
    std::vector<std::function<void()>> pending_;
    std::vector<std::function<void()>> catchUps_;
};

} // namespace vantor
