#pragma once
// The text of the receive pane: the newest lines received, within a bound. A board left
// printing for days must not fill memory, so the oldest lines are dropped whole once the
// bound is reached; the log keeps every byte. The text is held as lines of UTF-16 in one
// buffer, so that a view lays out only the lines it shows.
//
// Offsets count characters from the first one ever appended, a line break counting as
// one. They never go back, not even when lines are dropped or the text is replaced, so
// a view's selection and caret keep pointing at the same text.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace vantor::core {

class PaneText {
public:
    // 8 Mi characters: 16 MiB of text, plus what the line index costs.
    static constexpr std::size_t kDefaultLimit = 8u << 20;
    // A longer line goes on in a stored line of its own, so that no single line makes a
    // view lay out megabytes; the split is no break, and copied text has none there.
    static constexpr std::size_t kDefaultMaxLine = 4096;

    explicit PaneText(std::size_t limit = kDefaultLimit, std::size_t maxLine = kDefaultMaxLine);

    // CR, LF and CR LF are each one line break, also when a CR LF is split between two
    // calls. Every other character is kept as it is.
    void append(std::u16string_view text);
    void replace(std::u16string_view text);
    void clear();

    std::uint64_t begin() const { return starts_.front(); }
    std::uint64_t end() const { return base_ + buf_.size(); }
    // The text between two offsets, clamped to what is kept; line breaks as '\n'.
    std::u16string_view text(std::uint64_t from, std::uint64_t to) const;

    // Stored lines are numbered like offsets: from firstLine() to endLine(), exclusive.
    // There is always at least one, the open line the next text goes into.
    std::uint64_t firstLine() const { return firstLine_; }
    std::uint64_t endLine() const { return firstLine_ + starts_.size(); }
    std::uint64_t lineStart(std::uint64_t line) const { return starts_[line - firstLine_]; }
    // Without its break.
    std::u16string_view line(std::uint64_t line) const;
    // The line that holds the character at `offset` (clamped to what is kept).
    std::uint64_t lineAt(std::uint64_t offset) const;
    // What the last append dropped from `from` on, to tell a screen reader what went.
    std::u16string_view droppedSince(std::uint64_t from) const;

private:
    void newLine();
    void trim();
    void compact();

    std::size_t limit_;
    std::size_t maxLine_;
    std::u16string buf_;
    std::uint64_t base_ = 0; // offset of buf_[0]; text before begin() is dropped, not yet cut
    std::deque<std::uint64_t> starts_{0};
    std::uint64_t firstLine_ = 0;
    bool endsWithCr_ = false;
};

} // namespace vantor::core
