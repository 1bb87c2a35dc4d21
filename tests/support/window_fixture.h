#pragma once
// A real window, offscreen, working in a temporary folder of its own.

#include "scripted_dialogs.h"
#include "window/main_window.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <memory>

class QLineEdit;

namespace vantor::test {

class WindowFixture {
public:
    explicit WindowFixture(WindowOptions options = {});
    // A second window in the same folder, as a program started again.
    std::unique_ptr<UDP> restart(WindowOptions options = {});

    UDP& window() { return *window_; }
    Controls& c() { return window_->controls(); }
    SharedState& s() { return window_->state(); }
    ScriptedDialogs& dialogs() { return dialogs_; }
    QString path(const QString& name) const { return dir_.filePath(name); }
    QByteArray readFile(const QString& name) const;
    void writeFile(const QString& name, const QByteArray& bytes) const;
    QByteArray log() const { return readFile(QStringLiteral("Terminal.log")); }
    // The pane's text as bytes, its line breaks as CR LF where the controller sent them.
    QByteArray pane() const;
    // Connects over UDP to `host` at `port`; false when it is not bound within 5 s.
    bool connectTo(quint16 port, const QString& host = QStringLiteral("127.0.0.1"));
    // Types a line into the console and presses Enter.
    void type(const QString& line);

private:
    WindowOptions prepared(WindowOptions options);

    QTemporaryDir dir_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<UDP> window_;
};

} // namespace vantor::test
