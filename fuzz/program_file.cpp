// A .bas file's lines: none holds a line end, at most 2048 are read (more is Failure 9), and
// zero stripping takes three zeros at most and keeps the rest whole.
#include "core/program_file.h"
#include "core/failure.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    const std::string content(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    try {
        lines = core::readProgramLines(content);
    } catch (const core::Failure& failure) {
        fuzz::check(failure.number() == 9, "only too many lines fail");
        return 0;
    }
    fuzz::check(lines.size() <= core::kMaxProgramLines, "at most 2048 lines");
    std::size_t kept = 0;
    for (const std::string& line : lines) {
        fuzz::check(line.find_first_of("\r\n") == std::string::npos, "no line end in a line");
        const std::string stripped = core::stripLeadingZeros(line);
        fuzz::check(stripped.size() + 3 >= line.size() &&
                        line.compare(line.size() - stripped.size(), stripped.size(), stripped) == 0,
                    "zero stripping keeps the rest whole");
        kept += line.size();
    }
    fuzz::check(kept <= size, "no byte is invented");
    return 0;
}
