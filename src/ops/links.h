#pragma once
// What an operation uses to talk to the controller and to carry out what a core exchange
// answers: both links, since a line goes out on whichever of them is up, and the pane.

#include "core/exchange.h"
#include "links/serial_link.h"
#include "links/udp_link.h"
#include "shell/terminal.h"

#include <QByteArray>

#include <string>
#include <string_view>

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

inline QByteArray wire(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Flash-disk lines (CR LF included) are shown in the console line without their CR LF,
// go out over UDP alone, and are logged.
void sendFlashLine(const Terminal& terminal, UdpLink& udp, std::string_view line);
void showOnPane(const Terminal& terminal, const core::PaneEffect& effect);
// A program download or save is over: its file closed (when `closeFile`), both flags clear.
void endProgramExchange(SharedState& state, bool closeFile);

} // namespace vantor
