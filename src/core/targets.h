#pragma once
// Where a batch goes. A target is written as
//   ADDRESS            a dotted IPv4 address, or a host name
//   a.b.c.d-e          a range of the last octet, d to e, ascending
//   a.b.c.d/n          a network: its addresses without the network and broadcast ones
//                      (all of them for /31 and /32)
// each with an optional ":PORT" at the end (127.0.1.0/24:111). Ranges expand in ascending
// order, and the targets keep the order they are given in. A target behind a Modbus
// gateway, or a serial port with devices on its line, may carry the device addresses after
// '@' (10.0.0.5@1-32, /dev/ttyUSB0@3,7); the list runs to the end of the entry, commas
// included.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::core {

// A target that is not one, or too many of them: the message says which and why.
class TargetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Target {
    std::string host; // dotted address or host name
    std::uint16_t port = 0;
    bool operator==(const Target&) const = default;
};

// One written target, not expanded yet.
struct TargetPattern {
    std::uint32_t first = 0, last = 0; // addresses, host order; unused for a name
    std::string name;                  // a host name; empty for addresses
    std::optional<std::uint16_t> port;

    std::uint64_t size() const { return name.empty() ? std::uint64_t(last) - first + 1 : 1; }
    // As --exclude reads it: a pattern without a port matches every port.
    bool matches(const Target& target) const;
};

inline constexpr std::size_t kMostTargets = 65536;

// Throws TargetError for a bad address, a reversed range, a bad prefix or a bad port.
TargetPattern parseTarget(std::string_view text);
// Appends the pattern's targets, `defaultPort` where it names none; throws TargetError
// when `out` would hold more than `most`.
void expandTarget(const TargetPattern& pattern, std::uint16_t defaultPort, std::vector<Target>& out,
                  std::size_t most = kMostTargets);
// Modbus device addresses: N, A-B, or such parts separated by commas (1-8,12); ascending,
// each once. 0 is the broadcast no device answers and 248 to 255 are reserved, so they are
// errors. Throws TargetError.
std::vector<int> parseAddressList(std::string_view text);

// An entry split at its '@': the target, and the address list (none without '@').
struct BusEntry {
    std::string target;
    std::optional<std::string> addresses;
};
BusEntry splitBusEntry(std::string_view text);
// The entries of a comma-separated text, where an '@' takes the rest for its list.
std::vector<std::string> splitEntries(std::string_view text);

// The targets of a hosts file: '#' starts a comment to the end of its line, a line's first
// blank-separated field is what it names (further fields are ignored, as the columns of
// `vantor scan` are), commas separate targets within it (up to an '@'), double quotes
// around one go.
std::vector<std::string> readTargetFile(std::string_view text);

std::string dottedAddress(std::uint32_t address);

} // namespace vantor::core
