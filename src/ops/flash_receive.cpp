#include "ops/flash_receive.h"
#include "core/flash_lines.h"
#include "ops/file_choice.h"
#include "ops/file_failures.h"
#include "ops/links.h"
#include "shell/failure_trap.h"
#include "shell/progress_bar.h"
#include "shell/terminal.h"

#include <QLineEdit>

namespace vantor {

void FlashReceive::start() {
    Gate::Hold hold(t_.gate);
    SharedState& s = t_.state;
    ProgressBar* bar = t_.controls.vbalProgressBar1;
    t_.focusConsole();
    if (!links_.udp.isOpen())
        return;
    withChosenFile(t_, FileDialog::Save, kAllFilesFilter, [&](const QString& path) {
        bar->setText(kBarRead);
        bar->setValue(0);
        bar->setMaximum(core::FlashRead::kProgressSpan);
        // Emptied first: an old, longer file must not keep a tail behind the new bytes.
        // A file that cannot be created leaves a running transfer as it was.
        QFile target(path);
        if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
            failOpen(target, false);
        target.close();
        t_.gate.catchUp();
        s.FlashFile.close(); // the file of an earlier transfer, if any
        s.FlashFile.setFileName(path);
        if (!s.FlashFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            // Its file is gone: the earlier transfer cannot go on either.
            s.FlashSendActive = s.FlashRecvActive = 0;
            failOpen(s.FlashFile, false);
        }
        exchange_.emplace(view(t_.bytesOf(t_.controls.Text2->text())));
        s.FlashTotal = exchange_->counter();
        // One transfer at a time: a send that was running ends here.
        s.FlashSendActive = 0;
        s.FlashRecvActive = 1;
        s.FlashLastChunk = 0;
        s.FlashPos = 1;
        sendFlashLine(t_, links_.udp, exchange_->open().send);
    });
}

void FlashReceive::onReply() {
    if (!exchange_)
        return;
    SharedState& s = t_.state;
    ProgressBar* bar = t_.controls.vbalProgressBar1;
    const core::Step step = exchange_->onReply(view(s.RxText));
    if (!step.store.empty())
        writeAll(s.FlashFile, wire(step.store));
    if (!step.send.empty())
        sendFlashLine(t_, links_.udp, step.send);
    if (step.finished()) {
        close();
        bar->setText(step.outcome == core::Outcome::Done ? kBarOk : kBarError);
        s.FlashFile.close(); // also when the socket had gone and close() left it open
    } else {
        s.FlashTotal = exchange_->counter();
    }
    if (step.progress)
        bar->setValue(*step.progress);
}

void FlashReceive::endClicked() {
    Gate::Hold hold(t_.gate);
    trapFailures(t_.dialogs, [&] { close(); });
}

void FlashReceive::close() {
    SharedState& s = t_.state;
    t_.focusConsole();
    if (!links_.udp.isOpen())
        return;
    s.FlashSendActive = 0;
    s.FlashRecvActive = 0;
    s.FlashLastChunk = 0;
    s.FlashPos = 0;
    sendFlashLine(t_, links_.udp, core::kCloseCommand);
    s.FlashFile.close();
}

} // namespace vantor
