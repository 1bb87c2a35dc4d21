// vantor's engine in the simulated world, a seed a run: each seed draws a scenario (the
// command, the link, the options, the board or a bus of them, the faults), runs it in
// virtual time and judges each device's result from outside (properties.h). A failing
// scenario is made smaller while it still fails the same way, then printed with its
// trace; --seed replays it.
//
//   tst_simulation [--seeds N] [--from S]   N seeds from S (100000 from 0)
//   tst_simulation --seed S                 one seed, with its trace

#include "properties.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

using namespace vantor;
using namespace vantor::simulation;
using sim::world::Scenario;
using sim::world::World;

namespace {

struct Run {
    std::optional<Failure> failure; // the first device's that fails
    std::vector<core::JobStatus> statuses;
    std::string trace;
    double share = 0; // of the time bound the longest device's command took
};

Run runScenario(const Scenario& s, bool trace) {
    World world(s, trace);
    std::vector<ProgressWatch> progress(s.devices.size());
    world.observe = [&progress](std::size_t i, const core::BoardEngine& engine) {
        progress[i](engine);
    };
    world.run();
    Run run{{}, {}, world.trace(), 0};
    for (std::size_t i = 0; i < world.devices(); ++i) {
        if (!run.failure)
            if ((run.failure = judge(s, world, i, progress[i])) && world.devices() > 1)
                run.failure->detail.insert(0,
                                           "device " + std::to_string(s.devices[i].address) + ": ");
        run.statuses.push_back(world.result(i).status);
        run.share = std::max(run.share, (world.endedAt(i) - world.startedAt(i)) / timeBound(s, i));
    }
    return run;
}

// Smaller cases, each one step from `s`: a line, a byte or a fault less, a number lower.
std::vector<Scenario> smaller(const Scenario& s) {
    std::vector<Scenario> out;
    const auto with = [&](auto change) {
        Scenario t = s;
        change(t);
        out.push_back(std::move(t));
    };
    for (std::size_t i = s.fileLines.size(); i-- > 0;)
        with([i](Scenario& t) { t.fileLines.erase(t.fileLines.begin() + long(i)); });
    for (std::size_t i = s.sendLines.size(); s.sendLines.size() > 1 && i-- > 0;)
        with([i](Scenario& t) { t.sendLines.erase(t.sendLines.begin() + long(i)); });
    for (std::size_t d = 0; d < s.devices.size(); ++d) {
        const sim::world::Device& device = s.devices[d];
        for (std::size_t i = device.program.size(); i-- > 0;)
            with([d, i](Scenario& t) {
                t.devices[d].program.erase(t.devices[d].program.begin() + long(i));
            });
        // Somebody on the line still answers.
        if (s.devices.size() > 1 &&
            std::count_if(s.devices.begin(), s.devices.end(),
                          [](const sim::world::Device& o) { return !o.absent; }) > !device.absent)
            with([d](Scenario& t) { t.devices.erase(t.devices.begin() + long(d)); });
        if (device.absent || device.refusing || device.lateMs)
            with([d](Scenario& t) {
                t.devices[d] = {t.devices[d].address, false, false, 0, t.devices[d].program};
            });
        if (device.lateMs)
            with([d](Scenario& t) { t.devices[d].lateMs /= 2; });
    }
    if (!s.data.empty()) {
        with([](Scenario& t) { t.data.resize(t.data.size() / 2); });
        with([](Scenario& t) { t.data.pop_back(); });
    }
    if (s.flash && !s.flash->empty()) {
        with([](Scenario& t) { t.flash->resize(t.flash->size() / 2); });
        with([](Scenario& t) { t.flash->pop_back(); });
    }
    const sim::world::Faults& f = s.faults;
    const auto zero = [&](auto member) {
        if (f.*member)
            with([member](Scenario& t) { t.faults.*member = {}; });
    };
    zero(&sim::world::Faults::requestLoss);
    zero(&sim::world::Faults::replyLoss);
    zero(&sim::world::Faults::latencyMs);
    if (f.stallRate)
        with([](Scenario& t) { t.faults.stallRate = t.faults.stallMs = 0; });
    if (f.splitRate)
        with([](Scenario& t) { t.faults.splitRate = t.faults.pauseMs = 0; });
    zero(&sim::world::Faults::readNoData);
    zero(&sim::world::Faults::crOnly);
    zero(&sim::world::Faults::login);
    zero(&sim::world::Faults::refuseAll);
    zero(&sim::world::Faults::errorOnLine);
    zero(&sim::world::Faults::flashErrorAfter);
    const auto halve = [&](int Scenario::*member) {
        if (s.*member > 0)
            with([member](Scenario& t) { t.*member /= 2; });
    };
    halve(&Scenario::gapMs);
    if (s.retries > 0)
        with([](Scenario& t) { --t.retries; });
    for (int sim::world::Faults::*member :
         {&sim::world::Faults::latencyMs, &sim::world::Faults::stallMs,
          &sim::world::Faults::pauseMs})
        if (f.*member > 0)
            with([member](Scenario& t) { t.faults.*member /= 2; });
    if (s.verify)
        with([](Scenario& t) { t.verify = false; });
    if (s.erase)
        with([](Scenario& t) { t.erase = false; });
    if (s.framing != sim::world::Framing::Plain && s.devices.size() == 1)
        with([](Scenario& t) { t.framing = sim::world::Framing::Plain; });
    return out;
}

// The smallest case found that still fails as `s` does.
Scenario shrink(Scenario s, const std::string& property) {
    for (int runs = 0; runs < 3000;) {
        bool found = false;
        for (const Scenario& t : smaller(s)) {
            ++runs;
            const std::optional<Failure> failure = runScenario(t, false).failure;
            if (failure && failure->property == property) {
                s = t;
                found = true;
                break;
            }
        }
        if (!found)
            break;
    }
    return s;
}

void report(std::uint64_t seed, const Failure& failure) {
    const Scenario shrunk = shrink(sim::world::drawScenario(seed), failure.property);
    const Run run = runScenario(shrunk, true);
    const Failure& last = run.failure ? *run.failure : failure;
    std::printf("seed %llu FAILED %s: %s\n", static_cast<unsigned long long>(seed),
                last.property.c_str(), last.detail.c_str());
    std::printf("replay: scripts/seeds.sh --seed %llu\n", static_cast<unsigned long long>(seed));
    std::printf("shrunk to: %s\ntrace:\n%s\n", describe(shrunk).c_str(), run.trace.c_str());
}

int replay(std::uint64_t seed) {
    const Scenario s = sim::world::drawScenario(seed);
    const Run run = runScenario(s, true);
    std::printf("%s", run.trace.c_str());
    if (!run.failure) {
        std::printf("seed %llu: no failure\n", static_cast<unsigned long long>(seed));
        return 0;
    }
    report(seed, *run.failure);
    return 1;
}

// The same seed twice gives the same trace, byte for byte.
bool deterministic(std::uint64_t from, std::uint64_t count) {
    for (std::uint64_t seed = from; seed < from + std::min<std::uint64_t>(count, 8); ++seed) {
        const Scenario s = sim::world::drawScenario(seed);
        if (runScenario(s, true).trace != runScenario(s, true).trace) {
            std::printf("seed %llu FAILED determinism: two runs, two traces\n",
                        static_cast<unsigned long long>(seed));
            return false;
        }
    }
    return true;
}

bool number(const char* text, std::uint64_t& value) {
    char* end = nullptr;
    value = std::strtoull(text, &end, 10);
    return text[0] >= '0' && text[0] <= '9' && end && *end == '\0';
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t seeds = 100000, from = 0, one = 0;
    bool single = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (hasValue && !std::strcmp(argv[i], "--seeds") && number(argv[i + 1], seeds))
            ++i;
        else if (hasValue && !std::strcmp(argv[i], "--from") && number(argv[i + 1], from))
            ++i;
        else if (hasValue && !std::strcmp(argv[i], "--seed") && number(argv[i + 1], one))
            ++i, single = true;
        else {
            std::fprintf(stderr, "usage: %s [--seeds N] [--from S] | --seed S\n", argv[0]);
            return 2;
        }
    }
    if (single)
        return replay(one);

    const auto started = std::chrono::steady_clock::now();
    bool ok = deterministic(from, seeds);
    std::map<core::JobStatus, std::uint64_t> statuses;
    std::map<std::string, std::vector<std::uint64_t>> failed; // by property
    std::pair<double, std::uint64_t> longest{0, 0};           // of the bound, and its seed
    int failures = 0;
    for (std::uint64_t seed = from; seed < from + seeds; ++seed) {
        const Run run = runScenario(sim::world::drawScenario(seed), false);
        for (const core::JobStatus status : run.statuses)
            ++statuses[status];
        if (run.share > longest.first)
            longest = {run.share, seed};
        if (!run.failure)
            continue;
        std::vector<std::uint64_t>& same = failed[run.failure->property];
        if (same.empty() && ++failures <= 5) // the first of each kind, in full
            report(seed, *run.failure);
        same.push_back(seed);
    }
    for (const auto& [property, list] : failed) {
        std::printf("%zu seeds FAILED %s:", list.size(), property.c_str());
        for (std::size_t i = 0; i < std::min<std::size_t>(list.size(), 10); ++i)
            std::printf(" %llu", static_cast<unsigned long long>(list[i]));
        std::printf("%s\n", list.size() > 10 ? " ..." : "");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("results: done %llu, refused %llu, denied %llu, mismatch %llu, no answer %llu\n",
                static_cast<unsigned long long>(statuses[core::JobStatus::Done]),
                static_cast<unsigned long long>(statuses[core::JobStatus::Refused]),
                static_cast<unsigned long long>(statuses[core::JobStatus::Denied]),
                static_cast<unsigned long long>(statuses[core::JobStatus::Mismatch]),
                static_cast<unsigned long long>(statuses[core::JobStatus::NoAnswer]));
    std::printf("the longest run took %.0f%% of its time bound (seed %llu)\n", 100 * longest.first,
                static_cast<unsigned long long>(longest.second));
    std::size_t failedSeeds = 0;
    for (const auto& [property, list] : failed)
        failedSeeds += list.size();
    std::printf("%llu seeds in %.1f s, %s\n", static_cast<unsigned long long>(seeds), seconds,
                failedSeeds ? (std::to_string(failedSeeds) + " failed").c_str() : "no failure");
    return ok && failedSeeds == 0 ? 0 : 1;
}
