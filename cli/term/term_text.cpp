#include "term/term_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

namespace vantor::cli {

namespace {

std::string utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
    return out;
}

} // namespace

ReceivedText::ReceivedText(const core::CodePage& page) {
    // Appended rather than assigned: GCC 12 at -O3 warns falsely on a short string assigned.
    for (int b = 0; b < 256; ++b) {
        std::string& shown = shown_[std::size_t(b)];
        if (b == '\t') {
            shown += '\t';
        } else if (b < 0x20 || b == 0x7F) {
            shown += '^';
            shown += char(b ^ 0x40);
        } else if (const char32_t c = page.toUnicode(static_cast<unsigned char>(b));
                   c >= 0x80 && c <= 0x9F) { // C1: CSI among them, which a terminal obeys
            static const char digits[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += digits[c >> 4];
            shown += digits[c & 15];
        } else {
            shown += utf8(c);
        }
    }
}

std::string ReceivedText::take(std::string_view bytes, std::string_view stamp) {
    std::string out;
    for (const char c : bytes) {
        if (std::exchange(afterCr_, false) && c == '\n')
            continue;
        if (!lineStarted_)
            startLine(stamp);
        if (c == '\r' || c == '\n') {
            endLine(out);
            afterCr_ = c == '\r';
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            open_ += c; // most of what a board says: as it is
        else
            open_ += shown_[byte];
        if (++openBytes_ == kLongest)
            out += openPart();
    }
    return out;
}

std::string ReceivedText::openPart() {
    if (!lineStarted_ || open_.empty())
        return {};
    std::string part = std::move(open_) + "\r\n";
    open_.clear();
    openBytes_ = 0;
    partShown_ = true;
    return part;
}

void ReceivedText::startLine(std::string_view stamp) {
    lineStarted_ = true;
    open_ = stamp;
}

void ReceivedText::endLine(std::string& out) {
    // A line whose start is on the screen already needs no empty row for its end.
    if (!(partShown_ && open_.empty()))
        out += open_ + "\r\n";
    open_.clear();
    openBytes_ = 0;
    lineStarted_ = partShown_ = false;
}

std::string hexRows(std::string_view bytes, std::string_view stamp) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::string_view row = bytes.substr(at, 16);
        out += stamp;
        std::string text;
        for (const char c : row) {
            const auto b = static_cast<unsigned char>(c);
            out += {digits[b >> 4], digits[b & 15], ' '};
            text += b >= 0x20 && b < 0x7F ? c : '.';
        }
        out.append((16 - row.size()) * 3, ' ');
        out += " |" + text + "|\r\n";
    }
    return out;
}

std::string clockStamp(long long msOfDay) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld ", msOfDay / 3600000 % 24,
                  msOfDay / 60000 % 60, msOfDay / 1000 % 60, msOfDay % 1000);
    return text;
}

std::optional<char> prefixKey(std::string_view text) {
    std::string lower;
    for (const char c : text)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    std::string_view key = lower;
    bool named = false;
    for (const std::string_view lead : {"^", "c-", "ctrl-", "ctrl+"}) {
        if (key.size() == lead.size() + 1 && key.substr(0, lead.size()) == lead) {
            key.remove_prefix(lead.size());
            named = true;
            break;
        }
    }
    if (!named)
        return std::nullopt;
    const char c = char(std::toupper(static_cast<unsigned char>(key[0])));
    // Keys the editor or the terminal has a use for already: Enter, Tab, Backspace,
    // Ctrl-C, Ctrl-D, Escape, and the flow-control pair.
    if (c < '@' || c > '_' || std::string_view("CDHIJMQS[").find(c) != std::string_view::npos)
        return std::nullopt;
    return char(c ^ 0x40);
}

std::string keyName(char key) {
    return std::string("Ctrl-") + char(key ^ 0x40);
}

Completion completeName(std::string_view typed, const std::vector<std::string>& names) {
    const std::size_t slash = typed.rfind('/');
    const std::string_view stem = slash == std::string_view::npos ? typed : typed.substr(slash + 1);
    std::vector<std::string> fits;
    for (const std::string& name : names) {
        const bool hidden = !name.empty() && name[0] == '.';
        if (name.compare(0, stem.size(), stem) == 0 && (!hidden || !stem.empty()))
            fits.push_back(name);
    }
    if (fits.empty())
        return {};
    std::sort(fits.begin(), fits.end());
    // Sorted, the first and the last name share what all of them share.
    const std::string& first = fits.front();
    const std::string& last = fits.back();
    std::size_t common = 0;
    while (common < first.size() && common < last.size() && first[common] == last[common])
        ++common;
    Completion completion{fits.front().substr(stem.size(), common - stem.size()), {}};
    if (fits.size() > 1)
        completion.others = std::move(fits);
    return completion;
}

} // namespace vantor::cli
