#pragma once
// What an operation uses to talk to the controller: both links, since a line goes out
// on whichever of them is up.

#include "app/terminal.h"
#include "serial/serial_link.h"
#include "udp/udp_link.h"

#include <QByteArray>

namespace vantor {

struct Links {
    UdpLink& udp;
    SerialLink& serial;

    // Over UDP when bound, then on the COM port when open (never both are up), with the
    // indicator turned green for the port. The result of the last send is returned.
    int sendOnEither(const QByteArray& udpLine, const QByteArray& serialLine) const;
    int sendOnEither(const QByteArray& line) const { return sendOnEither(line, line); }
    bool anyOpen() const { return udp.isOpen() || serial.isOpen(); }
};

// Flash-disk lines are shown in the console line, go out over UDP alone, and are logged.
void sendFlashLine(const Terminal& terminal, UdpLink& udp, const QByteArray& line);

} // namespace vantor
