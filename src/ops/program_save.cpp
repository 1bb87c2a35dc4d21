#include "program_save.h"
#include "app/failure_trap.h"
#include "app/terminal.h"
#include "download.h"
#include "file_choice.h"
#include "file_failures.h"
#include "links.h"
#include "login_prompt.h"

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
        s.BasFile.setFileName(path);
        if (!s.BasFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            failOpen(s.BasFile, false);
        QThread::msleep(100); // the controller wants a moment before the listing command
        s.ListActive = 1;
        s.SendResult = links_.sendOnEither(kListUdp, kListSerial);
    });
}

void ProgramSave::onUdpReply() {
    if (isLoginPrompt(t_.state.RxText)) {
        denyAccess(t_);
        return;
    }
    takeAnswer();
}

void ProgramSave::onSerialReply() {
    takeAnswer();
}

void ProgramSave::takeAnswer() {
    SharedState& s = t_.state;
    if (s.RxText.left(5).contains("OK")) {
        s.BasFile.close();
        t_.pane.replace(kLoadCompleted);
        s.DownloadActive = 0;
        s.ListActive = 0;
        return;
    }
    writeAll(s.BasFile, s.RxText);
    t_.pane.replace(kLoadData + s.RxText + "\r\n");
}

} // namespace vantor
