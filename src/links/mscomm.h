#pragma once
// The serial port the handlers use: 8N1 without flow control, polled rather than
// event-driven, bytes in and out one character per byte with zero bytes kept. A device
// that disappears while open (adapter pulled, pseudo-terminal closed) is reported once
// through deviceGone.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

namespace vantor {

class MSComm : public QObject {
    Q_OBJECT
public:
    explicit MSComm(QObject* parent = nullptr);

    // Port n is COMn on Windows and /dev/ttyS(n-1) elsewhere. Throws Failure for n < 1.
    void setCommPort(int n);
    // A device path used as it stands (/dev/ttyUSB0, a pseudo-terminal).
    void setDevicePath(const QString& path);
    // "115200,n,8,1"; throws Failure for a string it cannot read.
    void setSettings(const QString& settings);
    QString settings() const { return settings_; }
    // Throws Failure when the port does not exist or is busy.
    void setPortOpen(bool open);
    bool PortOpen() const { return port_.isOpen(); }
    int InBufferCount() const;
    QByteArray Input();
    // Throws Failure when the port cannot take the bytes.
    void Output(const QByteArray& bytes);

signals:
    void deviceGone();

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    QString settings_ = QStringLiteral("115200,n,8,1");
};

} // namespace vantor
