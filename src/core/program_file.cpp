#include "program_file.h"
#include "failure.h"

namespace vantor::core {

std::vector<std::string> readProgramLines(std::string_view content) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = pos;
        while (end < content.size() && content[end] != '\r' && content[end] != '\n')
            ++end;
        if (lines.size() == kMaxProgramLines)
            throw Failure(failure::kSubscriptOutOfRange, "Subscript out of range");
        lines.emplace_back(content.substr(pos, end - pos));
        pos = end;
        if (pos < content.size()) {
            if (content[pos] == '\r' && pos + 1 < content.size() && content[pos + 1] == '\n')
                ++pos;
            ++pos;
        }
    }
    return lines;
}

std::string stripLeadingZeros(std::string line) {
    std::size_t zeros = 0;
    while (zeros < 3 && zeros < line.size() && line[zeros] == '0')
        ++zeros;
    line.erase(0, zeros);
    return line;
}

} // namespace vantor::core
