#include "ops/program_save.h"
#include "ops/file_choice.h"
#include "ops/file_failures.h"
#include "ops/links.h"
#include "shell/failure_trap.h"
#include "shell/terminal.h"

#include <QThread>

namespace vantor {

void ProgramSave::start() {
    Gate::Hold hold(t_.gate);
    SharedState& s = t_.state;
    t_.focusConsole();
    if (!links_.anyOpen())
        return;
    closeProgramFile(s);
    withChosenFile(t_, FileDialog::Save, kBasFilter, [&](const QString& path) {
        QThread::msleep(100); // the controller wants a moment before the listing command
        t_.gate.catchUp();
        s.BasFile.setFileName(path);
        if (!s.BasFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            failOpen(s.BasFile, false);
        s.ListActive = 1;
        s.SendResult = links_.sendOnEither(wire(core::ListingCapture::command(core::Link::Udp)),
                                           wire(core::ListingCapture::command(core::Link::Serial)));
    });
}

void ProgramSave::takeAnswer(core::Link link) {
    SharedState& s = t_.state;
    const core::Step step = exchange_.onReply(view(s.RxText), link);
    if (!step.store.empty())
        writeAll(s.BasFile, wire(step.store));
    showOnPane(t_, step.pane);
    if (step.finished())
        endProgramExchange(s, true);
}

} // namespace vantor
