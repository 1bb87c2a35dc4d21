#include "links/mscomm.h"
#include "core/failure.h"

#include <QStringList>

namespace vantor {

namespace {
constexpr int kInvalidPort = 8002;
constexpr int kPortBusy = 8005;
constexpr int kPortNotOpen = 8012;
constexpr int kInvalidProperty = 380;
constexpr int kPortError = 8015;

[[noreturn]] void fail(int number, const QString& description) {
    throw core::Failure(number, description.toStdString());
}
} // namespace

MSComm::MSComm(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::errorOccurred, this, &MSComm::onError);
}

void MSComm::setCommPort(int n) {
    if (n < 1)
        fail(kInvalidPort, QStringLiteral("Invalid port number"));
#ifdef Q_OS_WIN
    port_.setPortName(QStringLiteral("COM%1").arg(n));
#else
    port_.setPortName(QStringLiteral("/dev/ttyS%1").arg(n - 1));
#endif
}

void MSComm::setDevicePath(const QString& path) {
    port_.setPortName(path);
}

void MSComm::setSettings(const QString& settings) {
    const QStringList parts = settings.split(QLatin1Char(','));
    bool ok = parts.size() == 4;
    const int baud = ok ? parts[0].trimmed().toInt(&ok) : 0;
    const QString parity = ok ? parts[1].trimmed().toLower() : QString();
    const QString data = ok ? parts[2].trimmed() : QString();
    const QString stop = ok ? parts[3].trimmed() : QString();
    const bool valid = ok && baud > 0 && parity == QLatin1String("n") &&
                       data == QLatin1String("8") && stop == QLatin1String("1");
    if (!valid)
        fail(kInvalidProperty, QStringLiteral("Invalid property value"));
    settings_ = settings;
    port_.setBaudRate(baud);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
}

void MSComm::setPortOpen(bool open) {
    if (!open) {
        port_.close();
        return;
    }
    if (port_.isOpen())
        fail(kPortBusy, QStringLiteral("Port already open"));
    if (!port_.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port_.error();
        const QString why = port_.errorString();
        port_.clearError();
        if (error == QSerialPort::DeviceNotFoundError)
            fail(kInvalidPort, QStringLiteral("Invalid port number: %1").arg(why));
        fail(kPortBusy, QStringLiteral("Port already open or not available: %1").arg(why));
    }
    // The line settings are applied again on the open device; a pseudo-terminal refuses
    // some of them (modem lines), which is harmless.
    setSettings(settings_);
    port_.clearError();
}

int MSComm::InBufferCount() const {
    return port_.isOpen() ? static_cast<int>(port_.bytesAvailable()) : 0;
}

QByteArray MSComm::Input() {
    return port_.isOpen() ? port_.readAll() : QByteArray();
}

void MSComm::Output(const QByteArray& bytes) {
    if (!port_.isOpen())
        fail(kPortNotOpen, QStringLiteral("Port not open"));
    if (port_.write(bytes) != bytes.size())
        fail(kPortError, port_.errorString());
}

void MSComm::onError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
        port_.clearError();
        if (port_.isOpen()) {
            port_.close();
            emit deviceGone();
        }
    }
}

} // namespace vantor
