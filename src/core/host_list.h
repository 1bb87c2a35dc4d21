#pragma once
// The text of the host list file. Reading is tolerant: a comma or a line end (CR LF,
// CR or LF) ends an entry, blanks in front of an entry are dropped, an entry between
// double quotes loses its quotes and may hold commas, and empty entries are skipped.
// Writing puts one entry per line, each ended by CR LF.

#include <string>
#include <string_view>
#include <vector>

namespace vantor::core {

inline constexpr std::string_view kDefaultHost = "192.168.0.10";

std::vector<std::string> readHostEntries(std::string_view text);
std::string writeHostEntries(const std::vector<std::string>& entries);

} // namespace vantor::core
