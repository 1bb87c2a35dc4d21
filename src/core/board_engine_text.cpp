// The texts of the engine's messages: replies through the code page, shown so that they
// can never move a terminal's cursor; sizes, seconds, and the patterns they fill.

#include "board_engine.h"
#include "board_engine_impl.h"

#include <cstdio>

namespace vantor::core {

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u32string decode(std::string_view bytes, const CodePage& page) {
    std::u32string out;
    out.reserve(bytes.size());
    for (const char byte : bytes)
        out.push_back(page.toUnicode(static_cast<unsigned char>(byte)));
    return out;
}

// The blanks a message trims: line ends, tabs, spaces of every width.
bool isSpace(char32_t c) {
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::u32string trim(std::u32string text) {
    std::size_t from = 0, to = text.size();
    while (from < to && isSpace(text[from]))
        ++from;
    while (to > from && isSpace(text[to - 1]))
        --to;
    return text.substr(from, to - from);
}

std::string utf8(const std::u32string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text)
        appendUtf8(out, c);
    return out;
}

std::string visible(const std::u32string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        if (c < 0x20 || c == 0x7F) {
            out.push_back('^');
            out.push_back(static_cast<char>(c ^ 0x40));
        } else if (c >= 0x80 && c <= 0x9F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%X", static_cast<unsigned>(c));
            out += hex;
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

// "VER", "WRITE": what a line is, for a message.
std::u32string describe(const std::u32string& line) {
    const std::u32string text = trim(line);
    for (const std::u32string_view flash : {U"OPENWR", U"OPENRD", U"WRITE", U"READ"})
        if (text.compare(0, flash.size(), flash) == 0)
            return std::u32string(flash);
    return text.size() <= 40 ? text : text.substr(0, 39) + U'\u2026';
}

} // namespace

std::string format(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(pattern.size() + 32);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9' &&
            std::size_t(pattern[i + 1] - '1') < args.size()) {
            out += *(args.begin() + (pattern[i + 1] - '1'));
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string secondsText(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", ms / 1000.0);
    return text;
}

std::string describeLine(std::string_view line, const CodePage& page) {
    return visible(describe(decode(line, page)));
}

std::string number(std::int64_t n) {
    return std::to_string(n);
}

std::string pageText(std::string_view bytes, const CodePage& page) {
    return utf8(decode(bytes, page));
}

std::string trimmedText(std::string_view bytes, const CodePage& page) {
    return utf8(trim(decode(bytes, page)));
}

std::string visibleText(std::string_view bytes, const CodePage& page) {
    return visible(decode(bytes, page));
}

std::string shownReply(std::string_view bytes, const CodePage& page) {
    return visible(trim(decode(bytes, page)));
}

std::string sizeText(std::int64_t bytes) {
    char text[48];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

std::string_view commandName(JobCommand command) {
    switch (command) {
    case JobCommand::Ver:
        return "ver";
    case JobCommand::Scan:
        return "scan";
    case JobCommand::New:
        return "new";
    case JobCommand::Send:
        return "send";
    case JobCommand::Download:
        return "download";
    case JobCommand::Save:
        return "save";
    case JobCommand::Put:
        return "put";
    case JobCommand::Get:
        return "get";
    case JobCommand::Diff:
        return "diff";
    }
    return "";
}

} // namespace vantor::core
