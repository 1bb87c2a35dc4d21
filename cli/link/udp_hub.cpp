#include "link/udp_hub.h"
#include "link/board_link.h"
#include "link/udp_errors.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantor::cli {

namespace {

quint64 key(quint32 address, quint16 port) {
    return quint64(address) << 16 | port;
}

constexpr int kBatch = 64;             // datagrams to a system call
constexpr int kRounds = 8;             // calls before the event loop has its turn
constexpr int kLargest = 65536;        // bytes of one datagram
constexpr int kReceiveBytes = 4 << 20; // a thousand boards answering at once, or a flood

} // namespace

std::shared_ptr<UdpHub> UdpHub::get() {
    static std::weak_ptr<UdpHub> current;
    std::shared_ptr<UdpHub> hub = current.lock();
    if (!hub) {
        hub.reset(new UdpHub);
        current = hub;
    }
    return hub;
}

UdpHub::UdpHub() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return;
    }
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &kReceiveBytes, sizeof kReceiveBytes);
    keepSendErrors(fd_);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &UdpHub::read);
}

UdpHub::~UdpHub() {
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

bool UdpHub::add(UdpBoardLink* link, quint32 address, quint16 port) {
    UdpBoardLink*& there = boards_[key(address, port)];
    if (there && there != link)
        return false;
    there = link;
    atAddress_[address].append(link);
    return true;
}

void UdpHub::remove(UdpBoardLink* link, quint32 address, quint16 port) {
    if (boards_.value(key(address, port)) == link)
        boards_.remove(key(address, port));
    const auto there = atAddress_.find(address);
    if (there != atAddress_.end() && there->removeAll(link) > 0 && there->isEmpty())
        atAddress_.erase(there);
}

// While a batch is read, the lines the boards' answers release wait to leave together; a
// datagram the system refuses is then a lost one, which the board's time-out takes care
// of as it does of any other.
bool UdpHub::send(const QByteArray& datagram, quint32 address, quint16 port) {
    outbox_.push_back({datagram, address, port});
    if (reading_)
        return true;
    flush();
    return sentLast_;
}

void UdpHub::flush() {
    std::size_t at = 0;
    while (at < outbox_.size()) {
        mmsghdr messages[kBatch];
        iovec io[kBatch];
        sockaddr_in to[kBatch];
        const int n = int(std::min<std::size_t>(kBatch, outbox_.size() - at));
        for (int i = 0; i < n; ++i) {
            const Outgoing& o = outbox_[at + std::size_t(i)];
            to[i] = {};
            to[i].sin_family = AF_INET;
            to[i].sin_port = htons(o.port);
            to[i].sin_addr.s_addr = htonl(o.address);
            io[i] = {const_cast<char*>(o.datagram.constData()), std::size_t(o.datagram.size())};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &to[i];
            messages[i].msg_hdr.msg_namelen = sizeof to[i];
            messages[i].msg_hdr.msg_iov = &io[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int sent = ::sendmmsg(fd_, messages, unsigned(n), 0);
        if (sent < 0 && (errno == EINTR || errno == ECONNREFUSED))
            continue; // ECONNREFUSED: an earlier datagram's error, now heard; send again
        // A datagram the system would not take is skipped: it is lost as on the wire.
        sentLast_ = sent > 0;
        at += std::size_t(sent > 0 ? sent : 1);
    }
    outbox_.clear();
}

// What is waiting, many datagrams to a call, but a few calls at most before the event loop
// has its turn again: under a flood the keys and the screen must not wait for the socket
// to run dry. The system's word on datagrams sent (a port unreachable) goes to the board
// it concerns.
void UdpHub::read() {
    static thread_local std::vector<char> buffer(std::size_t(kBatch) * kLargest);
    mmsghdr messages[kBatch];
    iovec io[kBatch];
    sockaddr_in from[kBatch];
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kBatch; ++i) {
            io[i] = {buffer.data() + std::size_t(i) * kLargest, std::size_t(kLargest)};
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &io[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_name = &from[i];
            messages[i].msg_hdr.msg_namelen = sizeof from[i];
        }
        const int n = ::recvmmsg(fd_, messages, kBatch, MSG_DONTWAIT, nullptr);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            for (const auto& [address, port] : takeUnreachable(fd_))
                if (UdpBoardLink* link = boards_.value(key(address, port)))
                    link->portUnreachable();
            continue;
        }
        if (n <= 0)
            return;
        reading_ = true;
        for (int i = 0; i < n; ++i)
            deliver(ntohl(from[i].sin_addr.s_addr), ntohs(from[i].sin_port),
                    QByteArray(static_cast<const char*>(io[i].iov_base),
                               qsizetype(messages[i].msg_len)));
        reading_ = false;
        flush();
        if (n < kBatch)
            return;
    }
}

void UdpHub::deliver(quint32 address, quint16 port, const QByteArray& datagram) {
    UdpBoardLink* link = boards_.value(key(address, port));
    if (!link) {
        const QList<UdpBoardLink*> there = atAddress_.value(address);
        if (there.size() != 1)
            return; // from an address of no board, or of several: nobody's
        link = there.front();
    }
    link->deliver(datagram);
}

} // namespace vantor::cli
