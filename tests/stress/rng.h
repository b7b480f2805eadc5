// The stress harness's random source: one seeded generator and the few draws it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace x17b_stress {

class Rng {
 public:
  /// A generator for run `index` of the run sequence started by `seed`: the same pair always gives
  /// the same run, whatever runs came before it.
  Rng(uint64_t seed, uint64_t index) : engine_{Mix(seed * 0x9E3779B97F4A7C15ULL + index)} {}

  /// A whole number from lo to hi, both included.
  int64_t Between(int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>{lo, hi}(engine_);
  }
  /// True with probability p.
  bool Chance(double p) { return std::uniform_real_distribution<double>{0.0, 1.0}(engine_) < p; }
  std::size_t Index(std::size_t size) { return static_cast<std::size_t>(Between(0, size - 1)); }
  template <typename T>
  const T& Pick(const std::vector<T>& choices) {
    return choices[Index(choices.size())];
  }
  /// A byte of any value but "/": generated noise never forms a path that leaves the working
  /// directory, since the program may create a file under any name it is given.
  char Byte() {
    char c = static_cast<char>(Between(0, 254));
    return c == '/' ? static_cast<char>(255) : c;
  }
  /// `count` bytes of any value but LF and CR, so that the text stays on one line.
  std::string LineNoise(std::size_t count) {
    std::string text;
    while (text.size() < count) {
      char c = Byte();
      if (c != '\n' && c != '\r') text += c;
    }
    return text;
  }
  /// A uniformly drawn 64-bit value.
  uint64_t Bits() { return engine_(); }

 private:
  // SplitMix64 finaliser: neighbouring run indexes get unrelated engine states.
  static uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
  }

  std::mt19937_64 engine_;
};

}  // namespace x17b_stress
