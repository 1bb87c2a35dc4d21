#pragma once
// The variables every handler shares, alive as long as the window. A flag counts as
// set only when it equals 1. Files stand in for file numbers: whoever holds the state
// can write to, or close, the same open file.

#include "core/command_history.h"
#include "core/program_file.h"

#include <QByteArray>
#include <QFile>

#include <array>
#include <string>

namespace vantor {

struct SharedState {
    core::CommandHistory history; // CmdHistory, HistoryPos, HistoryRecalled

    int ListActive = 0;
    int DownloadActive = 0;
    QFile BasFile;
    std::array<QByteArray, core::kMaxProgramLines + 1> ProgLines;
    int ProgPos = 0;
    int ProgCount = 0;

    int FlashSendActive = 0;
    int FlashRecvActive = 0;
    int FlashLastChunk = 0;
    qint32 FlashTotal = 0;
    qint32 FlashPos = 0;
    QByteArray FlashData;
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
