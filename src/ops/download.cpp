#include "ops/download.h"
#include "ops/file_choice.h"
#include "ops/file_failures.h"
#include "ops/links.h"
#include "shell/failure_trap.h"
#include "shell/terminal.h"

#include <QThread>

namespace vantor {

void Download::start() {
    Gate::Hold hold(t_.gate);
    SharedState& s = t_.state;
    t_.focusConsole();
    if (!links_.anyOpen())
        return;
    closeProgramFile(s);
    withChosenFile(t_, FileDialog::Open, kBasFilter, [&](const QString& path) {
        s.ProgPos = 0;
        s.ListActive = 0;
        core::ProgramDownload program;
        if (!trapFailures(t_.dialogs, [&] { program = readProgram(path); })) {
            // Nothing was sent: back to idle rather than waiting for an answer forever.
            s.DownloadActive = 0;
            return;
        }
        if (program.count() > 0)
            QThread::msleep(100); // the controller wants a moment before the first line
        t_.gate.catchUp();        // what came before line 1 is no answer to it
        exchange_ = std::move(program);
        s.ProgCount = exchange_.count();
        s.ProgPos = 0;
        s.ListActive = 0;
        s.DownloadActive = 1;
        carryOut(exchange_.start(), false);
    });
}

core::ProgramDownload Download::readProgram(const QString& path) {
    SharedState& s = t_.state;
    s.BasFile.setFileName(path);
    if (!s.BasFile.open(QIODevice::ReadOnly))
        failOpen(s.BasFile, true);
    const QByteArray content = s.BasFile.readAll();
    const bool failed = s.BasFile.error() != QFileDevice::NoError;
    s.BasFile.close();
    if (failed)
        throw core::Failure(core::failure::kPathFileAccess, "Path/File access error");
    return core::ProgramDownload::fromFile(view(content));
}

void Download::sendNextLine() {
    Gate::Hold hold(t_.gate);
    if (t_.state.DownloadActive == 1)
        silently([&] { carryOut(exchange_.sendNext(), false); });
}

void Download::abandon() {
    Gate::Hold hold(t_.gate);
    t_.state.DownloadActive = 0;
}

void Download::onUdpReply() {
    carryOut(exchange_.onReply(view(t_.state.RxText), core::Link::Udp), true);
}

void Download::onSerialReply() {
    carryOut(exchange_.onReply(view(t_.state.RxText), core::Link::Serial), false);
}

void Download::carryOut(const core::Step& step, bool udpOnly) {
    SharedState& s = t_.state;
    if (!step.send.empty()) {
        const QByteArray line = wire(step.send);
        s.SendResult = udpOnly ? links_.udp.UDP_Send(line) : links_.sendOnEither(line);
    }
    s.ProgPos = exchange_.position();
    showOnPane(t_, step.pane);
    // The file was closed when it had been read; a refusal or a login prompt closes
    // whatever is open under it all the same.
    if (step.finished())
        endProgramExchange(s, step.outcome != core::Outcome::Done);
}

} // namespace vantor
