#include "hex.h"

namespace vantor::core {

int Decode(std::string_view digit) {
    if (digit.size() != 1)
        return 0;
    const char c = digit.front();
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

int Decode2(std::string_view digits) {
    if (digits.size() == 2)
        return 16 * Decode(digits.substr(0, 1)) + Decode(digits.substr(1, 1));
    if (digits.size() == 1)
        return Decode(digits);
    return 0;
}

void appendHexByte(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
}

} // namespace vantor::core
