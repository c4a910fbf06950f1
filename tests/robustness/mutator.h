#pragma once
// Seeded, platform-independent random numbers and byte mutations for the
// robustness tests. Every run makes the same inputs in both builds; a failure
// names its seed and iteration so that the input can be made again and kept
// as a fixed case.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace zdrobust {

// SplitMix64: small, fast and the same everywhere (the standard library's
// distributions are not).
class Rng {
 public:
  explicit Rng(uint64_t seed) : m_state(seed) {}

  uint64_t Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 ... n - 1 (0 when n is 0).
  uint64_t Below(uint64_t n) { return n ? Next() % n : 0; }
  // lo ... hi inclusive.
  int64_t Between(int64_t lo, int64_t hi) { return lo + int64_t(Below(uint64_t(hi - lo) + 1u)); }
  bool OneIn(uint64_t n) { return Below(n) == 0; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(items.size())];
  }

 private:
  uint64_t m_state;
};

// The seed of one iteration of one test: tests and iterations never share a stream.
inline uint64_t IterationSeed(uint64_t testSeed, uint64_t iteration) {
  Rng mix(testSeed * 0x100000001B3ull + iteration);
  return mix.Next();
}

// Iteration counts are multiplied by ZD_ROBUSTNESS_SCALE (default 1) for
// longer runs by hand; CI runs the default.
inline uint32_t Iterations(uint32_t base) {
  const char* scale = std::getenv("ZD_ROBUSTNESS_SCALE");
  const long factor = scale ? std::strtol(scale, nullptr, 10) : 1;
  return factor > 1 ? base * uint32_t(factor) : base;
}

// 32-bit values that break size and offset arithmetic.
constexpr uint32_t kExtremeWords[] = {
    0u,          1u,          2u,          3u,          0xFFFFFFFFu, 0xFFFFFFFEu, 0x80000000u,
    0x7FFFFFFFu, 0x80000001u, 0x7FFFFFFEu, 0x0000FFFFu, 0x00010000u, 0x00008000u, 0x00007FFFu,
    16384u,      16385u,      0xFFFFC000u, 0x40000000u, 0x20000000u, 40u,         54u,
    12u,         124u,        24u,         32u,
};

inline void PutLe(std::vector<uint8_t>& bytes, size_t at, uint32_t value, size_t width) {
  for (size_t i = 0; i < width && at + i < bytes.size(); ++i)
    bytes[at + i] = uint8_t(value >> (8 * i));
}

// One random change: a bit flip, a byte or word overwritten with a random or
// extreme value, bytes inserted, deleted or repeated, or the end cut off.
inline void MutateOnce(std::vector<uint8_t>& bytes, Rng& rng) {
  const size_t size = bytes.size();
  switch (rng.Below(9)) {
    case 0:  // flip one bit
      if (size)
        bytes[rng.Below(size)] ^= uint8_t(1u << rng.Below(8));
      break;
    case 1:  // one byte, random or at an edge of its range
      if (size) {
        static constexpr uint8_t kEdges[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
        bytes[rng.Below(size)] = rng.OneIn(2) ? uint8_t(rng.Next()) : rng.Pick(kEdges);
      }
      break;
    case 2:  // a 16- or 32-bit little-endian word of an extreme value
      if (size)
        PutLe(bytes, rng.Below(size), rng.Pick(kExtremeWords), rng.OneIn(2) ? 2 : 4);
      break;
    case 3: {  // insert a few random bytes
      const size_t at = rng.Below(size + 1);
      const size_t n = 1 + rng.Below(8);
      std::vector<uint8_t> extra(n);
      for (uint8_t& b : extra)
        b = uint8_t(rng.Next());
      bytes.insert(bytes.begin() + ptrdiff_t(at), extra.begin(), extra.end());
      break;
    }
    case 4: {  // delete a run of bytes
      if (!size)
        break;
      const size_t at = rng.Below(size);
      const size_t n = 1 + rng.Below(std::min<size_t>(size - at, 16));
      bytes.erase(bytes.begin() + ptrdiff_t(at), bytes.begin() + ptrdiff_t(at + n));
      break;
    }
    case 5:  // cut the end off
      bytes.resize(rng.Below(size + 1));
      break;
    case 6: {  // repeat a run of bytes in place
      if (!size)
        break;
      const size_t at = rng.Below(size);
      const size_t n = 1 + rng.Below(std::min<size_t>(size - at, 32));
      const std::vector<uint8_t> run(bytes.begin() + ptrdiff_t(at),
                                     bytes.begin() + ptrdiff_t(at + n));
      bytes.insert(bytes.begin() + ptrdiff_t(at), run.begin(), run.end());
      break;
    }
    case 7:  // append random bytes
      for (uint64_t n = 1 + rng.Below(16); n > 0; --n)
        bytes.push_back(uint8_t(rng.Next()));
      break;
    default:  // a random 32-bit word
      if (size)
        PutLe(bytes, rng.Below(size), uint32_t(rng.Next()), 4);
      break;
  }
}

inline void Mutate(std::vector<uint8_t>& bytes, Rng& rng, uint32_t maxChanges) {
  for (uint64_t n = 1 + rng.Below(maxChanges); n > 0; --n)
    MutateOnce(bytes, rng);
}

inline std::string Describe(uint64_t seed, uint32_t iteration) {
  return "seed " + std::to_string(seed) + ", iteration " + std::to_string(iteration);
}

// The iterations of one seeded test: how many there are, each one's random
// stream, and the words that name it in a failure message.
class SeededRounds {
 public:
  SeededRounds(uint64_t seed, uint32_t baseIterations)
      : m_seed(seed), m_count(Iterations(baseIterations)) {}

  uint32_t Count() const { return m_count; }
  Rng RngOf(uint32_t iteration) const { return Rng(IterationSeed(m_seed, iteration)); }
  std::string Describe(uint32_t iteration) const { return zdrobust::Describe(m_seed, iteration); }

 private:
  uint64_t m_seed;
  uint32_t m_count;
};

}  // namespace zdrobust
