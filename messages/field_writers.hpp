#pragma once
// Writers per field kind, the mirror of field_readers.hpp: Writer<T>::Write(s,
// value) appends one T. A failing primitive throws zenoh::ZException with
// "Failed to serialize <kind>" (uint16_t, sequence length, ...) and its code.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "messages/codec_errors.hpp"
#include "messages/record_fields.hpp"
#include "messages/serializer.hpp"

namespace velmor::zenoh_msgs {

template <class T, class Enable = void>
struct Writer;

template <class T>
void Write(zenoh::ext::Serializer& s, const T& value) {
  Writer<T>::Write(s, value);
}

namespace detail {

template <class T, auto Primitive, const char* Failure>
struct PrimitiveWriter {
  static constexpr const char* kFailure = Failure;
  static void Write(zenoh::ext::Serializer& s, const T& value) { ThrowIfFailed((s.*Primitive)(value), Failure); }
};

inline void WriteSequenceLength(zenoh::ext::Serializer& s, std::size_t length) {
  ThrowIfFailed(s.serialize_sequence_length(length), kSerializeSequenceLengthFailure);
}

template <class T>
void WriteSequence(zenoh::ext::Serializer& s, const T* values, std::size_t count) {
  WriteSequenceLength(s, count);
  if constexpr (zenoh::ext::detail::kIsWireScalar<T>) {
    ThrowIfFailed(s.serialize_scalars(values, count), Writer<T>::kFailure);
  } else {
    for (std::size_t i = 0; i < count; ++i) Writer<T>::Write(s, values[i]);
  }
}

}  // namespace detail

using zenoh::ext::Serializer;

template <>
struct Writer<bool> : detail::PrimitiveWriter<bool, &Serializer::serialize_bool, kSerializeBoolFailure> {};
template <>
struct Writer<std::uint16_t>
    : detail::PrimitiveWriter<std::uint16_t, &Serializer::serialize_uint16, kSerializeUint16Failure> {};
template <>
struct Writer<std::int16_t>
    : detail::PrimitiveWriter<std::int16_t, &Serializer::serialize_int16, kSerializeInt16Failure> {};
template <>
struct Writer<std::uint32_t>
    : detail::PrimitiveWriter<std::uint32_t, &Serializer::serialize_uint32, kSerializeUint32Failure> {};
template <>
struct Writer<std::int32_t>
    : detail::PrimitiveWriter<std::int32_t, &Serializer::serialize_int32, kSerializeInt32Failure> {};
template <>
struct Writer<float> : detail::PrimitiveWriter<float, &Serializer::serialize_float, kSerializeFloatFailure> {};

template <>
struct Writer<std::string> {
  static void Write(Serializer& s, const std::string& value) {
    ThrowIfFailed(s.serialize_string(value), kSerializeStringFailure);
  }
};

/// Framed exactly like a vector: the reader checks the length.
template <class T, std::size_t N>
struct Writer<std::array<T, N>> {
  static void Write(Serializer& s, const std::array<T, N>& value) { detail::WriteSequence(s, value.data(), N); }
};

template <class T, class Allocator>
struct Writer<std::vector<T, Allocator>> {
  static void Write(Serializer& s, const std::vector<T, Allocator>& value) {
    if constexpr (std::is_same_v<T, bool>) {  // no data() behind vector<bool>
      detail::WriteSequenceLength(s, value.size());
      for (const bool element : value) Writer<bool>::Write(s, element);
    } else {
      detail::WriteSequence(s, value.data(), value.size());
    }
  }
};

template <class Record>
struct Writer<Record, std::enable_if_t<kIsRecord<Record>>> {
  static void Write(Serializer& s, const Record& value) {
    ForEachField(value, [&s](const auto& field) { Writer<std::decay_t<decltype(field)>>::Write(s, field); });
  }
};

}  // namespace velmor::zenoh_msgs
