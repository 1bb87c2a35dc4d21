#include "command_history.h"

namespace vantor::core {

std::optional<std::string> CommandHistory::up() {
    const int before = HistoryPos;
    if (HistoryPos < kSize)
        ++HistoryPos;
    if (CmdHistory[HistoryPos].empty()) {
        HistoryPos = before;
        return std::nullopt;
    }
    HistoryRecalled = 1;
    return CmdHistory[HistoryPos];
}

std::optional<std::string> CommandHistory::down() {
    const int before = HistoryPos;
    if (HistoryPos > 0)
        --HistoryPos;
    if (CmdHistory[HistoryPos].empty() && HistoryPos != 0) {
        HistoryPos = before;
        return std::nullopt;
    }
    HistoryRecalled = HistoryPos != 0 ? 1 : 0;
    return CmdHistory[HistoryPos];
}

void CommandHistory::enter(const std::string& line) {
    if (!line.empty() && HistoryRecalled == 0) {
        for (int i = kSize; i > 1; --i)
            CmdHistory[i] = std::move(CmdHistory[i - 1]);
        CmdHistory[1] = line;
    }
    HistoryRecalled = 0;
    HistoryPos = 0;
}

} // namespace vantor::core
