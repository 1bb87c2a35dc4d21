#include "host_list.h"

namespace vantor::core {

namespace {
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

std::vector<std::string> readHostEntries(std::string_view text) {
    std::vector<std::string> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && isBlank(text[pos]))
            ++pos;
        std::string entry;
        if (pos < text.size() && text[pos] == '"') {
            const std::size_t close = text.find('"', pos + 1);
            const std::size_t end = close == std::string_view::npos ? text.size() : close;
            entry = text.substr(pos + 1, end - pos - 1);
            pos = end == text.size() ? end : end + 1;
            // Whatever stands between the closing quote and the delimiter is dropped.
            while (pos < text.size() && text[pos] != ',' && !isLineEnd(text[pos]))
                ++pos;
        } else {
            const std::size_t start = pos;
            while (pos < text.size() && text[pos] != ',' && !isLineEnd(text[pos]))
                ++pos;
            entry = text.substr(start, pos - start);
            while (!entry.empty() && isBlank(entry.back()))
                entry.pop_back();
        }
        if (pos < text.size()) {
            if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
                ++pos;
            ++pos;
        }
        if (!entry.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

std::string writeHostEntries(const std::vector<std::string>& entries) {
    std::string text;
    for (const auto& entry : entries) {
        text += entry;
        text += "\r\n";
    }
    return text;
}

} // namespace vantor::core
