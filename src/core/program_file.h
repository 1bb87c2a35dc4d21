#pragma once
// A BASIC program file as the download reads it: lines end at CR, CR LF or a lone LF,
// empty lines are kept, a terminator at the very end starts no further line, and at
// most 2048 lines fit. Up to three leading zeros are stripped from every line, so that
// "0010 PRINT X" goes out as "10 PRINT X".

#include <string>
#include <string_view>
#include <vector>

namespace vantor::core {

constexpr std::size_t kMaxProgramLines = 2048;

// Throws Failure 9 when the file holds more than kMaxProgramLines lines.
std::vector<std::string> readProgramLines(std::string_view content);
std::string stripLeadingZeros(std::string line);

} // namespace vantor::core
