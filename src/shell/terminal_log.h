#pragma once
// Terminal.log: appended to, never truncated, every write flushed at once so that a
// crash loses nothing already received. Writes never fail their caller: a log that
// could not be opened is skipped, and a write that fails is skipped and reported once.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

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
    // Called with the system's reason when a write fails after one that did not.
    void setOnFailure(std::function<void(const QString&)> report) {
        onFailure_ = std::move(report);
    }

private:
    QFile file_;
    std::function<void(const QString&)> onFailure_;
    bool failing_ = false;
};

} // namespace vantor
