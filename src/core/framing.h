#pragma once
// The two ways a command line is wrapped on its way to a Modbus device behind the
// controller. A command line always ends in CR LF.
//
// Gateway line: "MDC <address>,<line without its CR LF>" CR LF, the address text as typed.
// RTU frame:    address, function 67 ('C'), byte count N, the N bytes of the line (its
//               CR LF included), CRC-16/MODBUS of all that, low byte first.

#include <string>
#include <string_view>

namespace vantor::core {

constexpr char kRtuFunction = 67;
constexpr std::size_t kRtuMaxData = 255;

// Throws Failure 5 when the line is too short to lose its CR LF.
std::string gatewayLine(std::string_view address, std::string_view line);
// The RTU address of an address text: its leading number rounded half to even; throws
// Failure 6 outside 0..255.
int rtuAddress(std::string_view addressText);
// Throws Failure 6 for a line over 255 bytes or an address outside 0..255.
std::string rtuFrame(std::string_view addressText, std::string_view line);

} // namespace vantor::core
