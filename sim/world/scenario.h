#pragma once
// One seed's case: the command, the link and its framing, vantor's options, what the
// board holds before, what the command sends, and the faults of the link and the board.
// It is plain data, so that a failing case can be made smaller one field at a time and
// run again; the faults themselves still fall by chance, from the seed, during the run.

#include "core/board_engine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::sim::world {

enum class Framing { Plain, Gateway, Rtu };
enum class LocalFile { None, Empty, Content };

struct Faults {
    int requestLoss = 0; // per mille of the lines sent that never reach the board
    int replyLoss = 0;   // per mille of the replies lost: a datagram, a serial burst
    int latencyMs = 0;   // each way, up to this
    int stallRate = 0;   // per mille of the commands that keep the board busy
    int stallMs = 0;
    int splitRate = 0;   // serial: per mille of the replies that come in pieces
    int pauseMs = 0;     // up to this between the pieces
    int readNoData = 0;  // per mille of the READ answers that lose their data, not the OK
    bool crOnly = false; // the board ends its lines with CR alone
    bool login = false;
    bool refuseAll = false;
    int errorOnLine = 0;
    int flashErrorAfter = 0;
};

// A board on the line. A gateway or RTU line may carry a bus of them, run one after
// another in address order on the one link.
struct Device {
    int address = 1;
    bool absent = false;              // nobody answers at this address
    bool refusing = false;            // ERROR to every line
    int lateMs = 0;                   // its replies leave this much later
    std::vector<std::string> program; // typed in on the board before the run
};

struct Scenario {
    std::uint64_t seed = 0;
    core::JobCommand command = core::JobCommand::Ver;
    bool erase = false;
    bool verify = false;
    bool ifChanged = false; // download, put
    bool udp = true;
    Framing framing = Framing::Plain;
    int timeoutMs = 5000;
    int retries = 2;
    int idleMs = 300;
    int gapMs = 0;                      // between the replies to one command
    std::vector<Device> devices;        // one; or two or three on a bus
    std::optional<std::string> flash;   // F.BIN on the board before the run
    LocalFile local = LocalFile::None;  // save, get: the target before the run
    std::vector<std::string> fileLines; // download, diff: the .bas file
    bool lfOnly = false;                // its lines end in LF alone
    std::vector<std::string> sendLines;
    std::string data; // put
    Faults faults;

    std::string fileContent() const;
    core::JobConfig config() const;
};

inline constexpr const char* kFlashName = "F.BIN";

Scenario drawScenario(std::uint64_t seed);
// One line: the command, link, options, sizes and faults.
std::string describe(const Scenario& s);

} // namespace vantor::sim::world
