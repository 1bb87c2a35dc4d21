#include "protocol.h"

namespace vantor::core {

namespace {
bool holds(std::string_view text, std::string_view marker) {
    return text.find(marker) != std::string_view::npos;
}
} // namespace

bool matches(std::string_view reply, Reply marker) {
    switch (marker) {
    case Reply::Ok:
        return holds(reply, "OK");
    case Reply::OkNearStart:
        return holds(reply.substr(0, 5), "OK");
    case Reply::Error:
        return holds(reply, "ERROR");
    case Reply::EndOfData:
        return holds(reply, "ND");
    case Reply::Login:
        return holds(reply, "Login") || holds(reply, "Passwor");
    case Reply::Other:
        break;
    }
    return false;
}

Reply classify(std::string_view reply, std::initializer_list<Reply> order) {
    for (Reply marker : order)
        if (matches(reply, marker))
            return marker;
    return Reply::Other;
}

} // namespace vantor::core
