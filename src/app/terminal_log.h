#pragma once
// Terminal.log: appended to, never truncated, every write flushed at once so that a
// crash loses nothing already received. Writes never fail their caller: a log that
// could not be opened, or a write that fails, is simply skipped.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace vantor {

inline constexpr char kLogFileName[] = "Terminal.log";

class TerminalLog {
public:
    // Throws Failure 75 when the file cannot be opened for appending.
    void open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }
    // The text followed by CR LF.
    void logLine(const QByteArray& text);
    // The text exactly as given.
    void logText(const QByteArray& text);

private:
    QFile file_;
};

} // namespace vantor
