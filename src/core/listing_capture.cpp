#include "listing_capture.h"

namespace vantor::core {

Step ListingCapture::onReply(std::string_view reply, Link link) const {
    Step step;
    const Reply kind = link == Link::Udp ? classify(reply, {Reply::Login, Reply::OkNearStart})
                                         : classify(reply, {Reply::OkNearStart});
    if (kind == Reply::Login) {
        step.pane = {PaneEffect::Kind::Append, std::string(kAccessDenied)};
        step.outcome = Outcome::Denied;
    } else if (kind == Reply::OkNearStart) {
        step.pane = {PaneEffect::Kind::Replace, std::string(kLoadCompleted)};
        step.outcome = Outcome::Done;
    } else {
        step.store = std::string(reply);
        step.pane = {PaneEffect::Kind::Replace,
                     std::string(kLoadData) + step.store + std::string(kLineEnd)};
    }
    return step;
}

} // namespace vantor::core
