#pragma once
// A small seeded generator with its own arithmetic, so that a seed gives the
// same trace with every compiler and standard library.

#include <cstdint>

class GenRandom {
  public:
    explicit GenRandom(uint64_t seed) : state_(seed) {}

    uint64_t next() { // splitmix64
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi]; lo when hi <= lo.
    int64_t between(int64_t lo, int64_t hi) {
        if (hi <= lo) return lo;
        const auto span = static_cast<uint64_t>(hi - lo) + 1;
        return lo + static_cast<int64_t>(span == 0 ? next() : next() % span);
    }
    bool chance(uint32_t percent) { return next() % 100 < percent; }

  private:
    uint64_t state_;
};
