#pragma once
// Fixed-width values travel little-endian. On little-endian hosts (every
// target we build for) a load or store is a memcpy that compiles to one move;
// the byte-wise branch keeps other hosts correct.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace velmor::zenoh::ext::detail {

inline constexpr bool kHostIsLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

/// The fixed-width kinds of the wire format (bool is excluded: it is validated).
template <class T>
inline constexpr bool kIsWireScalar =
    std::is_same_v<T, std::uint16_t> || std::is_same_v<T, std::int16_t> || std::is_same_v<T, std::uint32_t> ||
    std::is_same_v<T, std::int32_t> || std::is_same_v<T, float>;

template <class T>
using WireBits = std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint32_t>;

template <class T>
T LoadLittleEndian(const std::uint8_t* src) noexcept {
  static_assert(kIsWireScalar<T>);
  T value;
  if constexpr (kHostIsLittleEndian) {
    std::memcpy(&value, src, sizeof value);
  } else {
    WireBits<T> bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      bits = static_cast<WireBits<T>>(bits | static_cast<WireBits<T>>(src[i]) << (8 * i));
    }
    std::memcpy(&value, &bits, sizeof value);
  }
  return value;
}

template <class T>
void StoreLittleEndian(T value, std::uint8_t* dst) noexcept {
  static_assert(kIsWireScalar<T>);
  if constexpr (kHostIsLittleEndian) {
    std::memcpy(dst, &value, sizeof value);
  } else {
    WireBits<T> bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (std::size_t i = 0; i < sizeof(T); ++i) dst[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
}

}  // namespace velmor::zenoh::ext::detail
