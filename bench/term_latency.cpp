// bench_term_latency: vantor term under a flood, driven through a pseudo-terminal as an
// operator's terminal drives it. Two floods: a serial board printing as fast as 115200
// baud allows (11.5 kB/s, paced by this benchmark), and a UDP board sending 20 MiB/s. Under
// each, it types one letter every 100 ms and measures:
//   - keystroke echo: from the key written to the letter on the screen;
//   - lag: each flood line carries the time it was sent, read off the screen when it shows;
//   - memory: vantor's resident size one second into the flood and at its end;
//   - lines shown of lines sent.
// The yardstick is a bare relay run the same way in the same run: a process that copies
// the link to its terminal and echoes each key, with no editor and no decoding. It is the
// floor of the path (kernel, pseudo-terminal, scheduling); if it fails to deliver the
// flood, the benchmark fails.
//
//   bench_term_latency [SECONDS]      each flood lasts SECONDS (default 3)

#include "bench_support.h"

#include <QString>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vantor::bench;

namespace {

const Clock::time_point kStart = Clock::now();

long long usNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - kStart).count();
}

// The relay: the link to stdout, stdin echoed. Serial: argv is --relay PATH; UDP: --relay
// PORT (it says HELLO first, so that the board learns where to send).
[[noreturn]] void relay(const char* where) {
    termios raw{};
    tcgetattr(0, &raw);
    cfmakeraw(&raw);
    tcsetattr(0, TCSANOW, &raw);
    int link = -1;
    if (where[0] == '/') {
        link = ::open(where, O_RDWR | O_NOCTTY);
        termios port{};
        tcgetattr(link, &port);
        cfmakeraw(&port);
        tcsetattr(link, TCSANOW, &port);
    } else {
        link = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(std::uint16_t(std::atoi(where)));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(link, reinterpret_cast<sockaddr*>(&to), sizeof to);
        [[maybe_unused]] auto sent = ::send(link, "HELLO\r\n", 7, 0);
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        pollfd fds[2] = {{0, POLLIN, 0}, {link, POLLIN, 0}};
        ::poll(fds, 2, -1);
        for (const pollfd& f : fds) {
            if (!(f.revents & (POLLIN | POLLHUP)))
                continue;
            const ssize_t n = ::read(f.fd, buffer.data(), buffer.size());
            if (n <= 0)
                ::_exit(0);
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(1, buffer.data() + done, std::size_t(n - done));
                if (w <= 0)
                    ::_exit(1);
                done += w;
            }
        }
    }
}

// A program on a terminal of its own, whose screen a thread reads as fast as it comes.
class Screen {
public:
    explicit Screen(std::vector<std::string> args) {
        winsize size{40, 120, 0, 0};
        pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
        if (pid_ == 0) {
            ::setenv("TERM", "xterm", 1);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        reader_ = std::thread([this] { read(); });
    }
    ~Screen() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        stop_ = true;
        reader_.join();
        ::close(master_);
    }
    void type(const std::string& keys) {
        [[maybe_unused]] auto n = ::write(master_, keys.data(), keys.size());
    }
    // Waits up to `ms` for `text` on the screen.
    bool waitFor(const std::string& text, int ms) {
        for (int waited = 0; waited < ms; waited += 5) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (seen_.find(text) != std::string::npos)
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // The echo of `key`, typed now: its latency in ms, or -1 when it did not show in 2 s.
    double echo(char key) {
        awaited_ = key;
        const Clock::time_point typed = Clock::now();
        type(std::string(1, key));
        for (int i = 0; i < 2000 && awaited_ != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return awaited_ == 0 ? std::chrono::duration<double, std::milli>(echoedAt_ - typed).count()
                             : -1;
    }
    void resetCounts() {
        lines_ = 0;
        maxLagUs_ = 0;
    }
    long lines() const { return lines_; }
    double maxLagMs() const { return maxLagUs_ / 1000.0; }
    double residentMiB() const {
        FILE* f = std::fopen(("/proc/" + std::to_string(pid_) + "/status").c_str(), "r");
        double kib = 0;
        char line[256];
        while (f && std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "VmRSS: %lf", &kib) == 1)
                break;
        if (f)
            std::fclose(f);
        return kib / 1024;
    }

private:
    void read() {
        std::vector<char> buffer(1 << 16);
        std::string carry;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(master_, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            const long long now = usNow();
            const char key = awaited_;
            if (key && std::memchr(buffer.data(), key, std::size_t(n))) {
                echoedAt_ = Clock::now();
                awaited_ = 0;
            }
            carry.append(buffer.data(), std::size_t(n));
            scan(carry, now);
            std::lock_guard<std::mutex> lock(mutex_);
            if (seen_.size() < (1 << 20))
                seen_.append(buffer.data(), std::size_t(n));
        }
    }
    // Flood lines "t=MICROSECONDS ..." ended by a line end: counted, and their lag taken.
    void scan(std::string& text, long long now) {
        std::size_t at = 0;
        for (std::size_t t; (t = text.find("t=", at)) != std::string::npos;) {
            const std::size_t end = text.find('\n', t);
            if (end == std::string::npos) {
                at = t;
                break;
            }
            const long long sent = std::atoll(text.c_str() + t + 2);
            maxLagUs_ = std::max(maxLagUs_.load(), now - sent);
            ++lines_;
            at = end + 1;
        }
        text.erase(0, at == 0 && text.size() > 256 ? text.size() - 256 : at);
    }

    int master_ = -1;
    pid_t pid_ = -1;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<char> awaited_{0};
    Clock::time_point echoedAt_;
    std::atomic<long> lines_{0};
    std::atomic<long long> maxLagUs_{0};
    std::mutex mutex_;
    std::string seen_;
};

// A flood line of `size` bytes that carries the time it is sent.
std::string floodLine(std::size_t size) {
    std::string line = "t=" + std::to_string(usNow()) + " ";
    line.append(size - line.size() - 2, 'x');
    return line + "\r\n";
}

struct Figures {
    std::vector<double> echoes;
    double maxLagMs = 0, memoryStart = 0, memoryEnd = 0;
    long sent = 0, shown = 0;
    bool ok = false;
};

// Types a letter every 100 ms while `flood` sends for `seconds`; flood(budget) sends what
// is due now and returns the lines it sent.
Figures measure(Screen& screen, double seconds, const std::function<long()>& flood) {
    Figures f;
    screen.resetCounts();
    std::atomic<bool> done{false};
    std::atomic<long> sent{0};
    std::thread flooder([&] {
        while (!done) {
            sent += flood();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const Clock::time_point start = Clock::now();
    char key = 'A';
    while (msSince(start) < seconds * 1000) {
        f.echoes.push_back(screen.echo(key));
        key = key == 'Z' ? 'A' : char(key + 1);
        if (key == 'A')
            screen.type("\x03"); // the line cleared, nothing sent
        if (f.memoryStart == 0 && msSince(start) > 1000)
            f.memoryStart = screen.residentMiB();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    done = true;
    flooder.join();
    f.memoryEnd = screen.residentMiB();
    f.sent = sent;
    // What is still on its way shows within a second, or is lost.
    for (int i = 0; i < 200 && screen.lines() < f.sent; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    f.shown = screen.lines();
    f.maxLagMs = screen.maxLagMs();
    f.ok = !f.echoes.empty() && std::find(f.echoes.begin(), f.echoes.end(), -1.0) == f.echoes.end();
    return f;
}

void report(const QString& name, const Figures& f) {
    figure(name + " echo p50", percentile(f.echoes, 50), "ms");
    figure(name + " echo max", percentile(f.echoes, 100), "ms");
    figure(name + " lag max", f.maxLagMs, "ms");
    figure(name + " lines shown", double(f.shown), QStringLiteral("of %1").arg(f.sent), 0);
    figure(name + " memory growth", f.memoryEnd - f.memoryStart, "MiB");
}

// The serial board: a pseudo-terminal whose master this benchmark writes at 11.5 kB/s.
Figures serialFlood(const std::string& program, bool isRelay, double seconds) {
    int master = -1, slave = -1;
    char name[256] = {};
    ::openpty(&master, &slave, name, nullptr, nullptr);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    Screen screen(isRelay ? std::vector<std::string>{program, "--relay", name}
                          : std::vector<std::string>{program, "term", "--serial", name});
    Figures f;
    if (!screen.waitFor(isRelay ? "" : "lists the keys", 10000))
        return f;
    constexpr double kBytesPerMs = 11.52; // 115200 baud, 10 bits a byte
    const Clock::time_point start = Clock::now();
    double written = 0;
    f = measure(screen, seconds, [&] {
        long lines = 0;
        while (written + 64 <= msSince(start) * kBytesPerMs) {
            const std::string line = floodLine(64);
            if (::write(master, line.data(), line.size()) != ssize_t(line.size()))
                break;
            written += double(line.size());
            ++lines;
        }
        return lines;
    });
    ::close(slave);
    ::close(master);
    return f;
}

// The UDP board: a socket on loopback that learns the client's port from its HELLO and
// then sends 20 MiB/s of 1 KiB datagrams of 16 lines each.
Figures udpFlood(const std::string& program, bool isRelay, double seconds) {
    const int board = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in here{};
    here.sin_family = AF_INET;
    here.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(board, reinterpret_cast<sockaddr*>(&here), sizeof here);
    socklen_t length = sizeof here;
    ::getsockname(board, reinterpret_cast<sockaddr*>(&here), &length);
    const std::string port = std::to_string(ntohs(here.sin_port));
    Screen screen(isRelay
                      ? std::vector<std::string>{program, "--relay", port}
                      : std::vector<std::string>{program, "term", "--host", "127.0.0.1:" + port});
    Figures f;
    if (!isRelay && !screen.waitFor("lists the keys", 10000))
        return f;
    if (!isRelay)
        screen.type("HELLO\r");
    sockaddr_in client{};
    socklen_t clientLength = sizeof client;
    char hello[64];
    pollfd p{board, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0 ||
        ::recvfrom(board, hello, sizeof hello, 0, reinterpret_cast<sockaddr*>(&client),
                   &clientLength) <= 0)
        return f;
    constexpr double kBytesPerMs = 20.0 * 1024 * 1024 / 1000;
    const Clock::time_point start = Clock::now();
    double sent = 0;
    f = measure(screen, seconds, [&] {
        long lines = 0;
        while (sent + 1024 <= msSince(start) * kBytesPerMs) {
            std::string datagram;
            for (int i = 0; i < 16; ++i)
                datagram += floodLine(64);
            ::sendto(board, datagram.data(), datagram.size(), 0,
                     reinterpret_cast<sockaddr*>(&client), clientLength);
            sent += double(datagram.size());
            lines += 16;
        }
        return lines;
    });
    ::close(board);
    return f;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "--relay") == 0)
        relay(argv[2]);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3;
    const std::string self = argv[0];
    bool met = true;
    note(QStringLiteral("vantor term under a flood, %1 s each; the yardstick is a bare relay")
             .arg(seconds));
    for (const bool udp : {false, true}) {
        const QString name =
            udp ? QStringLiteral("udp 20 MiB/s") : QStringLiteral("serial 11.5 kB/s");
        const auto run = udp ? udpFlood : serialFlood;
        const Figures floor = run(self, true, seconds);
        report(name + QStringLiteral(" yardstick"), floor);
        if (!floor.ok || floor.shown < floor.sent * 9 / 10) {
            note(name + QStringLiteral(": the yardstick did not carry the flood"));
            return 1;
        }
        const Figures f = run(VANTOR, false, seconds);
        report(name + QStringLiteral(" vantor"), f);
        met &= target(name + QStringLiteral(": echo within 50 ms"),
                      f.ok && percentile(f.echoes, 100) <= 50,
                      QStringLiteral("max %1 ms").arg(percentile(f.echoes, 100)));
        met &=
            target(name + QStringLiteral(": output within 100 ms of the link"),
                   f.maxLagMs <= 100 && f.shown > 0, QStringLiteral("max %1 ms").arg(f.maxLagMs));
        met &= target(name + QStringLiteral(": every line shown"), f.shown == f.sent,
                      QStringLiteral("%1 of %2").arg(f.shown).arg(f.sent));
        met &= target(name + QStringLiteral(": memory flat"), f.memoryEnd - f.memoryStart < 8,
                      QStringLiteral("%1 MiB more").arg(f.memoryEnd - f.memoryStart));
    }
    return met ? 0 : 1;
}
