#pragma once
// Top-level encoding and decoding of a whole payload. A decoder reads the
// message and then insists that every byte was used; an encoder returns the
// payload bytes. All failures are zenoh::ZException (see codec_errors.hpp).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/codec_errors.hpp"
#include "messages/deserializer.hpp"
#include "messages/field_readers.hpp"
#include "messages/field_writers.hpp"
#include "messages/serializer.hpp"

namespace velmor::zenoh_msgs {

/// Decodes the `size` bytes at `data` into `out`, reusing the capacity of its
/// vectors. Throws ZException; `out` is then partly overwritten, so callers
/// that must never expose a partial message decode into a scratch object.
template <class T>
void DecodeInto(T& out, const std::uint8_t* data, std::size_t size) {
  zenoh::ext::Deserializer d(data, size);
  Read(d, out);
  if (!d.is_done()) ThrowCodecError(kSurplusBytes, zenoh::Z_EDESERIALIZE);
}

/// Returns the message held by the `size` bytes at `data`; throws ZException
/// if they are not exactly one valid T.
template <class T>
T Decode(const std::uint8_t* data, std::size_t size) {
  T message{};
  DecodeInto(message, data, size);
  return message;
}

template <class T>
T Decode(const std::vector<std::uint8_t>& payload) {
  return Decode<T>(payload.data(), payload.size());
}

/// The payload bytes of `message`.
template <class T>
std::vector<std::uint8_t> Encode(const T& message) {
  zenoh::ext::Serializer s;
  Write(s, message);
  return s.finish();
}

}  // namespace velmor::zenoh_msgs
