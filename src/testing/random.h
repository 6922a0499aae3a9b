// The random numbers of the test and benchmark data: splitmix64, so that
// the same seed gives the same bytes on every platform and library.
#ifndef TESSEL_TESTING_RANDOM_H_
#define TESSEL_TESTING_RANDOM_H_

#include <cstddef>
#include <cstdint>

namespace tessel::test {

struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A number below "n".
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  // A number from "lo" to "hi" inclusive.
  int Between(int lo, int hi) { return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1))); }
  bool Chance(int percent) { return Below(100) < static_cast<uint32_t>(percent); }
  // A number from 0 up to but not including 1.
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }
};

}  // namespace tessel::test

#endif  // TESSEL_TESTING_RANDOM_H_
