#pragma once
// vantor-sim's command line: which fronts to serve, where, and which faults to inject.

#include "sim/controller.h"
#include "sim/reply_pacer.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

namespace vantor::sim {

struct SimOptions {
    std::optional<int> exitStatus; // set: exit at once (--help, --version, a usage error)
    bool udp = true;
    bool serial = false;
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 0;
    QString serialLink; // a symbolic link to the pseudo-terminal; empty: none
    int gapMs = 60;
    int boards = 1;      // UDP boards, on consecutive addresses from `address`
    QList<int> refuseOn; // boards (from 1), or bus addresses, that refuse every line
    QList<int> silent;   // boards (from 1), or bus addresses, that never answer
    QList<int> bus;      // the addresses of the devices behind the gateway, in order
    QList<int> stallOn;  // bus addresses whose replies come front.stallMs late
    ControllerOptions controller;
    FrontOptions front;
};

// Prints the help, the version or a usage error itself.
SimOptions parseSimOptions(const QStringList& arguments);

} // namespace vantor::sim
