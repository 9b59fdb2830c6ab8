#pragma once
// Stream inputs too large to fuzz from (the fuzzer would take their length as
// its limit): scripts/fuzz replays them through both fuzz builds, and ctest
// through a 32-bit build of the targets' checks (replay_oversized.cpp).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/stream_codec.hpp"

namespace velmor::fuzz {

// A message without Cartesian entries whose Cartesian count, the byte
// `from_end` bytes before its end, announces so many that their size in
// bytes exceeds 32 bits by a few: where size_t is 32 bits, a length check
// that multiplies wraps and passes. The payload is longer than the count, so
// that a check counting one byte per element passes too.
inline std::vector<std::uint8_t> CartesianCountWrapping32Bits(std::vector<std::uint8_t> empty, std::size_t from_end,
                                                              std::uint64_t element_size) {
  const std::uint64_t count = (std::uint64_t{1} << 32) / element_size + 1;
  std::vector<std::uint8_t> bytes(empty.begin(), empty.end() - static_cast<std::ptrdiff_t>(from_end));
  for (std::uint64_t rest = count; rest != 0; rest >>= 7) {
    bytes.push_back(static_cast<std::uint8_t>((rest & 0x7F) | (rest >= 0x80 ? 0x80 : 0)));
  }
  bytes.resize(static_cast<std::size_t>(bytes.size() + count + 64));
  return bytes;
}

/// For basic_stream_fuzz: the message ends with the Cartesian count and two
/// time stamps; an entry is 1 + 7 floats twice, then 1 + 6 floats five times.
inline std::vector<std::uint8_t> OversizedBasic() {
  return CartesianCountWrapping32Bits(zenoh_msgs::Encode(zenoh_msgs::qrk_msg::AllBasicStreamData{}), 9,
                                      2 * 29 + 5 * 25);
}

/// For extra_stream_fuzz: the message ends with the Cartesian count; an entry
/// is 1 + 7 floats, then 1 + 6 floats twice.
inline std::vector<std::uint8_t> OversizedExtra() {
  return CartesianCountWrapping32Bits(zenoh_msgs::Encode(zenoh_msgs::qrk_msg::AllExtraStreamData{}), 1, 29 + 2 * 25);
}

}  // namespace velmor::fuzz
