#pragma once
// A pseudo-terminal pair: the window opens the slave by its path, the test drives the
// master side.

#include <QByteArray>
#include <QString>

namespace vantor::test {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    void write(const QByteArray& bytes);
    // What the pseudo-terminal takes of `bytes` now, without waiting: a count, or -1.
    qsizetype writeSome(const QByteArray& bytes);
    // Everything the window has written so far.
    QByteArray readAvailable();
    // Closes both sides, as a device that is pulled out.
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

} // namespace vantor::test
