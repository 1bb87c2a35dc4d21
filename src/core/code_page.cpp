#include "code_page.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace vantor::core {

namespace {
#include "code_page_tables.inc"

std::array<char32_t, 128> latin1Upper() {
    std::array<char32_t, 128> upper{};
    for (std::size_t i = 0; i < upper.size(); ++i)
        upper[i] = static_cast<char32_t>(128 + i);
    return upper;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}
} // namespace

CodePage::CodePage(std::string_view name, const std::array<char32_t, 128>& upper) : name_(name) {
    for (std::size_t i = 0; i < 128; ++i)
        table_[i] = static_cast<char32_t>(i);
    std::copy(upper.begin(), upper.end(), table_.begin() + 128);
    for (std::size_t i = 0; i < table_.size(); ++i)
        reverse_.emplace(table_[i], static_cast<unsigned char>(i));
}

const CodePage& CodePage::defaultPage() {
    return *byName("windows-1251");
}

const CodePage* CodePage::byName(std::string_view name) {
    static const CodePage windows1251("windows-1251", kWindows1251);
    static const CodePage latin1("latin1", latin1Upper());
    static const CodePage cp866("cp866", kCp866);
    const std::string key = lower(name);
    if (key == "windows-1251" || key == "cp1251")
        return &windows1251;
    if (key == "latin1" || key == "iso-8859-1" || key == "latin-1")
        return &latin1;
    if (key == "cp866" || key == "ibm866")
        return &cp866;
    return nullptr;
}

int CodePage::fromUnicode(char32_t character) const {
    const auto it = reverse_.find(character);
    return it == reverse_.end() ? -1 : it->second;
}

} // namespace vantor::core
