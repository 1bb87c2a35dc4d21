#pragma once
// The console line: Enter sends it over whichever link is up, echoes it into the pane
// and logs it; Up and Down walk the last 32 lines.

#include <QObject>

#include <optional>
#include <string>

namespace vantor {

struct Terminal;
class UdpLink;
class SerialLink;

class Console : public QObject {
    Q_OBJECT
public:
    Console(const Terminal& terminal, UdpLink& udp, SerialLink& serial);

    void enter();
    void sendOverUdp(); // cbSendData
    void sendOverCom(); // Command6

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void recall(const std::optional<std::string>& line);
    void echo();

    const Terminal& t_;
    UdpLink& udp_;
    SerialLink& serial_;
};

} // namespace vantor
