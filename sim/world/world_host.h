#pragma once
// The world's own view of one device of the line: its engine on the host's side and what
// the world keeps of its run. Shared by the host's side (world.cpp) and the board's
// (world_board.cpp).

#include "sim/world/world.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantor::sim::world {

// What stands in the local file of save and get before the run.
inline std::optional<std::string> localBefore(LocalFile local) {
    switch (local) {
    case LocalFile::None:
        return std::nullopt;
    case LocalFile::Empty:
        return std::string();
    case LocalFile::Content:
        break;
    }
    return std::string("10 OLD PROGRAM\r\n");
}

class World::Io : public core::JobIo {
public:
    Io(World& world, Host& host) : world_(world), host_(host) {}
    bool send(std::string_view line, std::string&) override {
        return world_.hostSends(host_, line);
    }
    void progressed() override;

private:
    World& world_;
    Host& host_;
};

// One device: its engine on the host's side, what the world keeps of its run.
struct World::Host {
    Host(World& world, std::size_t index, Controller* board)
        : index(index), device(world.s_.devices[index]), board(board),
          store(localBefore(world.s_.local)), io(world, *this),
          engine(world.s_.config(), io, &store) {}

    const std::size_t index;
    const Device& device;
    Controller* board;
    MemoryStore store;
    Io io;
    core::BoardEngine engine;
    Record record;
    double startedAt = -1;
    double endedAt = -1;
    std::optional<double> tickAt; // the deadline a Tick is queued for
    double lastHeard = -1;        // when the last reply's end left the board: the soonest heard
    std::string lastHeardLine;    // and the line it answered
    std::vector<std::pair<double, double>> heard; // the soonest and latest each reply is heard
};

} // namespace vantor::sim::world
