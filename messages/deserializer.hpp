#pragma once
// Reading side of zenoh's serialization format (zenoh-ext), with the same
// primitives and result codes as zenoh-c's ze_deserializer: each returns
// Z_OK or Z_EDESERIALIZE and, on failure, leaves the position unchanged.
// The deserializer does not own the bytes; they must outlive it. Not thread
// safe; one deserializer per payload.
//
// What a payload decodes into may be far larger than the payload itself: a
// one-byte empty string becomes a 32-byte std::string. So a deserializer
// also keeps an allowance of decoded memory, a few times the payload's size
// plus a fixed sum, which the readers draw on before they allocate; a
// payload that would need more is refused like any malformed one. Every
// message of this protocol stays inside it: stream messages decode to no
// more than their own size, and a reply reaches it only with texts shorter
// than four bytes (8 times their wire size as std::string) in numbers that
// exceed the fixed sum, where real replies carry a few dozen texts.
//
// The fixed-width primitives are inline because stream messages are decoded
// a thousand times a second.
#include <cstddef>
#include <cstdint>
#include <string>

#include "messages/little_endian.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh::ext {

/// The decoded memory one payload may cost: this many bytes per payload byte...
inline constexpr std::size_t kDecodedBytesPerPayloadByte = 8;
/// ...plus this much, so that a short message is never refused for it.
inline constexpr std::size_t kDecodedBytesAllowance = std::size_t{1} << 20;

class Deserializer {
 public:
  /// Reads from the `size` bytes at `data` (which may be null when `size` is 0).
  Deserializer(const std::uint8_t* data, std::size_t size) noexcept
      : pos_(data), end_(data + size), decoded_left_(DecodedAllowance(size)) {}

  ZResult deserialize_uint16(std::uint16_t& out) noexcept { return Fixed(out); }
  ZResult deserialize_int16(std::int16_t& out) noexcept { return Fixed(out); }
  ZResult deserialize_uint32(std::uint32_t& out) noexcept { return Fixed(out); }
  ZResult deserialize_int32(std::int32_t& out) noexcept { return Fixed(out); }
  ZResult deserialize_float(float& out) noexcept { return Fixed(out); }

  /// One byte that must be 0 or 1; any other value is a failure, as in zenoh.
  ZResult deserialize_bool(bool& out) noexcept {
    if (pos_ == end_ || *pos_ > 1) return Z_EDESERIALIZE;
    out = *pos_++ == 1;
    return Z_OK;
  }

  /// A sequence length followed by that many bytes, copied unvalidated (no
  /// UTF-8 check). A length beyond the remaining bytes, or the decoded
  /// allowance, fails before allocating.
  ZResult deserialize_string(std::string& out);

  /// Unsigned LEB128 of at most 10 bytes; non-minimal encodings are accepted,
  /// values that do not fit 64 bits (or size_t) are not.
  ZResult deserialize_sequence_length(std::size_t& out) noexcept {
    if (pos_ != end_ && *pos_ < 0x80) {
      out = *pos_++;
      return Z_OK;
    }
    return DeserializeMultiByteLength(out);
  }

  /// `count` consecutive values of a fixed-width kind: the bytes of `count`
  /// single reads, copied in one go. Fails without reading if they are not all there.
  template <class T>
  ZResult deserialize_scalars(T* out, std::size_t count) noexcept {
    static_assert(detail::kIsWireScalar<T>);
    if (count > remaining() / sizeof(T)) return Z_EDESERIALIZE;
    if constexpr (detail::kHostIsLittleEndian) {
      if (count != 0) std::memcpy(out, pos_, count * sizeof(T));
    } else {
      for (std::size_t i = 0; i < count; ++i) out[i] = detail::LoadLittleEndian<T>(pos_ + i * sizeof(T));
    }
    pos_ += count * sizeof(T);
    return Z_OK;
  }

  /// `count` consecutive bools, each validated as by deserialize_bool.
  ZResult deserialize_bools(bool* out, std::size_t count) noexcept {
    if (count > remaining()) return Z_EDESERIALIZE;
    for (std::size_t i = 0; i < count; ++i) {
      if (pos_[i] > 1) return Z_EDESERIALIZE;
    }
    for (std::size_t i = 0; i < count; ++i) out[i] = pos_[i] == 1;
    pos_ += count;
    return Z_OK;
  }

  /// Draws `bytes` of decoded memory from the payload's allowance before they
  /// are allocated; fails, drawing nothing, when fewer are left.
  ZResult reserve_decoded(std::size_t bytes) noexcept {
    if (bytes > decoded_left_) return Z_EDESERIALIZE;
    decoded_left_ -= bytes;
    return Z_OK;
  }

  /// True once every byte has been consumed.
  bool is_done() const noexcept { return pos_ == end_; }
  std::size_t remaining() const noexcept { return static_cast<std::size_t>(end_ - pos_); }

 private:
  template <class T>
  ZResult Fixed(T& out) noexcept {
    if (remaining() < sizeof(T)) return Z_EDESERIALIZE;
    out = detail::LoadLittleEndian<T>(pos_);
    pos_ += sizeof(T);
    return Z_OK;
  }

  ZResult DeserializeMultiByteLength(std::size_t& out) noexcept;

  static constexpr std::size_t DecodedAllowance(std::size_t size) noexcept {
    constexpr std::size_t kMax = static_cast<std::size_t>(-1);
    return size > (kMax - kDecodedBytesAllowance) / kDecodedBytesPerPayloadByte
               ? kMax
               : size * kDecodedBytesPerPayloadByte + kDecodedBytesAllowance;
  }

  const std::uint8_t* pos_;
  const std::uint8_t* end_;
  std::size_t decoded_left_;
};

}  // namespace velmor::zenoh::ext
