#pragma once
// The COM port: "Open"/"Close" with the state of its controls, "Init Port", and
// WriteCOM32, the one way a command line goes out on the port, framed by the mode of
// the "Modbus RTU" tick boxes read at each call: plain, "MDC " gateway line or RTU frame.

#include <QByteArray>
#include <QColor>
#include <QObject>

namespace vantor {

struct Terminal;
class MSComm;
class Winsock;

enum class SerialMode { Plain, Gateway, Rtu };

inline const QColor kSendGreen(0, 192, 0);

class SerialLink : public QObject {
    Q_OBJECT
public:
    SerialLink(const Terminal& terminal, MSComm& port, const Winsock& socket);

    void BTNOpenComClick();
    void Command8Click();
    void Check1Click();
    // The number of bytes written, 0 when nothing was. `line` ends in CR LF and holds
    // the bytes as written on return.
    int WriteCOM32(QByteArray& line);
    bool isOpen() const;
    SerialMode mode() const;
    void fillIndicator(const QColor& color);
    // Closes the port the way "Close" does, whatever the UDP link is doing.
    void closePort();

private:
    void openPort();
    void onDeviceGone();

    const Terminal& t_;
    MSComm& port_;
    const Winsock& socket_;
};

} // namespace vantor
