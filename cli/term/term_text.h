#pragma once
// What `vantor term` shows of what the board sends, and the small texts of its keys:
// plain functions and one buffer, free of the terminal and of time, so that each rule is
// a table row.

#include "core/code_page.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::cli {

// The board's bytes as lines for the screen: decoded from the code page to UTF-8, a line
// end (CR LF, CR or LF) as "\r\n", other control characters as ^X (C0) or \xNN (C1) so
// that a board can never move the cursor or change the terminal. A line is shown once it
// ends; the part of a line still open stays here until it ends or is taken with
// openPart(), so a reply cut at a datagram or serial-chunk boundary is shown whole.
class ReceivedText {
public:
    // A line that never ends is shown in parts of this many bytes, so memory stays flat.
    static constexpr std::size_t kLongest = 4096;

    explicit ReceivedText(const core::CodePage& page);

    // The lines that `bytes` complete; `stamp` goes in front of each line that starts in
    // them (empty: none).
    std::string take(std::string_view bytes, std::string_view stamp);
    // The open part of the line, as a line of its own (its end is shown when it comes);
    // empty when there is none.
    std::string openPart();
    bool hasOpenPart() const { return !open_.empty(); }

private:
    void startLine(std::string_view stamp);
    void endLine(std::string& out);

    std::array<std::string, 256> shown_; // each byte as the screen shows it
    std::string open_;                   // the shown text of the open line, stamp included
    std::size_t openBytes_ = 0;          // bytes of the board in open_
    bool lineStarted_ = false;           // a line is open
    bool partShown_ = false;             // a part of the open line is on the screen
    bool afterCr_ = false;               // an LF now ends nothing: it belongs to that CR
};

// "0D 0A 3E   |..>|": each row 16 bytes at most, as "\r\n"-ended lines.
std::string hexRows(std::string_view bytes, std::string_view stamp);

// "12:04:05.123 " for a time of day in milliseconds since midnight.
std::string clockStamp(long long msOfDay);

// The byte a --prefix-key names: "^T", "C-t", "ctrl-t" (any case; letters and @[\]^_);
// nothing for another text.
std::optional<char> prefixKey(std::string_view text);
// "Ctrl-T" for the byte 0x14.
std::string keyName(char key);

// A file name being typed: what completes it, and the names it may still become.
struct Completion {
    std::string insert;              // the text to add at the end
    std::vector<std::string> others; // two or more names that fit; empty when one or none
};
// `names` are the entries of the folder the typed text is in ("dir/" for a folder).
Completion completeName(std::string_view typed, const std::vector<std::string>& names);

} // namespace vantor::cli
