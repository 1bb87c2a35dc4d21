#pragma once
// The window's side of a BASIC program save: the .bas file created, the listing command
// sent on the link that is up, and every answer the core's ListingCapture keeps written
// to the file byte for byte.

#include "core/listing_capture.h"

namespace vantor {

struct Terminal;
struct Links;

class ProgramSave {
public:
    ProgramSave(const Terminal& terminal, const Links& links) : t_(terminal), links_(links) {}

    void start(); // "Save Programm"
    void onUdpReply() { takeAnswer(core::Link::Udp); }
    void onSerialReply() { takeAnswer(core::Link::Serial); }

private:
    void takeAnswer(core::Link link);

    const Terminal& t_;
    const Links& links_;
    core::ListingCapture exchange_;
};

} // namespace vantor
