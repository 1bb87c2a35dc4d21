#pragma once
// The command line of `vantor`: which boards, over which link and framing, which
// command, and how long to wait. Everything is checked here, before any link is opened,
// so that a bad value never sends a byte.

#include "core/code_page.h"

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace vantor::cli {

// A usage error: exit status 2, nothing sent.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Framing { Plain, Gateway, Rtu };

struct Board {
    QString host; // UDP; empty for a serial port
    quint16 port = 0;
    QString serialPort; // empty for UDP
    QString address;    // the device's on a bus (--gateway, --rtu); empty: none
    bool serial() const { return !serialPort.isEmpty(); }
    // The link: host:port, or the serial port; a device on a bus is link@address.
    QString link() const;
    QString label() const;
};

struct Options {
    QList<Board> boards; // a device on a bus is a board of its own
    QString serialPort;  // the first board's serial port (vantor term's); empty for UDP
    int baud = 115200;
    Framing framing = Framing::Plain;
    QString address; // the first board's gateway or RTU address (vantor term's)
    int timeoutMs = 5000;
    int idleMs = 300;
    int retries = 2;
    int jobs = 32;   // boards at once; buses at once when they are on buses
    int rate = 1000; // scan over UDP: new targets a second
    bool json = false;
    bool verify = false;
    bool erase = false;     // download --new: NEW first
    bool ifChanged = false; // download, put: write only a board that differs
    QString logFile;
    const core::CodePage* codePage = &core::CodePage::defaultPage();
    QString command;
    QStringList args;
    QList<QByteArray> lines; // send: the lines in the code page, without CR LF
    QByteArray flashName;    // put, get: the name on the flash disk, in the code page
    char prefixKey = 0x14;   // term: Ctrl-T
    bool timestamps = false;
    bool hex = false;
    bool reconnect = true;
    int maxFailures = 0; // boards failed before no more start; 0: no limit
    int canary = 0;      // boards run alone first; 0: none
    QString failedTo;    // a hosts file of the boards that failed or were skipped
    bool all = false;    // scan: the silent targets too
    int duplicates = 0;  // targets dropped as duplicates

    bool serial() const { return !serialPort.isEmpty(); }
    bool bus() const { return framing != Framing::Plain; }
    // scan over UDP without a bus: paced by --rate rather than held to --jobs.
    bool fastScan() const { return command == QLatin1String("scan") && !bus(); }
};

inline constexpr char kVersion[] = "vantor 3.1.1";

// Throws UsageError. `--help` and `--version` come back as the command "help"/"version",
// with the text to print in args.
Options parseOptions(const QStringList& arguments);
// Checks a command's arguments and files, and fills in what follows from them (the lines
// of send, the flash name); throws UsageError. For the commands vantor term runs.
void checkCommand(Options& options);
// A text in the board's code page; throws UsageError for a character the code page cannot
// carry: a '?' in its place would send another line or name another file.
QByteArray encoded(const core::CodePage& page, const QString& text, const char* what);

} // namespace vantor::cli
