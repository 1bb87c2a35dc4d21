#pragma once
// Numeric conversions of text typed by the operator, as the controller's own BASIC
// would read them: the port number box and the Modbus address box.

#include <string_view>

namespace vantor::core {

// The leading numeric part of a text: blanks are skipped anywhere, then an optional
// sign, digits, a decimal point and an exponent; text without a leading number is 0.
double leadingNumber(std::string_view text);
// Round to the nearest integer, halves going to the even neighbour (16.5 -> 16, 17.5 -> 18).
double roundHalfEven(double value);
// Strict conversion of a whole text (surrounding blanks allowed) to a 16-bit integer,
// rounding halves to even. Throws Failure 13 (not a number) or 6 (out of range).
int toInteger16(std::string_view text);

} // namespace vantor::core
