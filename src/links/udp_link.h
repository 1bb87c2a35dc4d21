#pragma once
// Binding the UDP socket to the controller ("Connect", "Disconnect"), the link's two
// looks, and UDP_Send, the one way a command line goes out over UDP: plain, or wrapped
// as an "MDC " line for the controller's Modbus gateway when Check2 is ticked.

#include <QByteArray>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QString>
#include <QStringList>

namespace vantor {

struct Terminal;
class MSComm;
class Winsock;

class UdpLink : public QObject {
    Q_OBJECT
public:
    UdpLink(const Terminal& terminal, Winsock& socket, const MSComm& port);

    void Connect();
    void Disconnect();
    void InitPort();
    void Check2Click();
    // 1 when the line was handed to the socket, 0 when nothing was sent.
    int UDP_Send(const QByteArray& line);
    bool isOpen() const;

    // The command that clears the system's ARP cache on "Connect"; started detached and
    // never waited for. An empty program starts nothing.
    void setArpCommand(const QString& program, const QStringList& arguments);

signals:
    // A "Connect" that had to look up a host name has finished, bound or not.
    void connectFinished();

private:
    void clearArpCache();
    void onLookedUp(const QHostInfo& info);
    void bindTo(const QHostAddress& host);
    void recover();
    void setLook(bool bound);

    const Terminal& t_;
    Winsock& socket_;
    const MSComm& port_;
    QString arpProgram_;
    QStringList arpArguments_;
    int lookupId_ = -1;
};

} // namespace vantor
