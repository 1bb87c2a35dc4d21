#include "flash_send.h"
#include "app/failure_trap.h"
#include "app/progress_bar.h"
#include "app/terminal.h"
#include "core/flash_lines.h"
#include "file_choice.h"
#include "file_failures.h"
#include "flash_receive.h"
#include "links.h"

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
        bar->setText(QStringLiteral("NO FILE"));
        readFile(path);
        bar->setMaximum(s.FlashTotal);
        bar->setText(QStringLiteral("SEND"));
        // One transfer at a time: a receive that was running ends here.
        s.FlashRecvActive = 0;
        s.FlashSendActive = 1;
        s.FlashLastChunk = 0;
        s.FlashPos = 1;
        const std::string name = t_.bytesOf(t_.controls.Text2->text()).toStdString();
        sendFlashLine(t_, links_.udp, QByteArray::fromStdString(core::openWriteLine(name)));
    });
}

void FlashSend::readFile(const QString& path) {
    SharedState& s = t_.state;
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
    s.FlashFile.close(); // the file of an earlier transfer, if any
    s.FlashData = std::move(data);
    s.FlashTotal = static_cast<qint32>(s.FlashData.size());
}

void FlashSend::onReply() {
    SharedState& s = t_.state;
    ProgressBar* bar = t_.controls.vbalProgressBar1;
    if (s.RxText.contains("ERROR")) {
        closer_.close();
        bar->setText(QStringLiteral("ERROR"));
        return;
    }
    if (!s.RxText.contains("OK"))
        return;
    if (s.FlashLastChunk != 0) {
        closer_.close();
        bar->setText(QStringLiteral("OK"));
        return;
    }
    // FlashPos is 1-based; the piece is 21 bytes unless the rest of the file is shorter.
    qint32 count = static_cast<qint32>(core::kFlashPiece);
    if (s.FlashPos + 20 >= s.FlashTotal) {
        count = s.FlashTotal - s.FlashPos + 1;
        s.FlashLastChunk = 1;
    }
    const QByteArray piece = s.FlashData.mid(s.FlashPos - 1, qMax(count, 0));
    s.FlashPos += static_cast<qint32>(piece.size());
    sendFlashLine(t_, links_.udp, QByteArray::fromStdString(core::writeLine(piece.toStdString())));
    bar->setValue(s.FlashPos);
}

} // namespace vantor
