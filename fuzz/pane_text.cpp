// The pane's store fed random pieces under a small bound: what it keeps is the newest
// part of the text, with CR, LF and CR LF as one break each; it stays within its bound,
// no stored line is longer than the longest allowed, and no surrogate pair is split.
#include "core/pane_text.h"
#include "fuzz_support.h"

namespace {

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Bytes F0..F7 stand for a high surrogate and F8..FE for a low one, so that pairs and
// lone halves both come up.
std::u16string characters(const std::string& bytes) {
    std::u16string out;
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        out.push_back(u >= 0xF8 ? char16_t(0xDE00 + (u & 7)) : u >= 0xF0 ? char16_t(0xD83D) : u);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    if (size < 2)
        return 0;
    const std::size_t limit = 16 + std::size_t(data[0]) * 4, maxLine = 2 + data[1] % 32;
    core::PaneText pane(limit, maxLine);
    std::u16string whole; // everything appended, breaks as the pane has them
    bool endsWithCr = false;
    for (const std::string& piece : fuzz::pieces(data + 2, size - 2)) {
        const std::u16string text = characters(piece);
        pane.append(text);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool lf = text[i] == u'\n';
            if (!(lf && endsWithCr))
                whole.push_back(lf || text[i] == u'\r' ? u'\n' : text[i]);
            endsWithCr = text[i] == u'\r';
        }
        fuzz::check(pane.end() == whole.size(), "every character is counted");
        const std::size_t lines = pane.endLine() - pane.firstLine();
        fuzz::check(pane.end() - pane.begin() + lines * 4 <= limit, "the bound holds");
    }
    // What is kept, once at the end: checking every line after every piece would cost
    // more than the pieces.
    const std::u16string_view kept = pane.text(0, pane.end());
    fuzz::check(kept == std::u16string_view(whole).substr(pane.begin()),
                "the newest text is kept as it came");
    fuzz::check(pane.lineStart(pane.firstLine()) == pane.begin(), "whole lines are kept");
    for (auto id = pane.firstLine(); id < pane.endLine(); ++id) {
        const std::u16string_view line = pane.line(id);
        fuzz::check(line.size() <= maxLine, "no line is longer than allowed");
        fuzz::check(pane.text(pane.lineStart(id), pane.lineStart(id) + line.size()) == line,
                    "a line is its text");
        fuzz::check(line.find(u'\n') == line.npos, "a line holds no break");
        const bool split =
            id + 1 < pane.endLine() && pane.lineStart(id + 1) == pane.lineStart(id) + line.size();
        if (split && !line.empty() && isHigh(line.back()))
            fuzz::check(pane.line(id + 1).empty() || !isLow(pane.line(id + 1)[0]),
                        "a surrogate pair stays on one line");
    }
    return 0;
}
