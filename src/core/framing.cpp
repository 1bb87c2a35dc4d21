#include "framing.h"
#include "basic_numbers.h"
#include "crc16.h"
#include "failure.h"

namespace vantor::core {

std::string gatewayLine(std::string_view address, std::string_view line) {
    if (line.size() < 2)
        throw Failure(failure::kInvalidCall, "Invalid procedure call or argument");
    std::string out = "MDC ";
    out.append(address);
    out.push_back(',');
    out.append(line.substr(0, line.size() - 2));
    out.append("\r\n");
    return out;
}

int rtuAddress(std::string_view addressText) {
    const double address = roundHalfEven(leadingNumber(addressText));
    if (address < 0.0 || address > 255.0)
        throw Failure(failure::kOverflow, "Overflow");
    return static_cast<int>(address);
}

std::string rtuFrame(std::string_view addressText, std::string_view line) {
    const int address = rtuAddress(addressText);
    if (line.size() > kRtuMaxData)
        throw Failure(failure::kOverflow, "Overflow");
    std::string frame;
    frame.reserve(line.size() + 5);
    frame.push_back(static_cast<char>(address));
    frame.push_back(kRtuFunction);
    frame.push_back(static_cast<char>(line.size()));
    frame.append(line);
    frame.append(CRC16(frame));
    return frame;
}

} // namespace vantor::core
