#include "sim/pty_front.h"

#include "core/crc16.h"
#include "core/framing.h"
#include "core/rtu_reassembly.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <util.h>
#elif defined(__FreeBSD__)
#include <libutil.h>
#else
#include <pty.h>
#endif

namespace vantor::sim {

namespace {

// How often to look again for a terminal once the slave has been hung up.
constexpr int kResumeMs = 100;
// An RTU frame that stops short is given up after this silence, as the terminal does.
constexpr int kStaleMs = 100;

bool printable(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u <= 0x7E;
}

QByteArray toBytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string withoutLineEnd(std::string line) {
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        line.resize(line.size() - 2);
    else if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

void addFlags(int fd, int getCmd, int setCmd, int flags) {
    const int old = ::fcntl(fd, getCmd);
    if (old >= 0)
        ::fcntl(fd, setCmd, old | flags);
}

} // namespace

PtyFront::PtyFront(Controller& controller, FrontOptions options, int gapMs, QObject* parent)
    : PtyFront(std::make_unique<Bus>(controller), nullptr, options, gapMs, parent) {}

PtyFront::PtyFront(Bus& bus, FrontOptions options, int gapMs, QObject* parent)
    : PtyFront(nullptr, &bus, options, gapMs, parent) {}

PtyFront::PtyFront(std::unique_ptr<Bus> own, Bus* bus, FrontOptions options, int gapMs,
                   QObject* parent)
    : QObject(parent), ownBus_(std::move(own)), bus_(bus ? *bus : *ownBus_), options_(options),
      pacer_(options, gapMs) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        master_ = slave_ = -1;
        return;
    }
    // Raw, so that the line discipline neither echoes nor edits what the terminal sends.
    termios settings{};
    if (::tcgetattr(slave_, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(slave_, TCSANOW, &settings);
    }
    char name[256] = {};
    if (::ttyname_r(slave_, name, sizeof name) == 0)
        slavePath_ = QString::fromLocal8Bit(name);
    addFlags(master_, F_GETFL, F_SETFL, O_NONBLOCK);
    addFlags(master_, F_GETFD, F_SETFD, FD_CLOEXEC);
    addFlags(slave_, F_GETFD, F_SETFD, FD_CLOEXEC);
    // slave_ stays open here: without it every close of the port by the terminal would
    // hang up the master until the next open.

    readNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &PtyFront::readMaster);
    writeNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &PtyFront::flushOutput);

    resumeTimer_.setSingleShot(true);
    resumeTimer_.setInterval(kResumeMs);
    connect(&resumeTimer_, &QTimer::timeout, this, [this] { readNotifier_->setEnabled(true); });
    staleTimer_.setSingleShot(true);
    staleTimer_.setInterval(kStaleMs);
    connect(&staleTimer_, &QTimer::timeout, this, &PtyFront::giveUp);
}

PtyFront::~PtyFront() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
}

void PtyFront::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            input_.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // EIO: nobody holds the slave. The notifier would fire without end, so rest it and
        // look again later; the terminal may open the port anew.
        readNotifier_->setEnabled(false);
        resumeTimer_.start();
        input_.clear();
        return;
    }
    handleInput();
}

// What stands at the front of the input: a frame is known by its shape and its CRC,
// whatever its address; one with a wrong CRC counts as a frame only when its address is
// no printable character (it is then dropped as such), otherwise it is text.
PtyFront::Front PtyFront::front() const {
    if (options_.rtu)
        return Front::Frame;
    if (input_.size() < 2 || input_[1] != core::kRtuFunction)
        return Front::Text;
    if (input_.size() < 3)
        return Front::Unfinished;
    const std::size_t size = static_cast<unsigned char>(input_[2]) + std::size_t{5};
    if (input_.size() < size)
        return Front::Unfinished;
    const bool good = core::crc16Value(std::string_view(input_).substr(0, size)) == 0;
    return good || !printable(input_[0]) ? Front::Frame : Front::Text;
}

void PtyFront::handleInput() {
    while (!input_.empty()) {
        const Front kind = front();
        if (kind == Front::Unfinished) {
            staleTimer_.start();
            return;
        }
        if (kind == Front::Frame) {
            const auto address = static_cast<unsigned char>(input_[0]);
            core::RtuStep step = core::takeRtuFrame(input_);
            if (step.kind == core::RtuStep::Kind::Incomplete) {
                staleTimer_.start();
                return;
            }
            if (step.kind == core::RtuStep::Kind::Good)
                handleRtuCommand(address, std::move(step.data));
            continue;
        }
        // No line end yet: the rest of the line is still coming.
        if (!takeLine()) {
            staleTimer_.start();
            return;
        }
    }
    staleTimer_.stop();
}

bool PtyFront::takeLine() {
    const std::size_t end = input_.find('\n');
    if (end == std::string::npos)
        return false;
    std::string line = input_.substr(0, end + 1);
    input_.erase(0, end + 1);
    handleTextCommand(std::move(line));
    return true;
}

void PtyFront::giveUp() {
    // Quiet for a while: an unfinished frame or line is dropped, but a whole line that
    // only began like a frame is text after all.
    if (takeLine())
        handleInput();
    else
        input_.clear();
}

void PtyFront::handleRtuCommand(unsigned char address, std::string data) {
    std::optional<BusAnswer> answer = bus_.handleRtu(address, withoutLineEnd(std::move(data)));
    if (!answer)
        return;
    const std::string addressText = std::to_string(address);
    QList<QByteArray> bursts;
    for (std::string& reply : answer->replies) {
        if (options_.crOnly) // in the text the frames carry, not in the frames
            for (std::size_t at; (at = reply.find("\r\n")) != std::string::npos;)
                reply.erase(at + 1, 1);
        bursts.append(toBytes(rtuReplyFrames(addressText, reply)));
    }
    post(bursts, false, answer->late);
}

void PtyFront::handleTextCommand(std::string line) {
    const std::optional<BusAnswer> answer = bus_.handleText(withoutLineEnd(std::move(line)));
    if (!answer)
        return;
    QList<QByteArray> bursts;
    for (const std::string& reply : answer->replies)
        bursts.append(toBytes(reply));
    post(bursts, true, answer->late);
}

void PtyFront::post(const QList<QByteArray>& bursts, bool text, bool late) {
    pacer_.post(
        bursts, [this](const QByteArray& bytes, bool) { send(bytes); }, text,
        late ? options_.stallMs : 0);
}

void PtyFront::send(const QByteArray& bytes) {
    if (master_ < 0)
        return;
    output_.append(bytes);
    flushOutput();
}

void PtyFront::flushOutput() {
    while (!output_.isEmpty()) {
        const ssize_t n =
            ::write(master_, output_.constData(), static_cast<std::size_t>(output_.size()));
        if (n > 0) {
            output_.remove(0, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            writeNotifier_->setEnabled(true);
            return;
        }
        // The line is down; what it would have carried is lost, as on a real wire.
        output_.clear();
    }
    writeNotifier_->setEnabled(false);
}

} // namespace vantor::sim
