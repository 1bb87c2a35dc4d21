#include "basic_numbers.h"
#include "failure.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace vantor::core {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Scans an optionally signed decimal number with fraction and exponent from `text`
// starting at `pos`; returns the characters it took (blanks removed) and moves `pos`.
std::string scanNumber(std::string_view text, std::size_t& pos, bool skipInnerBlanks) {
    std::string number;
    auto skip = [&] {
        while (skipInnerBlanks && pos < text.size() && isBlank(text[pos]))
            ++pos;
    };
    skip();
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        number.push_back(text[pos++]);
    skip();
    bool digits = false;
    while (pos < text.size() && isDigit(text[pos])) {
        number.push_back(text[pos++]);
        digits = true;
        skip();
    }
    if (pos < text.size() && text[pos] == '.') {
        number.push_back(text[pos++]);
        skip();
        while (pos < text.size() && isDigit(text[pos])) {
            number.push_back(text[pos++]);
            digits = true;
            skip();
        }
    }
    if (!digits)
        return {};
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t back = pos;
        std::string exponent = "e";
        ++pos;
        skip();
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
            exponent.push_back(text[pos++]);
        skip();
        bool expDigits = false;
        while (pos < text.size() && isDigit(text[pos])) {
            exponent.push_back(text[pos++]);
            expDigits = true;
            skip();
        }
        if (expDigits)
            number += exponent;
        else
            pos = back;
    }
    return number;
}

} // namespace

double leadingNumber(std::string_view text) {
    std::size_t pos = 0;
    const std::string number = scanNumber(text, pos, true);
    if (number.empty())
        return 0.0;
    const double value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

double roundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

int toInteger16(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    const std::string number = scanNumber(text, pos, false);
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (number.empty() || pos != text.size())
        throw Failure(failure::kTypeMismatch, "Type mismatch");
    const double value = roundHalfEven(std::strtod(number.c_str(), nullptr));
    if (!std::isfinite(value) || value < -32768.0 || value > 32767.0)
        throw Failure(failure::kOverflow, "Overflow");
    return static_cast<int>(value);
}

} // namespace vantor::core
