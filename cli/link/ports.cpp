#include "link/ports.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>

#include <array>
#include <cstdio>

namespace vantor::cli {

QString portTable(const QList<PortRow>& ports) {
    if (ports.isEmpty())
        return {};
    const std::array<QString PortRow::*, 4> fields{&PortRow::name, &PortRow::description,
                                                   &PortRow::maker, &PortRow::serial};
    const std::array<const char*, 4> headers{"PORT", "DESCRIPTION", "MAKER", "SERIAL"};
    QList<std::size_t> shown;
    QList<qsizetype> widths;
    for (std::size_t c = 0; c < fields.size(); ++c) {
        qsizetype width = 0;
        for (const PortRow& port : ports)
            width = std::max(width, (port.*fields[c]).size());
        if (width == 0 && c > 0) // the name is never left out
            continue;
        shown.append(c);
        widths.append(std::max(width, qsizetype(qstrlen(headers[c]))));
    }
    const auto line = [&](auto cell) {
        QString text;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const QString value = cell(shown[i]);
            text += i + 1 < shown.size() ? value.leftJustified(widths[i] + 2) : value;
        }
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        return text + QLatin1Char('\n');
    };
    QString table = line([&](std::size_t c) { return QString::fromLatin1(headers[c]); });
    for (const PortRow& port : ports)
        table += line([&](std::size_t c) { return port.*fields[c]; });
    return table;
}

int listPorts(bool json) {
    QList<PortRow> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append(
            {info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    if (ports.isEmpty()) {
        std::fputs("no serial ports found\n", stderr);
        return 0;
    }
    if (!json) {
        std::fputs(portTable(ports).toUtf8().constData(), stdout);
        return 0;
    }
    for (const PortRow& port : ports) {
        const QJsonObject object{{"name", port.name},
                                 {"description", port.description},
                                 {"maker", port.maker},
                                 {"serial", port.serial}};
        std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).append('\n').constData(),
                   stdout);
    }
    return 0;
}

} // namespace vantor::cli
