#pragma once
// Writing side of zenoh's serialization format (zenoh-ext), with the same
// primitives as zenoh-c's ze_serializer; the bytes equal zenoh's own. Every
// primitive returns Z_OK (like zenoh-c's, they cannot fail short of running
// out of memory, which throws std::bad_alloc). Not thread safe.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "messages/little_endian.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh::ext {

class Serializer {
 public:
  ZResult serialize_uint16(std::uint16_t value) { return Fixed(value); }
  ZResult serialize_int16(std::int16_t value) { return Fixed(value); }
  ZResult serialize_uint32(std::uint32_t value) { return Fixed(value); }
  ZResult serialize_int32(std::int32_t value) { return Fixed(value); }
  ZResult serialize_float(float value) { return Fixed(value); }

  ZResult serialize_bool(bool value) {
    buffer_.push_back(value ? 1 : 0);
    return Z_OK;
  }

  /// Minimal unsigned LEB128.
  ZResult serialize_sequence_length(std::size_t length);

  /// The byte count as a sequence length, then the bytes.
  ZResult serialize_string(std::string_view text);

  /// `count` values of a fixed-width kind, the same bytes as `count` single writes.
  template <class T>
  ZResult serialize_scalars(const T* values, std::size_t count) {
    static_assert(detail::kIsWireScalar<T>);
    const std::size_t offset = buffer_.size();
    buffer_.resize(offset + count * sizeof(T));
    for (std::size_t i = 0; i < count; ++i) {
      detail::StoreLittleEndian(values[i], buffer_.data() + offset + i * sizeof(T));
    }
    return Z_OK;
  }

  const std::vector<std::uint8_t>& bytes() const noexcept { return buffer_; }

  /// Hands over the bytes written so far and leaves the serializer empty.
  std::vector<std::uint8_t> finish() noexcept {
    std::vector<std::uint8_t> out;
    out.swap(buffer_);
    return out;
  }

 private:
  template <class T>
  ZResult Fixed(T value) {
    const std::size_t offset = buffer_.size();
    buffer_.resize(offset + sizeof(T));
    detail::StoreLittleEndian(value, buffer_.data() + offset);
    return Z_OK;
  }

  std::vector<std::uint8_t> buffer_;
};

}  // namespace velmor::zenoh::ext
