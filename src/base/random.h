#pragma once
// The seedable random source behind random texts and random choices, so tests
// can repeat a run.

#include <cstdint>
#include <random>

namespace qv {

class RandomSource {
  public:
    explicit RandomSource(std::uint32_t seed) : engine_(seed) {}

    void seed(std::uint32_t s) { engine_.seed(s); }

    // Uniform in [0, 1); the same sequence for the same seed on every platform.
    double next() { return static_cast<double>(engine_()) / 4294967296.0; }

    // Int(next() * n): 0..n-1; 0 when n <= 0.
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() * n); }

  private:
    std::mt19937 engine_;
};

}  // namespace qv
