#include "shell/terminal_log.h"
#include "core/failure.h"

namespace vantor {

void TerminalLog::open(const QString& path) {
    file_.close();
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw core::Failure(core::failure::kPathFileAccess,
                            "Path/File access error: " + file_.errorString().toStdString());
}

void TerminalLog::logLine(const QByteArray& text) {
    logText(text + "\r\n");
}

void TerminalLog::logText(const QByteArray& text) {
    if (!file_.isOpen() || text.isEmpty())
        return;
    file_.unsetError();
    if (file_.write(text) == text.size()) {
        failing_ = false;
        return;
    }
    // Told once, with the system's reason; again only after a write that went through.
    if (!failing_ && onFailure_)
        onFailure_(file_.errorString());
    failing_ = true;
}

} // namespace vantor
