#pragma once
// `vantor ports`: the serial ports this computer has, as a table with a header and only
// the columns that say something, or one JSON object per port.

#include <QList>
#include <QString>

namespace vantor::cli {

struct PortRow {
    QString name, description, maker, serial;
};

// The table, one line per port; empty when there is no port.
QString portTable(const QList<PortRow>& ports);
// Prints the ports present; returns the exit status.
int listPorts(bool json);

} // namespace vantor::cli
