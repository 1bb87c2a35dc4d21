#pragma once
// Copying a file to the controller's flash disk: the Open line, then one WRITE line of
// up to 21 bytes per "OK" (the "OK" to the Open line releases the first piece), and
// after the "OK" to the last piece the transfer is Done. "ERROR" at any point Fails it.
// Either way the caller then closes the file on the controller (CLOSE).

#include "exchange.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vantor::core {

class FlashWrite {
public:
    FlashWrite(std::string data, std::string_view name);

    Step open() const;
    Step onReply(std::string_view reply);

    // 1-based index of the next byte to send; one past the total once all are out.
    std::int32_t position() const { return pos_; }
    std::int32_t total() const { return static_cast<std::int32_t>(data_.size()); }
    bool lastChunkSent() const { return lastChunk_; }

private:
    std::string data_;
    std::string name_;
    std::int32_t pos_ = 1;
    bool lastChunk_ = false;
};

} // namespace vantor::core
