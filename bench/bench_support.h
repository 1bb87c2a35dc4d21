#pragma once
// Small helpers shared by the benchmarks: waiting on the event loop without sleeping,
// clocks, percentiles, peak memory and a uniform way of printing a figure.

#include <QString>

#include <chrono>
#include <functional>
#include <vector>

namespace vantor::bench {

using Clock = std::chrono::steady_clock;

// How long a benchmark waits for anything before it gives up.
inline constexpr int kClientLimitMs = 60000;

inline double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs the event loop until done() holds or timeoutMs passes; blocks in the dispatcher
// between events instead of sleeping, so a reply is handled the moment it arrives.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

// The p-th percentile (0..100) of the samples, nearest rank; 0 when empty.
double percentile(std::vector<double> samples, double p);

// VmHWM of this process in MiB, 0 when /proc is not there.
double peakMemoryMiB();

// CPU time the calling thread has used, in ms; 0 where the platform does not say. On a
// shared machine it tells the work done from the time spent waiting for a core.
double threadCpuMs();

// One figure per line, "name: value unit", so that runs can be compared with grep/diff.
void figure(const QString& name, double value, const QString& unit, int decimals = 2);
void note(const QString& text);
// A target, with its verdict; returns met.
bool target(const QString& name, bool met, const QString& detail);

} // namespace vantor::bench
