#include "pane_text.h"

#include <algorithm>

namespace vantor::core {

namespace {
// What a line costs beyond its characters, in characters: its entry in the index.
constexpr std::size_t kLineCost = 4;

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
} // namespace

PaneText::PaneText(std::size_t limit, std::size_t maxLine)
    : limit_(std::max<std::size_t>(limit, 16)),
      maxLine_(std::clamp<std::size_t>(maxLine, 2, limit_ / 4)) {}

void PaneText::newLine() {
    starts_.push_back(end());
}

void PaneText::append(std::u16string_view text) {
    compact();
    if (endsWithCr_ && !text.empty()) {
        endsWithCr_ = false;
        if (text.front() == u'\n')
            text.remove_prefix(1); // that LF closes the CR LF; a further one is a break
    }
    while (!text.empty()) {
        const std::size_t run = std::min(text.find_first_of(u"\r\n"), text.size());
        std::u16string_view chars = text.substr(0, run);
        while (!chars.empty()) {
            std::size_t room = maxLine_ - std::min<std::size_t>(end() - starts_.back(), maxLine_);
            if (room == 0) {
                newLine();
                room = maxLine_;
            }
            std::size_t take = std::min(room, chars.size());
            // A surrogate pair is never split: the first half never takes the last place
            // of a line, also when the second comes with the next piece of text.
            if (take == room && isHighSurrogate(chars[take - 1]) && --take == 0) {
                newLine();
                continue;
            }
            buf_.append(chars.substr(0, take));
            chars.remove_prefix(take);
        }
        if (run == text.size())
            break;
        buf_.push_back(u'\n');
        newLine();
        const bool crLf = text[run] == u'\r' && run + 1 < text.size() && text[run + 1] == u'\n';
        endsWithCr_ = text[run] == u'\r' && run + 1 == text.size();
        text.remove_prefix(run + (crLf ? 2 : 1));
    }
    trim();
}

void PaneText::trim() {
    const auto kept = [this] { return (end() - begin()) + starts_.size() * kLineCost; };
    if (kept() <= limit_)
        return;
    // Down to 7/8 of the bound, so that dropping is not done again at every append.
    const std::size_t target = limit_ - limit_ / 8;
    while (starts_.size() > 1 && kept() > target) {
        starts_.pop_front();
        ++firstLine_;
    }
}

void PaneText::compact() {
    // Dropped text is cut from the buffer once it is as long as what is kept, so that
    // every character is moved at most once on average. Cut at the next append, not at
    // once, so that what an append dropped can still be told.
    const std::size_t cut = begin() - base_;
    if (cut > 0 && cut >= buf_.size() - cut) {
        buf_.erase(0, cut);
        base_ = begin();
    }
}

std::u16string_view PaneText::droppedSince(std::uint64_t from) const {
    from = std::clamp(from, base_, begin());
    return std::u16string_view(buf_).substr(from - base_, begin() - from);
}

void PaneText::replace(std::u16string_view text) {
    clear();
    append(text);
}

void PaneText::clear() {
    // Offsets go on from where they were, so that nothing held on to the old text can
    // point into the new.
    base_ = end();
    buf_.clear();
    firstLine_ = endLine();
    starts_.assign(1, base_);
    endsWithCr_ = false;
}

std::u16string_view PaneText::text(std::uint64_t from, std::uint64_t to) const {
    from = std::clamp(from, begin(), end());
    to = std::clamp(to, from, end());
    return std::u16string_view(buf_).substr(from - base_, to - from);
}

std::u16string_view PaneText::line(std::uint64_t id) const {
    const std::uint64_t start = lineStart(id);
    std::uint64_t stop = end();
    if (id + 1 < endLine()) {
        stop = lineStart(id + 1);
        if (buf_[stop - 1 - base_] == u'\n')
            --stop; // a break, not a split of a long line
    }
    return std::u16string_view(buf_).substr(start - base_, stop - start);
}

std::uint64_t PaneText::lineAt(std::uint64_t offset) const {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    return firstLine_ + std::uint64_t(std::max<std::ptrdiff_t>(after - starts_.begin() - 1, 0));
}

} // namespace vantor::core
