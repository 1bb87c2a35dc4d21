#include "ops/links.h"

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

void sendFlashLine(const Terminal& t, UdpLink& udp, std::string_view line) {
    const QByteArray bytes = wire(line);
    t.setConsole(bytes.chopped(2));
    t.state.SendResult = udp.UDP_Send(bytes);
    t.log.logText(bytes);
}

void showOnPane(const Terminal& t, const core::PaneEffect& effect) {
    switch (effect.kind) {
    case core::PaneEffect::Kind::Append:
        t.pane.append(wire(effect.text));
        break;
    case core::PaneEffect::Kind::Replace:
        t.pane.replace(wire(effect.text));
        break;
    case core::PaneEffect::Kind::None:
        break;
    }
}

void endProgramExchange(SharedState& s, bool closeFile) {
    if (closeFile)
        s.BasFile.close();
    s.DownloadActive = 0;
    s.ListActive = 0;
}

} // namespace vantor
