#include "messages/deserializer.hpp"

#include <limits>

namespace velmor::zenoh::ext {

namespace {
// Ten 7-bit groups cover 64 bits; the tenth may carry only bit 63.
constexpr int kMaxLengthBytes = 10;
}  // namespace

ZResult Deserializer::DeserializeMultiByteLength(std::size_t& out) noexcept {
  std::uint64_t value = 0;
  const std::uint8_t* p = pos_;
  for (int i = 0; i < kMaxLengthBytes; ++i) {
    if (p == end_) return Z_EDESERIALIZE;
    const std::uint8_t byte = *p++;
    if (i == kMaxLengthBytes - 1 && byte > 1) return Z_EDESERIALIZE;
    value |= static_cast<std::uint64_t>(byte & 0x7f) << (7 * i);
    if ((byte & 0x80) == 0) {
      if (value > std::numeric_limits<std::size_t>::max()) return Z_EDESERIALIZE;
      out = static_cast<std::size_t>(value);
      pos_ = p;
      return Z_OK;
    }
  }
  return Z_EDESERIALIZE;  // unreachable: the tenth byte never continues
}

ZResult Deserializer::deserialize_string(std::string& out) {
  const std::uint8_t* const start = pos_;
  std::size_t length = 0;
  if (const ZResult rc = deserialize_sequence_length(length); rc != Z_OK) return rc;
  if (length > remaining() || reserve_decoded(length) != Z_OK) {
    pos_ = start;
    return Z_EDESERIALIZE;
  }
  out.assign(reinterpret_cast<const char*>(pos_), length);
  pos_ += length;
  return Z_OK;
}

}  // namespace velmor::zenoh::ext
