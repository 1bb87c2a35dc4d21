// bench_yardstick: the floor a command-line client could reach, as a process of its own
// beside vantor: a bare stop-and-wait client over loopback UDP that does one transfer and
// prints its milliseconds (from the first line sent to the last answer taken). It blocks
// on its socket (nothing else runs in it), checks every answer, and fails loudly: any
// refusal, any answer that does not come within 10 s, any byte that is off, ends it with
// a message and a non-zero status, so that a failed transfer can never pass for a fast one.
//
//   bench_yardstick download PORT FILE       one line per "OK"
//   bench_yardstick put PORT FILE NAME       OPENWR, 21-byte WRITEs, CLOSE
//   bench_yardstick get PORT NAME FILE       OPENRD, READ 20 until "ND", CLOSE

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kAnswerMs = 10000;

[[noreturn]] void fail(const QByteArray& why) {
    std::fprintf(stderr, "bench_yardstick: %s\n", why.constData());
    std::exit(1);
}

class Client {
public:
    explicit Client(quint16 port) : port_(port) {
        if (!socket_.bind(QHostAddress::LocalHost, 0))
            fail("cannot bind: " + socket_.errorString().toUtf8());
    }

    void send(const QByteArray& line) {
        const QByteArray datagram = line + "\r\n";
        if (socket_.writeDatagram(datagram, QHostAddress::LocalHost, port_) != datagram.size())
            fail("cannot send " + line);
    }

    // The next datagram; fails after kAnswerMs without one.
    QByteArray answer(const QByteArray& to) {
        while (!socket_.hasPendingDatagrams())
            if (!socket_.waitForReadyRead(kAnswerMs))
                fail("no answer to " + to.left(20));
        const QByteArray reply = socket_.receiveDatagram().data();
        if (reply.contains("ERROR"))
            fail(to.left(20) + " refused: " + reply.trimmed());
        return reply;
    }

    // Sends `line` and takes answers until one with "OK".
    void exchange(const QByteArray& line) {
        send(line);
        while (!answer(line).contains("OK")) {
        }
    }

private:
    QUdpSocket socket_;
    quint16 port_;
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail("cannot read " + path.toUtf8());
    return file.readAll();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList a = QCoreApplication::arguments();
    if (a.size() < 4)
        fail("usage: bench_yardstick download PORT FILE | put PORT FILE NAME | get PORT NAME FILE");
    Client client(quint16(a[2].toUInt()));
    QElapsedTimer clock;
    if (a[1] == QLatin1String("download")) {
        const QList<QByteArray> lines = readAll(a[3]).trimmed().split('\n');
        clock.start();
        for (const QByteArray& line : lines)
            client.exchange(line.trimmed());
    } else if (a[1] == QLatin1String("put") && a.size() == 5) {
        const QByteArray data = readAll(a[3]);
        clock.start();
        client.exchange("OPENWR \"" + a[4].toLatin1() + '"');
        for (qsizetype at = 0; at < data.size(); at += 21)
            client.exchange("WRITE \"" + data.mid(at, 21).toHex().toUpper() + '"');
        client.send("CLOSE");
        client.answer("CLOSE");
    } else if (a[1] == QLatin1String("get") && a.size() == 5) {
        QByteArray data;
        clock.start();
        client.exchange("OPENRD \"" + a[3].toLatin1() + '"');
        for (bool end = false; !end;) {
            client.send("READ 20\"");
            for (;;) {
                const QByteArray reply = client.answer("READ");
                if (const qsizetype nd = reply.indexOf("ND"); nd >= 0) {
                    data += QByteArray::fromHex(reply.left(nd & ~qsizetype(1)));
                    end = true;
                    break;
                }
                if (reply.contains("OK"))
                    break;
                if (reply.trimmed().size() != 40)
                    fail("a data reply of " + QByteArray::number(reply.trimmed().size()) +
                         " digits, not 40");
                data += QByteArray::fromHex(reply.left(40));
            }
        }
        client.send("CLOSE");
        client.answer("CLOSE");
        QFile out(a[4]);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(data) != data.size())
            fail("cannot write " + a[4].toUtf8());
    } else {
        fail("unknown command " + a[1].toUtf8());
    }
    std::printf("%.2f\n", clock.nsecsElapsed() / 1e6);
    return 0;
}
