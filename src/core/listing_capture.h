#pragma once
// BASIC program save: the listing command, then every reply is stored byte for byte
// until one has "OK" within its first five characters (that one is not stored). Over
// UDP a login prompt anywhere in a reply ends the capture, with what came before kept.

#include "exchange.h"
#include "protocol.h"

#include <string_view>

namespace vantor::core {

class ListingCapture {
public:
    // The listing command as the link's console expects it.
    static std::string_view command(Link link) {
        return link == Link::Udp ? kListUdp : kListSerial;
    }

    Step onReply(std::string_view reply, Link link) const;
};

} // namespace vantor::core
