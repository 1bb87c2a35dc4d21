#pragma once
// The variables every handler shares, alive as long as the window. A flag counts as
// set only when it equals 1. Files stand in for file numbers: whoever holds the state
// can write to, or close, the same open file. The program lines and the flash data live
// in the exchange that sends them; the positions here follow it at every step.

#include "core/command_history.h"

#include <QByteArray>
#include <QFile>

#include <string>

namespace vantor {

struct SharedState {
    core::CommandHistory history; // CmdHistory, HistoryPos, HistoryRecalled

    int ListActive = 0;
    int DownloadActive = 0;
    QFile BasFile;
    int ProgPos = 0;
    int ProgCount = 0;

    int FlashSendActive = 0;
    int FlashRecvActive = 0;
    int FlashLastChunk = 0;
    qint32 FlashTotal = 0;
    qint32 FlashPos = 0;
    QFile FlashFile;

    QByteArray RxText;
    int SendResult = 0;

    int ComOpen = 0;
    int BlinkTicks = 0;
    int IdleTicks = 0;
    std::string RtuRxBuffer;
    int RtuLen = 0;
    std::string RtuCrcCalc;
    std::string RtuCrcRecv;
};

} // namespace vantor
