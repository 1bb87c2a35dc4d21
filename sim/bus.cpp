#include "sim/bus.h"

#include <algorithm>
#include <utility>

namespace vantor::sim {

namespace {
constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 247;
} // namespace

Bus::Bus(ControllerOptions board, const std::vector<BusDevice>& devices)
    : ownGateway_(std::make_unique<Controller>(board)), gateway_(*ownGateway_) {
    // The gateway's folder as it settled it, so that the devices' sit inside it.
    board.flashDir = gateway_.flashDir();
    for (const BusDevice& d : devices) {
        if (d.address < kFirstAddress || d.address > kLastAddress || devices_.count(d.address))
            continue;
        ControllerOptions own = board;
        own.flashDir /= "dev-" + std::to_string(d.address);
        own.refuseAll = d.refusing;
        own.name += '@' + std::to_string(d.address);
        devices_.emplace(d.address, Device{std::make_unique<Controller>(own), d});
        addresses_.push_back(d.address);
    }
    std::sort(addresses_.begin(), addresses_.end());
}

Bus::Bus(Controller& board) : gateway_(board) {}

std::optional<BusAnswer> Bus::handleText(std::string_view line) {
    if (const std::optional<MdcLine> mdc = mdcLine(line); mdc && !devices_.empty())
        return toDevice(mdc->device, mdc->rest);
    return BusAnswer{0, gateway_.handleLine(line), false};
}

std::optional<BusAnswer> Bus::handleRtu(int address, std::string_view command) {
    if (devices_.empty())
        return BusAnswer{0, gateway_.handleLine(command), false};
    return toDevice(address, command);
}

std::optional<BusAnswer> Bus::toDevice(int address, std::string_view command) {
    const auto found = devices_.find(address);
    if (found == devices_.end())
        return std::nullopt;
    Device& d = found->second;
    ++d.lines;
    std::vector<std::string> replies = d.controller->handleLine(command);
    if (d.setup.silent)
        return std::nullopt;
    return BusAnswer{address, std::move(replies), d.setup.late};
}

Controller* Bus::device(int address) {
    const auto found = devices_.find(address);
    return found == devices_.end() ? nullptr : found->second.controller.get();
}

int Bus::linesTo(int address) const {
    const auto found = devices_.find(address);
    return found == devices_.end() ? 0 : found->second.lines;
}

} // namespace vantor::sim
