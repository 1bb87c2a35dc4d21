#include "links.h"

namespace vantor {

int Links::sendOnEither(const QByteArray& udpLine, const QByteArray& serialLine) const {
    int result = udp.UDP_Send(udpLine);
    if (serial.isOpen()) {
        serial.fillIndicator(kSendGreen);
        QByteArray framed = serialLine;
        result = serial.WriteCOM32(framed);
    }
    return result;
}

void sendFlashLine(const Terminal& t, UdpLink& udp, const QByteArray& line) {
    t.setConsole(line);
    t.state.SendResult = udp.UDP_Send(line + "\r\n");
    t.log.logLine(line);
}

} // namespace vantor
