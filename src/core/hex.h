#pragma once
// Hexadecimal digits as the flash-disk lines carry them: upper-case only. Decoding is
// deliberately forgiving: anything that is not a digit counts 0, so malformed controller
// data never fails, it only decodes to zeros.

#include <string>
#include <string_view>

namespace vantor::core {

// One digit "0".."9" or "A".."F" to 0..15; any other string (lower case, empty, longer) is 0.
int Decode(std::string_view digit);
// One or two digits to 0..255; any other length is 0.
int Decode2(std::string_view digits);
// Appends the two upper-case digits of a byte, high nibble first.
void appendHexByte(std::string& out, unsigned char byte);

} // namespace vantor::core
