#pragma once
// A board's listing against a program file: the lines compared as the interpreter stores
// them (upper case, runs of blanks as one, since it may reformat what it keeps) and shown
// as they stand.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::core {

// A line as a listing compares it.
std::string normalLine(std::string_view line);

struct ListedLine {
    std::string key;  // normalLine of the text
    std::string text; // as it stands, without its line end
};

// The program the controller holds after these lines: numbered lines stored by number, a
// number alone erasing its line, lines without a number not stored.
std::vector<ListedLine> programAfter(const std::vector<std::string>& lines);
// The lines of a captured listing, blank ones aside.
std::vector<ListedLine> listedLines(std::string_view captured);

// The first place where the two differ, line by line: its index, and the line of each
// side there (none past a side's end). Nothing when the keys are the same.
struct FirstDifference {
    std::size_t index = 0;
    std::optional<std::string> a, b;
};
std::optional<FirstDifference> firstDifference(const std::vector<ListedLine>& a,
                                               const std::vector<ListedLine>& b);

// `a` against `b` as a unified diff under the headers "--- nameA" and "+++ nameB", with
// `context` lines around each change; empty when the keys are the same.
std::string unifiedDiff(const std::vector<ListedLine>& a, const std::vector<ListedLine>& b,
                        std::string_view nameA, std::string_view nameB, int context = 3);

} // namespace vantor::core
