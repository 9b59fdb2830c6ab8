#include "messages/serializer.hpp"

namespace velmor::zenoh::ext {

ZResult Serializer::serialize_sequence_length(std::size_t length) {
  std::uint64_t value = length;
  while (value >= 0x80) {
    buffer_.push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  buffer_.push_back(static_cast<std::uint8_t>(value));
  return Z_OK;
}

ZResult Serializer::serialize_string(std::string_view text) {
  serialize_sequence_length(text.size());
  buffer_.insert(buffer_.end(), text.begin(), text.end());
  return Z_OK;
}

}  // namespace velmor::zenoh::ext
