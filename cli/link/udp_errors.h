#pragma once
// What the system says of datagrams sent to a board: on Linux a socket can be told to keep
// the ICMP errors that answer them, so that "nothing listens on that port" is heard even on
// a socket that is not connected (and so also takes answers from the board's other ports).
// Elsewhere nothing is heard, and a closed port is just silence.

#include <QtGlobal>

#include <utility>
#include <vector>

namespace vantor::cli {

// Asks the system to keep the errors of the socket `fd`.
void keepSendErrors(qintptr fd);
// Takes the errors kept for `fd`: the IPv4 addresses and ports that were unreachable.
std::vector<std::pair<quint32, quint16>> takeUnreachable(qintptr fd);

} // namespace vantor::cli
