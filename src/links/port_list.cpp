#include "links/port_list.h"
#include "shell/port_box.h"

#include <QAbstractItemView>
#include <QAction>
#include <QScrollBar>
#include <QSerialPortInfo>

#include <algorithm>

namespace vantor {

QList<PortEntry> systemPorts() {
    QList<PortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        const QString name = info.portName();
#else
        const QString name = info.systemLocation();
#endif
        ports.append({name, info.description(), info.manufacturer()});
    }
    return ports;
}

PortList::PortList(PortBox* box, PortLister lister)
    : QObject(box), box_(box), lister_(std::move(lister)) {
    setObjectName(QStringLiteral("portList"));
    completer_.setModel(&model_);
    completer_.setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    // Not the box's completer: it never acts on what is typed, only when opened.
    completer_.setWidget(box_);
    connect(
        &completer_, qOverload<const QModelIndex&>(&QCompleter::activated), this,
        [this](const QModelIndex& index) { box_->setText(index.data(Qt::UserRole).toString()); });
    auto* arrow = new QAction(tr("Serial ports of this computer"), box_);
    arrow->setObjectName(QStringLiteral("portListOpen"));
    box_->setArrowAction(arrow);
    connect(arrow, &QAction::triggered, this, &PortList::open);
}

void PortList::open() {
    model_.clear();
    for (const PortEntry& port : lister_()) {
        QString shown = port.name;
        if (!port.description.isEmpty())
            shown += QStringLiteral("  ") + port.description;
        if (!port.maker.isEmpty())
            shown += QStringLiteral(" (") + port.maker + QLatin1Char(')');
        auto* item = new QStandardItem(shown);
        item->setData(port.name, Qt::UserRole);
        item->setEditable(false);
        model_.appendRow(item);
    }
    if (model_.rowCount() == 0) {
        auto* item = new QStandardItem(tr("No serial ports found; type a name or a path"));
        item->setEnabled(false);
        model_.appendRow(item);
    }
    completer_.setCompletionPrefix(QString());
    // As wide as its longest entry, device and description, and never narrower than the box.
    QAbstractItemView* popup = completer_.popup();
    int width = popup->sizeHintForColumn(0) + 2 * popup->frameWidth();
    if (model_.rowCount() > completer_.maxVisibleItems())
        width += popup->verticalScrollBar()->sizeHint().width();
    completer_.complete(QRect(0, 0, std::max(width, box_->width()), box_->height()));
}

} // namespace vantor
