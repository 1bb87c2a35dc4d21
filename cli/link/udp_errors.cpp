#include "link/udp_errors.h"

#include <cerrno>

#ifdef Q_OS_LINUX
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace vantor::cli {

#ifdef Q_OS_LINUX

void keepSendErrors(qintptr fd) {
    const int on = 1;
    ::setsockopt(int(fd), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
}

std::vector<std::pair<quint32, quint16>> takeUnreachable(qintptr fd) {
    std::vector<std::pair<quint32, quint16>> unreachable;
    for (;;) {
        char data[512];
        char control[512];
        sockaddr_in to{};
        iovec io{data, sizeof data};
        msghdr message{};
        message.msg_name = &to;
        message.msg_namelen = sizeof to;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(int(fd), &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            break;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                continue;
            const auto* error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
            // msg_name is where the datagram that failed was going.
            if (error->ee_origin == SO_EE_ORIGIN_ICMP && error->ee_errno == ECONNREFUSED)
                unreachable.emplace_back(ntohl(to.sin_addr.s_addr), ntohs(to.sin_port));
        }
    }
    // A pending error would make the next send fail; it has been heard, so clear it.
    int pending = 0;
    socklen_t size = sizeof pending;
    ::getsockopt(int(fd), SOL_SOCKET, SO_ERROR, &pending, &size);
    return unreachable;
}

#else

void keepSendErrors(qintptr) {}

std::vector<std::pair<quint32, quint16>> takeUnreachable(qintptr) {
    return {};
}

#endif

} // namespace vantor::cli
