#include "ops/flash_send.h"
#include "ops/file_choice.h"
#include "ops/file_failures.h"
#include "ops/flash_receive.h"
#include "ops/links.h"
#include "shell/failure_trap.h"
#include "shell/progress_bar.h"
#include "shell/terminal.h"

#include <QLineEdit>

namespace vantor {

void FlashSend::start() {
    Gate::Hold hold(t_.gate);
    SharedState& s = t_.state;
    ProgressBar* bar = t_.controls.vbalProgressBar1;
    t_.focusConsole();
    if (!links_.udp.isOpen())
        return;
    withChosenFile(t_, FileDialog::Open, kAllFilesFilter, [&](const QString& path) {
        s.ProgPos = 0;
        bar->setText(kBarNoFile);
        const QByteArray data = readFile(path);
        t_.gate.catchUp();
        s.FlashFile.close(); // the file of an earlier transfer, if any
        exchange_.emplace(data.toStdString(), view(t_.bytesOf(t_.controls.Text2->text())));
        s.FlashTotal = exchange_->total();
        bar->setMaximum(s.FlashTotal);
        bar->setText(kBarSend);
        // One transfer at a time: a receive that was running ends here.
        s.FlashRecvActive = 0;
        s.FlashSendActive = 1;
        s.FlashLastChunk = 0;
        s.FlashPos = exchange_->position();
        sendFlashLine(t_, links_.udp, exchange_->open().send);
    });
}

QByteArray FlashSend::readFile(const QString& path) {
    // Read through a file of its own, so that a file that cannot be read leaves a running
    // transfer as it was.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        failOpen(file, true);
    const qint64 size = file.size();
    if (size > kFlashSendLimit)
        throw core::Failure(core::failure::kFileTooLarge,
                            "File too large for the flash disk: the limit is 16 MiB (" +
                                std::to_string(kFlashSendLimit) + " bytes)");
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError || data.size() != size)
        throw core::Failure(core::failure::kPathFileAccess, "Path/File access error");
    return data;
}

void FlashSend::onReply() {
    if (!exchange_)
        return;
    SharedState& s = t_.state;
    ProgressBar* bar = t_.controls.vbalProgressBar1;
    const core::Step step = exchange_->onReply(view(s.RxText));
    if (step.finished()) {
        closer_.close();
        bar->setText(step.outcome == core::Outcome::Done ? kBarOk : kBarError);
        return;
    }
    s.FlashPos = exchange_->position();
    s.FlashLastChunk = exchange_->lastChunkSent() ? 1 : 0;
    if (!step.send.empty())
        sendFlashLine(t_, links_.udp, step.send);
    if (step.progress)
        bar->setValue(*step.progress);
}

} // namespace vantor
