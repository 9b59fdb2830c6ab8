#include "sim/fault_switches.hpp"

namespace velmor::sim {
namespace {

// splitmix64: cheap, stateless, and good enough to vary junk and cut points.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

std::vector<std::uint8_t> Junk(std::uint64_t n) {
  std::vector<std::uint8_t> bytes(5 + Mix(n) % 40);
  std::uint64_t state = n;
  for (auto& byte : bytes) {
    state = Mix(state);
    byte = static_cast<std::uint8_t>(0x80 | (state & 0x7F));
  }
  return bytes;
}

}  // namespace

std::vector<std::uint8_t> GarblePayload(const std::vector<std::uint8_t>& valid, std::uint64_t n) {
  switch (n % 3) {
    case 0:
      // Every field is needed, so any proper prefix (even an empty one) fails.
      if (!valid.empty()) {
        return {valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(Mix(n) % valid.size())};
      }
      break;
    case 1: {
      std::vector<std::uint8_t> longer = valid;
      longer.push_back(0);
      return longer;
    }
    default:
      break;
  }
  return Junk(n);
}

}  // namespace velmor::sim
