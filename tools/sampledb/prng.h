// The generator's own small random source (splitmix64): the same seed gives
// the same sequence on every platform and library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sampledb {

class Prng {
 public:
  explicit Prng(std::uint64_t seed) : m_state(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A number in [0, n); 0 when n is 0.
  std::int64_t below(std::int64_t n) {
    return n <= 0 ? 0 : static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(n));
  }
  // A number in [lo, hi].
  std::int64_t between(std::int64_t lo, std::int64_t hi) { return lo + below(hi - lo + 1); }
  // True with the given chance in percent.
  bool chance(int percent) { return below(100) < percent; }
  // One element of a built-in list.
  template <typename T, std::size_t N>
  const T& pick(const T (&list)[N]) {
    return list[below(static_cast<std::int64_t>(N))];
  }

 private:
  std::uint64_t m_state;
};

// An independent stream for one table, derived from the run's seed.
inline Prng streamFor(std::uint64_t seed, std::uint64_t table) {
  Prng mixer(seed ^ (table * 0xD1B54A32D192ED03ULL));
  return Prng(mixer.next());
}

}  // namespace sampledb
