#include "serial_replies.h"

namespace vantor::core {

std::vector<std::string> SerialReplies::take(std::string_view bytes) {
    std::vector<std::string> out;
    pending_.append(bytes);
    split(false, out);
    return out;
}

std::vector<std::string> SerialReplies::flush() {
    std::vector<std::string> out;
    split(true, out);
    return out;
}

void SerialReplies::split(bool all, std::vector<std::string>& out) {
    if (afterCr_ && !pending_.empty()) {
        if (pending_.front() == '\n')
            pending_.erase(0, 1); // the LF of a CR LF whose CR ended the last reply
        afterCr_ = false;
    }
    std::size_t from = 0;
    for (std::size_t end; (end = pending_.find_first_of("\r\n", from)) != std::string::npos;) {
        if (pending_[end] == '\r') {
            if (end + 1 == pending_.size() && !all)
                break; // an LF may follow: wait for it, or for the quiet
            if (end + 1 < pending_.size() && pending_[end + 1] == '\n')
                ++end;
            else
                afterCr_ = end + 1 == pending_.size();
        }
        out.push_back(pending_.substr(from, end + 1 - from));
        from = end + 1;
    }
    pending_.erase(0, from);
    if (all && !pending_.empty()) {
        out.push_back(std::move(pending_));
        pending_.clear();
    }
}

} // namespace vantor::core
