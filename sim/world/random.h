#pragma once
// The world's one source of chance. SplitMix64 and ranges written out here, because the
// standard library's distributions differ between implementations: a seed must give the
// same run on every platform.

#include <cstdint>
#include <initializer_list>

namespace vantor::sim::world {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // lo..hi, both included; the bias of a 32-bit multiply is far below what a run notices.
    int range(int lo, int hi) {
        const std::uint64_t span = std::uint64_t(std::int64_t(hi) - lo + 1);
        return int(lo + std::int64_t(((next() >> 32) * span) >> 32));
    }
    bool chance(int perMille) { return perMille > 0 && range(0, 999) < perMille; }
    template <class T> T pick(std::initializer_list<T> values) {
        return values.begin()[range(0, int(values.size()) - 1)];
    }

private:
    std::uint64_t state_;
};

} // namespace vantor::sim::world
