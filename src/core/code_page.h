#pragma once
// The single-byte code page through which wire bytes become the characters the operator
// sees and types. Bytes 0..127 are ASCII; 128..255 follow the chosen page. Every byte maps
// to one character and back, so a byte the controller sends is shown as the same letter
// every time and is never changed on its way to the log or a file.

#include <array>
#include <string_view>
#include <unordered_map>

namespace vantor::core {

class CodePage {
public:
    // "windows-1251" (also "cp1251"), "latin1" ("iso-8859-1"), "cp866" ("ibm866");
    // nullptr for any other name. Names are compared without regard to case.
    static const CodePage* byName(std::string_view name);
    static const CodePage& defaultPage();

    std::string_view name() const { return name_; }
    char32_t toUnicode(unsigned char byte) const { return table_[byte]; }
    // The byte of a character, or -1 when the page has none for it.
    int fromUnicode(char32_t character) const;

private:
    CodePage(std::string_view name, const std::array<char32_t, 128>& upper);

    std::string_view name_;
    std::array<char32_t, 256> table_{};
    std::unordered_map<char32_t, unsigned char> reverse_;
};

} // namespace vantor::core
