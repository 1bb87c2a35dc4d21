#pragma once
// Events are handled one at a time. A modal dialog runs a nested event loop, so a
// datagram or a poll tick could otherwise be handled in the middle of the handler that
// opened it; every handler holds the gate while it runs, and the reply side waits until
// the gate is released.

#include <QObject>

namespace vantor {

class Gate : public QObject {
    Q_OBJECT
public:
    bool busy() const { return depth_ > 0; }

    class Hold {
    public:
        explicit Hold(Gate& gate) : gate_(gate) { ++gate_.depth_; }
        ~Hold() {
            if (--gate_.depth_ == 0)
                emit gate_.released();
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        Gate& gate_;
    };

signals:
    void released();

private:
    int depth_ = 0;
};

} // namespace vantor
