#include "sim/udp_boards.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantor::sim {

namespace {

constexpr int kBatch = 64;
constexpr int kLargest = 2048; // a command line is short

bool delayOnly(const FrontOptions& f) {
    return f.dropEvery == 0 && f.dropRate == 0 && f.stallEvery == 0 && f.stallAt == 0 &&
           f.stallRate == 0 && f.otherPortEvery == 0 && f.otherPortRate == 0 && !f.crOnly;
}

} // namespace

UdpBoards::UdpBoards(const BoardsOptions& o)
    : first_(o.first.toIPv4Address()), delayOnly_(delayOnly(o.front)),
      delayMs_(o.front.replyDelayMs) {
    for (int n = 1; n <= o.count; ++n) {
        ControllerOptions c = o.controller;
        c.name = QHostAddress(first_ + quint32(n - 1)).toString().toStdString();
        c.flashDir /= c.name;
        c.refuseAll = o.refuseOn.contains(n);
        FrontOptions f = o.front;
        f.splitMs = 0; // a datagram is never cut
        boards_.push_back({std::make_unique<Controller>(c),
                           delayOnly_ ? nullptr : std::make_unique<ReplyPacer>(f, 0),
                           o.silent.contains(n)});
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(o.port);
    socklen_t size = sizeof any;
    const int on = 1, bytes = 8 << 20;
    if (fd_ < 0 || ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&any), &size) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return;
    }
    port_ = ntohs(any.sin_port);
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &UdpBoards::read);
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer); // a 5 ms delay, not 5 ms and a coarse slack
    connect(&timer_, &QTimer::timeout, this, &UdpBoards::release);
}

UdpBoards::~UdpBoards() {
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

QHostAddress UdpBoards::last() const {
    return QHostAddress(first_ + quint32(boards_.size() - 1));
}

// Many datagrams to a call, each with the address it was sent to.
void UdpBoards::read() {
    static std::vector<char> buffer(std::size_t(kBatch) * kLargest);
    mmsghdr messages[kBatch];
    iovec io[kBatch];
    sockaddr_in from[kBatch];
    alignas(cmsghdr) char control[kBatch][CMSG_SPACE(sizeof(in_pktinfo))];
    for (int n = kBatch; n == kBatch;) {
        for (int i = 0; i < kBatch; ++i) {
            io[i] = {buffer.data() + std::size_t(i) * kLargest, std::size_t(kLargest)};
            messages[i] = {};
            messages[i].msg_hdr = {&from[i],   sizeof from[i],    &io[i], 1,
                                   control[i], sizeof control[i], 0};
        }
        n = ::recvmmsg(fd_, messages, kBatch, MSG_DONTWAIT, nullptr);
        for (int i = 0; i < n; ++i) {
            msghdr& m = messages[i].msg_hdr;
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO)
                    continue;
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                const quint32 to = ntohl(info.ipi_addr.s_addr);
                if (to - first_ < boards_.size()) // else not to one of these boards
                    handle(to, ntohl(from[i].sin_addr.s_addr), ntohs(from[i].sin_port),
                           QByteArray(static_cast<char*>(io[i].iov_base), messages[i].msg_len));
            }
        }
    }
}

void UdpBoards::handle(quint32 to, quint32 from, quint16 fromPort, QByteArray line) {
    Board& board = boards_[to - first_];
    if (line.endsWith("\r\n"))
        line.chop(2);
    else if (line.endsWith('\n'))
        line.chop(1);
    const std::vector<std::string> replies = board.controller->handleLine(
        std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
    if (board.silent)
        return;
    if (board.pacer) {
        QList<QByteArray> texts;
        for (const std::string& reply : replies)
            texts.append(QByteArray::fromStdString(reply));
        board.pacer->post(texts, [this, to, from, fromPort](const QByteArray& reply, bool) {
            sendFrom(to, from, fromPort, reply);
        });
        return;
    }
    for (const std::string& reply : replies)
        due_.push_back(
            {clock_.elapsed() + delayMs_, to, from, fromPort, QByteArray::fromStdString(reply)});
    if (!timer_.isActive())
        release();
}

// The replies that are due, many datagrams to a call.
void UdpBoards::release() {
    const qint64 now = clock_.elapsed();
    while (!due_.empty() && due_.front().at <= now) {
        mmsghdr messages[kBatch];
        iovec io[kBatch];
        sockaddr_in to[kBatch];
        alignas(cmsghdr) char control[kBatch][CMSG_SPACE(sizeof(in_pktinfo))];
        int n = 0;
        for (; n < kBatch && n < int(due_.size()) && due_[std::size_t(n)].at <= now; ++n)
            address(messages[n], io[n], to[n], control[n], due_[std::size_t(n)]);
        const int sent = ::sendmmsg(fd_, messages, unsigned(n), 0);
        if (sent < 0 && errno == EINTR)
            continue;
        // What the system would not take is lost, as on the wire.
        due_.erase(due_.begin(), due_.begin() + std::max(sent, 1));
    }
    if (!due_.empty())
        timer_.start(int(due_.front().at - now));
}

// A reply's message, leaving from the board's own address.
void UdpBoards::address(mmsghdr& m, iovec& io, sockaddr_in& to, char* control, const Due& d) {
    to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(d.toPort);
    to.sin_addr.s_addr = htonl(d.to);
    io = {const_cast<char*>(d.bytes.constData()), std::size_t(d.bytes.size())};
    m = {};
    m.msg_hdr = {&to, sizeof to, &io, 1, control, CMSG_SPACE(sizeof(in_pktinfo)), 0};
    cmsghdr* c = CMSG_FIRSTHDR(&m.msg_hdr);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(d.from);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
}

// One reply at once (a board with faults beyond a delay paces its own).
void UdpBoards::sendFrom(quint32 from, quint32 to, quint16 port, const QByteArray& bytes) {
    mmsghdr message;
    iovec io;
    sockaddr_in target;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    address(message, io, target, control, {0, from, to, port, bytes});
    ::sendmsg(fd_, &message.msg_hdr, 0);
}

} // namespace vantor::sim
