#pragma once
// The console's history of the last 32 lines. Slot 1 is the newest, 32 the oldest;
// slot 0 stays empty and stands for the fresh line. A line recalled and sent unchanged
// is not stored again; editing it with Delete, Backspace, Left or Right makes it new.

#include <array>
#include <optional>
#include <string>

namespace vantor::core {

class CommandHistory {
public:
    static constexpr int kSize = 32;

    // Up and Down: the text the console line should now show, or nothing to leave it.
    std::optional<std::string> up();
    std::optional<std::string> down();
    // Delete, Backspace, Left or Right pressed.
    void edited() { HistoryRecalled = 0; }
    // Enter pressed with `line` in the console.
    void enter(const std::string& line);

    const std::string& entry(int index) const { return CmdHistory.at(index); }

    std::array<std::string, kSize + 1> CmdHistory;
    int HistoryPos = 0;
    int HistoryRecalled = 0;
};

} // namespace vantor::core
