#include "flash_read.h"
#include "flash_lines.h"
#include "protocol.h"

namespace vantor::core {

Step FlashRead::open() const {
    return sending(openReadLine(name_));
}

Step FlashRead::onReply(std::string_view reply) {
    Step step;
    switch (classify(reply, {Reply::Error, Reply::EndOfData, Reply::Ok})) {
    case Reply::Error:
        step.outcome = Outcome::Failed;
        break;
    case Reply::EndOfData:
        step.store = decodeEndOfData(reply);
        step.progress = kProgressSpan;
        step.outcome = Outcome::Done;
        break;
    case Reply::Ok:
        step = sending(std::string(kReadLine));
        break;
    default:
        // A data reply always adds 20 bytes, however short or malformed.
        step.store = decodeDataReply(reply);
        counter_ = (counter_ + 1) % kProgressSpan;
        step.progress = counter_;
        break;
    }
    return step;
}

} // namespace vantor::core
