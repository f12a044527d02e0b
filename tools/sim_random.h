// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's random numbers: xoshiro256** seeded by splitmix64, identical on every platform.
#pragma once

#include <cstdint>

namespace varistrum::sim {

inline std::uint64_t SplitMix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// A well-mixed hash of one value, for properties that must not depend on the seed.
inline std::uint64_t Mix64(std::uint64_t value) {
    return SplitMix64(value);
}

class Rng {
  public:
    explicit Rng(std::uint64_t seed) {
        for (auto& word : s_) word = SplitMix64(seed);
    }

    std::uint64_t Next() {
        const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = Rotl(s_[3], 45);
        return result;
    }

    // [0, 1) with 53 random bits.
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

    // lo..hi inclusive; the modulo bias is far below anything a drive log could show.
    int Range(int lo, int hi) {
        const std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
        return lo + static_cast<int>((Next() >> 16) % span);
    }

    bool Chance(double probability) { return Uniform() < probability; }

    // Approximately standard normal: a sum of four uniforms (no library functions involved).
    double Gaussian() {
        const double sum = Uniform() + Uniform() + Uniform() + Uniform();
        return (sum - 2.0) * 1.7320508075688772;
    }

  private:
    static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t s_[4];
};

}  // namespace varistrum::sim
