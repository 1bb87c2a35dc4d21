#pragma once
// The window's side of copying a file from the controller's flash disk: the local file,
// the flags, the progress bar, the bytes the core's FlashRead decodes written as they
// come. Also the close operation ("End") that ends every flash-disk transfer.

#include "core/flash_read.h"

#include <optional>

namespace vantor {

struct Terminal;
struct Links;

class FlashReceive {
public:
    FlashReceive(const Terminal& terminal, const Links& links) : t_(terminal), links_(links) {}

    void start(); // "Recieve"
    void onReply();
    // "End", and the end of every transfer.
    void close();
    void endClicked();

private:
    const Terminal& t_;
    const Links& links_;
    std::optional<core::FlashRead> exchange_;
};

} // namespace vantor
