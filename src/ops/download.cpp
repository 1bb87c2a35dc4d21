#include "download.h"
#include "app/failure_trap.h"
#include "app/terminal.h"
#include "core/program_file.h"
#include "file_choice.h"
#include "file_failures.h"
#include "links.h"
#include "login_prompt.h"

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
        s.DownloadActive = 1;
        const bool read = trapFailures(t_.dialogs, [&] { readProgram(path); });
        if (!read || s.ProgCount == 0) {
            // Nothing to send: back to idle rather than waiting for an answer forever.
            s.DownloadActive = 0;
            s.ProgPos = 0;
            if (read)
                t_.pane.append(kEmptyProgram);
            return;
        }
        s.ProgPos = 1;
        QThread::msleep(100); // the controller wants a moment before the first line
        sendProgramLine();
        t_.pane.append(s.ProgLines[1].left(5) + '\n');
        if (s.ProgPos == s.ProgCount)
            complete();
    });
}

void Download::readProgram(const QString& path) {
    SharedState& s = t_.state;
    s.BasFile.setFileName(path);
    if (!s.BasFile.open(QIODevice::ReadOnly))
        failOpen(s.BasFile, true);
    const QByteArray content = s.BasFile.readAll();
    const bool failed = s.BasFile.error() != QFileDevice::NoError;
    s.BasFile.close();
    if (failed)
        throw core::Failure(core::failure::kPathFileAccess, "Path/File access error");
    s.ProgCount = 0;
    const std::vector<std::string> lines = core::readProgramLines(content.toStdString());
    for (std::size_t i = 0; i < lines.size(); ++i)
        s.ProgLines[i + 1] = QByteArray::fromStdString(core::stripLeadingZeros(lines[i]));
    s.ProgCount = static_cast<int>(lines.size());
}

QByteArray Download::currentLine() const {
    return t_.state.ProgLines[t_.state.ProgPos];
}

void Download::advance() {
    if (t_.state.ProgPos + 1 > static_cast<int>(core::kMaxProgramLines))
        throw core::Failure(core::failure::kSubscriptOutOfRange, "Subscript out of range");
    ++t_.state.ProgPos;
}

void Download::sendProgramLine() {
    t_.state.SendResult = links_.sendOnEither(currentLine() + "\r\n");
}

void Download::sendNextLine() {
    Gate::Hold hold(t_.gate);
    SharedState& s = t_.state;
    if (s.DownloadActive != 1)
        return;
    silently([&] {
        advance();
        sendProgramLine();
        t_.pane.replace(kLoadData + currentLine());
        if (s.ProgPos == s.ProgCount)
            complete();
    });
}

void Download::abandon() {
    Gate::Hold hold(t_.gate);
    t_.state.DownloadActive = 0;
}

void Download::refused() {
    t_.state.BasFile.close();
    t_.pane.append(kSourceError);
    t_.state.DownloadActive = 0;
    t_.state.ListActive = 0;
}

void Download::onUdpReply() {
    SharedState& s = t_.state;
    if (s.RxText.contains("ERROR")) {
        refused();
    } else if (isLoginPrompt(s.RxText)) {
        denyAccess(t_);
    } else if (s.RxText.contains("OK")) {
        advance();
        s.SendResult = links_.udp.UDP_Send(currentLine() + "\r\n");
        t_.pane.replace(kLoadData + currentLine());
        if (s.ProgPos == s.ProgCount)
            complete();
    } else {
        t_.pane.append(s.RxText + "\r\n");
    }
}

void Download::onSerialReply() {
    SharedState& s = t_.state;
    if (s.RxText.contains("ERROR")) {
        refused();
    } else if (s.RxText.contains("OK")) {
        advance();
        sendProgramLine();
        t_.pane.replace(kLoadData + currentLine());
        if (s.ProgPos == s.ProgCount)
            complete();
    } else {
        t_.pane.append(s.RxText + "\r\n");
    }
}

void Download::complete() {
    SharedState& s = t_.state;
    s.ProgPos = 0;
    t_.pane.replace(kSendCompleted);
    s.DownloadActive = 0;
    s.ListActive = 0;
}

} // namespace vantor
