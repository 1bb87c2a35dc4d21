#pragma once
// The serial ports the system lists, offered under the port box: the box's arrow opens
// the list afresh (ports come and go), and picking one puts its name in the box. Typing a
// name or a path by hand works as before: the typed text is never changed.

#include <QCompleter>
#include <QList>
#include <QObject>
#include <QStandardItemModel>
#include <QString>

#include <functional>

namespace vantor {

class PortBox;

struct PortEntry {
    QString name; // what goes in the box: a device path, or COMn on Windows
    QString description;
    QString maker;
};
using PortLister = std::function<QList<PortEntry>()>;

// What QSerialPortInfo lists: /dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS* with a device behind
// it, COMn on Windows.
QList<PortEntry> systemPorts();

class PortList : public QObject {
    Q_OBJECT
public:
    PortList(PortBox* box, PortLister lister);

    // Lists the ports now and opens the list under the box.
    void open();
    QStandardItemModel& model() { return model_; }
    QCompleter& completer() { return completer_; }

private:
    PortBox* box_;
    PortLister lister_;
    QStandardItemModel model_;
    QCompleter completer_;
};

} // namespace vantor
