#pragma once
// What the system says of datagrams sent to a board: on Linux a socket can be told to keep
// the ICMP errors that answer them, so that "nothing listens on that port" is heard even on
// a socket that is not connected (and so also takes answers from the board's other ports).
// Elsewhere nothing is heard, and a closed port is just silence.

#include <QHostAddress>
#include <QtGlobal>

namespace vantor::cli {

// Asks the system to keep the errors of the socket `fd`.
void keepSendErrors(qintptr fd);
// Takes the errors kept for `fd`; true when one of them says that the port `port` of
// `address` was unreachable.
bool takePortUnreachable(qintptr fd, const QHostAddress& address, quint16 port);

} // namespace vantor::cli
