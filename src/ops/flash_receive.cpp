#include "flash_receive.h"
#include "app/failure_trap.h"
#include "app/progress_bar.h"
#include "app/terminal.h"
#include "core/flash_lines.h"
#include "file_choice.h"
#include "file_failures.h"
#include "links.h"

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
        bar->setText(QStringLiteral("READ"));
        bar->setValue(0);
        bar->setMaximum(100);
        // Emptied first: an old, longer file must not keep a tail behind the new bytes.
        // A file that cannot be created leaves a running transfer as it was.
        QFile target(path);
        if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
            failOpen(target, false);
        target.close();
        s.FlashFile.close(); // the file of an earlier transfer, if any
        s.FlashFile.setFileName(path);
        if (!s.FlashFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            // Its file is gone: the earlier transfer cannot go on either.
            s.FlashSendActive = s.FlashRecvActive = 0;
            failOpen(s.FlashFile, false);
        }
        s.FlashTotal = 0;
        // One transfer at a time: a send that was running ends here.
        s.FlashSendActive = 0;
        s.FlashRecvActive = 1;
        s.FlashLastChunk = 0;
        s.FlashPos = 1;
        const std::string name = t_.bytesOf(t_.controls.Text2->text()).toStdString();
        sendFlashLine(t_, links_.udp, QByteArray::fromStdString(core::openReadLine(name)));
    });
}

void FlashReceive::onReply() {
    SharedState& s = t_.state;
    ProgressBar* bar = t_.controls.vbalProgressBar1;
    const std::string reply = s.RxText.toStdString();
    if (s.RxText.contains("ERROR")) {
        close();
        bar->setText(QStringLiteral("ERROR"));
    } else if (s.RxText.contains("ND")) {
        writeAll(s.FlashFile, QByteArray::fromStdString(core::decodeEndOfData(reply)));
        close();
        bar->setText(QStringLiteral("OK"));
        bar->setValue(100);
        s.FlashFile.close();
    } else if (s.RxText.contains("OK")) {
        sendFlashLine(t_, links_.udp, QByteArray(core::kReadLine.data(), core::kReadLine.size()));
    } else {
        writeAll(s.FlashFile, QByteArray::fromStdString(core::decodeDataReply(reply)));
        if (++s.FlashTotal == 100)
            s.FlashTotal = 0;
        bar->setValue(s.FlashTotal);
    }
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
    sendFlashLine(t_, links_.udp, QByteArray(core::kCloseLine.data(), core::kCloseLine.size()));
    s.FlashFile.close();
}

} // namespace vantor
