#include "flash_write.h"
#include "flash_lines.h"
#include "protocol.h"

namespace vantor::core {

FlashWrite::FlashWrite(std::string data, std::string_view name)
    : data_(std::move(data)), name_(name) {}

Step FlashWrite::open() const {
    return sending(openWriteLine(name_));
}

Step FlashWrite::onReply(std::string_view reply) {
    Step step;
    switch (classify(reply, {Reply::Error, Reply::Ok})) {
    case Reply::Error:
        step.outcome = Outcome::Failed;
        return step;
    case Reply::Ok:
        break;
    default:
        return step; // neither marker: still waiting
    }
    if (lastChunk_) {
        step.outcome = Outcome::Done;
        return step;
    }
    // The piece is 21 bytes unless the rest of the file is shorter; an empty file goes
    // out as one WRITE line without digits.
    const auto start = static_cast<std::size_t>(pos_ - 1);
    std::size_t count = kFlashPiece;
    if (start + kFlashPiece >= data_.size()) {
        count = data_.size() - start;
        lastChunk_ = true;
    }
    step.send = writeLine(std::string_view(data_).substr(start, count)) + std::string(kLineEnd);
    pos_ += static_cast<std::int32_t>(count);
    step.progress = pos_;
    return step;
}

} // namespace vantor::core
