#pragma once
// Readers per field kind. Reader<T>::Read(d, out) reads exactly one T and
// leaves `d` behind it, or throws zenoh::ZException (scalars: "Deserialization
// failure"; sequence lengths: "...Failed to read sequence length"; fixed
// arrays of the wrong length: "Incorrect sequence size"), after which `out`
// holds unspecified content. Reader<T>::kMinWireSize is the fewest bytes a T
// can occupy; vectors use it to bound what they allocate by the bytes that
// remain, whatever length the payload announces, and draw what they allocate
// from the deserializer's decoded allowance first (deserializer.hpp), so that
// elements far larger in memory than on the wire cannot multiply a payload.
//
// Fixed-width sequences are copied in bulk; nothing here is virtual.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "messages/codec_errors.hpp"
#include "messages/deserializer.hpp"
#include "messages/record_fields.hpp"

namespace velmor::zenoh_msgs {

template <class T, class Enable = void>
struct Reader;

template <class T>
void Read(zenoh::ext::Deserializer& d, T& out) {
  Reader<T>::Read(d, out);
}

namespace detail {

template <class T, auto Primitive, std::size_t MinWireSize>
struct PrimitiveReader {
  static constexpr std::size_t kMinWireSize = MinWireSize;
  static void Read(zenoh::ext::Deserializer& d, T& out) { ThrowIfFailed((d.*Primitive)(out), kDeserializationFailure); }
};

inline std::size_t ReadSequenceLength(zenoh::ext::Deserializer& d) {
  std::size_t length = 0;
  ThrowIfFailed(d.deserialize_sequence_length(length), kSequenceLengthFailure);
  return length;
}

// `count` elements of `element_size` bytes, drawn from the decoded allowance.
inline void ReserveDecoded(zenoh::ext::Deserializer& d, std::size_t count, std::size_t element_size) {
  if (count > static_cast<std::size_t>(-1) / element_size || d.reserve_decoded(count * element_size) != zenoh::Z_OK) {
    ThrowCodecError(kDeserializationFailure, zenoh::Z_EDESERIALIZE);
  }
}

constexpr std::size_t LengthPrefixSize(std::size_t length) {
  std::size_t bytes = 1;
  for (; length >= 0x80; length >>= 7) ++bytes;
  return bytes;
}

template <class Record>
constexpr std::size_t RecordMinWireSize() {
  return std::apply(
      [](auto... members) { return (std::size_t{0} + ... + Reader<MemberTypeT<decltype(members)>>::kMinWireSize); },
      RecordFields<Record>::kMembers);
}

}  // namespace detail

using zenoh::ext::Deserializer;

template <>
struct Reader<bool> : detail::PrimitiveReader<bool, &Deserializer::deserialize_bool, 1> {};
template <>
struct Reader<std::uint16_t> : detail::PrimitiveReader<std::uint16_t, &Deserializer::deserialize_uint16, 2> {};
template <>
struct Reader<std::int16_t> : detail::PrimitiveReader<std::int16_t, &Deserializer::deserialize_int16, 2> {};
template <>
struct Reader<std::uint32_t> : detail::PrimitiveReader<std::uint32_t, &Deserializer::deserialize_uint32, 4> {};
template <>
struct Reader<std::int32_t> : detail::PrimitiveReader<std::int32_t, &Deserializer::deserialize_int32, 4> {};
template <>
struct Reader<float> : detail::PrimitiveReader<float, &Deserializer::deserialize_float, 4> {};
template <>
struct Reader<std::string> : detail::PrimitiveReader<std::string, &Deserializer::deserialize_string, 1> {};

/// A sequence whose length must be exactly N; checked before any element is read.
template <class T, std::size_t N>
struct Reader<std::array<T, N>> {
  static constexpr std::size_t kMinWireSize = detail::LengthPrefixSize(N) + N * Reader<T>::kMinWireSize;

  static void Read(Deserializer& d, std::array<T, N>& out) {
    if (detail::ReadSequenceLength(d) != N) ThrowCodecError(kIncorrectSequenceSize, zenoh::Z_EDESERIALIZE);
    if constexpr (zenoh::ext::detail::kIsWireScalar<T>) {
      ThrowIfFailed(d.deserialize_scalars(out.data(), N), kDeserializationFailure);
    } else if constexpr (std::is_same_v<T, bool>) {
      ThrowIfFailed(d.deserialize_bools(out.data(), N), kDeserializationFailure);
    } else {
      for (T& element : out) Reader<T>::Read(d, element);
    }
  }
};

template <class T, class Allocator>
struct Reader<std::vector<T, Allocator>> {
  static constexpr std::size_t kMinWireSize = 1;

  static void Read(Deserializer& d, std::vector<T, Allocator>& out) {
    const std::size_t length = detail::ReadSequenceLength(d);
    // No vector can hold this many elements: the length itself is garbage.
    if (length > out.max_size()) ThrowCodecError(kSequenceLengthFailure, zenoh::Z_EDESERIALIZE);
    // The length comes off the wire and may be hostile. Every element takes at
    // least kMinWireSize bytes, so at most `readable` of them can be present:
    // nothing beyond that is ever allocated. A longer count fails at the first
    // element the payload cannot hold, with that element's error, exactly as
    // a payload cut short inside the sequence does.
    const std::size_t readable = d.remaining() / Reader<T>::kMinWireSize;
    if constexpr (zenoh::ext::detail::kIsWireScalar<T> || std::is_same_v<T, bool>) {
      // Reading element by element would fail with this same error.
      if (length > readable) ThrowCodecError(kDeserializationFailure, zenoh::Z_EDESERIALIZE);
    }
    const std::size_t present = length < readable ? length : readable;
    detail::ReserveDecoded(d, present, sizeof(T));
    // reserve() first: resize() alone may grow a reused vector to twice what
    // is needed, beyond the bound above.
    if constexpr (zenoh::ext::detail::kIsWireScalar<T>) {
      out.reserve(length);
      out.resize(length);
      ThrowIfFailed(d.deserialize_scalars(out.data(), length), kDeserializationFailure);
    } else if constexpr (std::is_same_v<T, bool>) {
      out.assign(length, false);
      for (std::size_t i = 0; i < length; ++i) {
        bool value = false;
        Reader<bool>::Read(d, value);
        out[i] = value;
      }
    } else {
      // Elements are overwritten in place, so a reused vector keeps the
      // capacity of its nested vectors and strings.
      out.reserve(present);
      out.resize(present);
      for (T& element : out) Reader<T>::Read(d, element);
      if (length > present) {
        T beyond{};
        Reader<T>::Read(d, beyond);  // fewer than kMinWireSize bytes are left: this throws
        ThrowCodecError(kDeserializationFailure, zenoh::Z_EDESERIALIZE);
      }
    }
  }
};

template <class Record>
struct Reader<Record, std::enable_if_t<kIsRecord<Record>>> {
  static constexpr std::size_t kMinWireSize = detail::RecordMinWireSize<Record>();

  static void Read(Deserializer& d, Record& out) {
    ForEachField(out, [&d](auto& field) { Reader<std::remove_reference_t<decltype(field)>>::Read(d, field); });
  }
};

}  // namespace velmor::zenoh_msgs
