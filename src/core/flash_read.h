#pragma once
// Copying a file from the controller's flash disk: the Open line, then a READ line per
// "OK"; each data reply carries 20 bytes, and the digits before "ND" are the last ones
// (Done). "ERROR" Fails it, also when it comes with "ND". Either way the caller then
// closes the file on the controller (CLOSE). The size is not known in advance, so the
// progress is a count of data replies, modulo 100.

#include "exchange.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vantor::core {

class FlashRead {
public:
    static constexpr std::int32_t kProgressSpan = 100;

    explicit FlashRead(std::string_view name) : name_(name) {}

    Step open() const;
    Step onReply(std::string_view reply);

    // Data replies taken so far, modulo 100.
    std::int32_t counter() const { return counter_; }

private:
    std::string name_;
    std::int32_t counter_ = 0;
};

} // namespace vantor::core
