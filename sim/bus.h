#pragma once
// A Modbus bus behind the board acting as gateway: devices at addresses 1 to 247, each a
// board of its own (its own program and flash disk). A gateway line "MDC N,REST" goes to
// device N, an RTU frame to the device at its address; a line or frame for an address
// where no device answers gets nothing at all, as nobody on the line speaks. Every other
// line is the gateway's own.
//
// A bus without devices is a board on its own: it takes MDC lines and frames to any
// address itself, as a board that is its own device does. The fronts serve that when
// handed a Controller.

#include "sim/controller.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::sim {

struct BusDevice {
    int address = 0;       // 1 to 247; any other is left off the bus
    bool silent = false;   // hears every line, never answers
    bool refusing = false; // ERROR to every line
    bool late = false;     // its replies leave FrontOptions::stallMs late
};

struct BusAnswer {
    int address = 0; // 0: the gateway itself
    std::vector<std::string> replies;
    bool late = false;
};

class Bus {
public:
    // The gateway and every device take `board`; a device's flash disk is the folder
    // dev-N of the gateway's (or in memory too).
    Bus(ControllerOptions board, const std::vector<BusDevice>& devices);
    // No devices: `board` answers everything.
    explicit Bus(Controller& board);
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // A command line without its line end.
    std::optional<BusAnswer> handleText(std::string_view line);
    // The command an RTU frame to `address` carries, without its line end.
    std::optional<BusAnswer> handleRtu(int address, std::string_view command);

    Controller& gateway() { return gateway_; }
    Controller* device(int address);
    // The command lines device `address` was handed, answered or not.
    int linesTo(int address) const;
    const std::vector<int>& addresses() const { return addresses_; }

private:
    struct Device {
        std::unique_ptr<Controller> controller;
        BusDevice setup;
        int lines = 0;
    };
    std::optional<BusAnswer> toDevice(int address, std::string_view command);

    std::unique_ptr<Controller> ownGateway_;
    Controller& gateway_;
    std::map<int, Device> devices_;
    std::vector<int> addresses_;
};

} // namespace vantor::sim
