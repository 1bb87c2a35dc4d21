#pragma once
// What the vantor suites share: vantor run as a process while this one's event loop serves
// the simulated boards, and small file helpers.

#include <QFile>
#include <QProcess>
#include <QTest>

namespace vantor::test {

struct Run {
    int status = -1;
    QByteArray out, err;
};

inline Run runVantor(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral(VANTOR), arguments);
    const bool ended = QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000);
    if (!ended)
        p.kill();
    return {ended ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace vantor::test
