#pragma once
// What must hold after a run of the simulated world, judged from outside: by the board's
// own state, the local file, what the world lost or delayed, and what the board took.

#include "sim/world/world.h"

#include <optional>
#include <string>

namespace vantor::simulation {

struct Failure {
    std::string property; // a short name, the same for the same fault
    std::string detail;
};

// Watches the engine while it runs: within a phase the attempt never goes back, and
// within an attempt neither does the amount done.
class ProgressWatch {
public:
    void operator()(const core::BoardEngine& engine);
    const std::string& failure() const { return failure_; }

private:
    void check(const char* which, const core::JobProgress& now,
               std::optional<core::JobProgress>& last);

    std::optional<core::JobProgress> last_;
    std::optional<core::JobProgress> lastMain_;
    std::string failure_;
};

// The longest device `i`'s command may take, in virtual milliseconds, from the scenario
// alone.
double timeBound(const sim::world::Scenario& s, std::size_t i);

// Device `i`'s run, against that device's own board.
std::optional<Failure> judge(const sim::world::Scenario& s, const sim::world::World& world,
                             std::size_t i, const ProgressWatch& progress);

} // namespace vantor::simulation
