#pragma once
// The replies in a serial byte stream (plain and gateway framing): a reply ends at a line
// end, CR or LF, the LF of a CR LF pair staying with its CR; or when no byte has come for
// kQuietMs, the window's poll period, so that a board that ends its lines with CR alone,
// or not at all, is heard too.

#include <string>
#include <string_view>
#include <vector>

namespace vantor::core {

class SerialReplies {
public:
    static constexpr int kQuietMs = 20;

    // Bytes as they came; the replies they complete.
    std::vector<std::string> take(std::string_view bytes);
    // The port has been quiet for kQuietMs: what is pending is a reply too.
    std::vector<std::string> flush();
    // Bytes wait for a line end or for the quiet.
    bool pending() const { return !pending_.empty(); }

private:
    void split(bool all, std::vector<std::string>& out);

    std::string pending_;
    bool afterCr_ = false; // the last reply ended in CR: an LF that follows belongs to it
};

} // namespace vantor::core
