#pragma once
// Mapping a payload instead of decoding it. One pass checks that the bytes
// are a valid T written the way zenoh's serializer writes it (the length of
// every fixed-size array a single byte) and notes where each variable-length
// sequence starts and how many elements it holds. The payload can then be
// kept as it is and read in place: every fixed-size part sits at a known
// offset, and a sequence's elements at a fixed stride.
//
// The pass is stricter than the decoder, never looser: whatever it accepts
// the decoder accepts with the same content (the stream fuzzers check it),
// and what it refuses goes to the decoder, which remains the judge of
// validity. Only records of fixed-size parts and sequences of fixed-size
// elements can be mapped, which is what the stream messages are.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "messages/deserializer.hpp"
#include "messages/field_readers.hpp"
#include "messages/record_fields.hpp"

namespace velmor::zenoh_msgs {

/// `count` elements starting `offset` bytes into a payload.
struct WireRun {
  std::uint32_t offset = 0;
  std::uint32_t count = 0;
};

namespace wire {

// The whole pass is inlined into MapPayload, so that the position and the
// defects live in registers; a call per field would cost more than the field.
#if defined(__GNUC__)
#define VELMOR_WIRE_INLINE [[gnu::always_inline]] inline
#else
#define VELMOR_WIRE_INLINE inline
#endif

using zenoh::ext::detail::kIsWireScalar;
using zenoh::ext::detail::LoadLittleEndian;

template <class T, class = void>
struct IsFixed : std::bool_constant<kIsWireScalar<T> || std::is_same_v<T, bool>> {};
template <class T, std::size_t N>
struct IsFixed<std::array<T, N>> : IsFixed<T> {};
template <class Record>
struct IsFixed<Record, std::enable_if_t<kIsRecord<Record>>> {
  static constexpr bool value =
      std::apply([](auto... members) { return (IsFixed<MemberTypeT<decltype(members)>>::value && ...); },
                 RecordFields<Record>::kMembers);
};
/// A T whose bytes are equally many in every payload (written canonically).
template <class T>
inline constexpr bool kIsFixed = IsFixed<T>::value;

/// Bytes of a fixed-size T.
template <class T>
inline constexpr std::size_t kSize = Reader<T>::kMinWireSize;

template <class T>
struct IsVector : std::false_type {};
template <class T, class Allocator>
struct IsVector<std::vector<T, Allocator>> : std::true_type {};

template <class T>
struct IsScalarArray : std::false_type {};
template <class T, std::size_t N>
struct IsScalarArray<std::array<T, N>> : std::bool_constant<kIsWireScalar<T>> {};

/// Variable-length sequences in a T, each one run of its map.
template <class T>
constexpr std::size_t RunCount() {
  if constexpr (IsVector<T>::value) {
    return 1;
  } else if constexpr (kIsRecord<T>) {
    return std::apply(
        [](auto... members) { return (std::size_t{0} + ... + RunCount<MemberTypeT<decltype(members)>>()); },
        RecordFields<T>::kMembers);
  } else {
    return 0;
  }
}

/// Zero when the kSize<T> bytes at `p` are a canonical T. Defects are OR-ed
/// together rather than checked one by one: a sample is nearly always good,
/// and a branch-free pass over it is the cheapest.
template <class T>
VELMOR_WIRE_INLINE std::uint64_t Defects(const std::uint8_t* p) noexcept {
  static_assert(kIsFixed<T>);
  if constexpr (kIsWireScalar<T>) {
    return 0;
  } else if constexpr (std::is_same_v<T, bool>) {
    return *p & 0xFEu;
  } else if constexpr (kIsRecord<T>) {
    std::uint64_t defects = 0;
    std::apply(
        [&](auto... members) {
          ((defects |= Defects<MemberTypeT<decltype(members)>>(p), p += kSize<MemberTypeT<decltype(members)>>), ...);
        },
        RecordFields<T>::kMembers);
    return defects;
  } else {
    using Element = typename T::value_type;
    constexpr std::size_t N = std::tuple_size_v<T>;
    static_assert(N < 0x80, "a longer array's length takes more than one byte");
    std::uint64_t defects = *p ^ N;
    const std::uint8_t* elements = p + 1;
    if constexpr (std::is_same_v<Element, bool> && N >= 8) {
      // Eight bools a word; the last word may overlap the one before.
      constexpr std::uint64_t kNotBool = 0xFEFEFEFEFEFEFEFEu;
      std::uint64_t word = 0;
      for (std::size_t i = 0; i + 8 <= N; i += 8) {
        std::memcpy(&word, elements + i, 8);
        defects |= word & kNotBool;
      }
      std::memcpy(&word, elements + N - 8, 8);
      defects |= word & kNotBool;
    } else if constexpr (!kIsWireScalar<Element>) {
      for (std::size_t i = 0; i < N; ++i) defects |= Defects<Element>(elements + i * kSize<Element>);
    }
    return defects;
  }
}

/// Reads a fixed-size T from bytes without Defects.
template <class T>
T Load(const std::uint8_t* p) noexcept {
  static_assert(kIsFixed<T>);
  if constexpr (kIsWireScalar<T>) {
    return LoadLittleEndian<T>(p);
  } else if constexpr (std::is_same_v<T, bool>) {
    return *p == 1;
  } else if constexpr (kIsRecord<T>) {
    T out{};
    ForEachField(out, [&p](auto& field) {
      field = Load<std::remove_reference_t<decltype(field)>>(p);
      p += kSize<std::remove_reference_t<decltype(field)>>;
    });
    return out;
  } else {
    using Element = typename T::value_type;
    T out{};
    if constexpr (std::is_same_v<Element, bool> ||
                  (kIsWireScalar<Element> && zenoh::ext::detail::kHostIsLittleEndian)) {
      std::memcpy(out.data(), p + 1, sizeof out);  // canonical bools are the bytes 0 and 1
    } else {
      for (std::size_t i = 0; i < out.size(); ++i) out[i] = Load<Element>(p + 1 + i * kSize<Element>);
    }
    return out;
  }
}

struct LongLength {
  std::size_t value;
  const std::uint8_t* end;  // null when there is no valid length
};

// A length of more than one byte: rare, so a call of its own, kept out of the
// pass (whose position then never leaves a register).
inline LongLength ReadLongLength(const std::uint8_t* pos, const std::uint8_t* end) noexcept {
  zenoh::ext::Deserializer d(pos, static_cast<std::size_t>(end - pos));
  std::size_t value = 0;
  if (d.deserialize_sequence_length(value) != zenoh::Z_OK) return {0, nullptr};
  return {value, end - d.remaining()};
}

/// Walks a payload, filling one run per sequence in wire order.
class Mapper {
 public:
  /// `size` must fit 32 bits.
  Mapper(const std::uint8_t* data, std::size_t size, WireRun* runs) noexcept : begin_(data), size_(size), run_(runs) {}

  /// Maps one T at the position, followed by at least kRest more bytes.
  /// Every check includes what must follow, so that the next field finds at
  /// least its smallest size there and reads its first byte unchecked; the
  /// decoder refuses a payload too short for the rest just the same.
  template <class T, std::size_t kRest>
  VELMOR_WIRE_INLINE bool Map() noexcept {
    if constexpr (kIsFixed<T>) {
      if (pos_ + kSize<T> + kRest > size_ || Defects<T>(begin_ + pos_) != 0) return false;
      pos_ += kSize<T>;
      return true;
    } else if constexpr (IsVector<T>::value) {
      return MapSequence<typename T::value_type, kRest>();
    } else {
      static_assert(kIsRecord<T>, "only records, fixed-size parts and their sequences can be mapped");
      return MapFields<T, kRest>(std::make_index_sequence<std::tuple_size_v<decltype(RecordFields<T>::kMembers)>>());
    }
  }

  VELMOR_WIRE_INLINE bool AtEnd() const noexcept { return pos_ == size_; }

 private:
  template <class Record, std::size_t kRest, std::size_t... kField>
  VELMOR_WIRE_INLINE bool MapFields(std::index_sequence<kField...>) noexcept {
    return (Map<FieldType<Record, kField>, kRest + MinSizeAfter<Record, kField>()>() && ...);
  }

  template <class Record, std::size_t kField>
  using FieldType =
      MemberTypeT<std::tuple_element_t<kField, std::remove_const_t<decltype(RecordFields<Record>::kMembers)>>>;

  // The fewest bytes the fields after kField take.
  template <class Record, std::size_t kField>
  static constexpr std::size_t MinSizeAfter() {
    return MinSizeFrom<Record, kField + 1>(
        std::make_index_sequence<std::tuple_size_v<decltype(RecordFields<Record>::kMembers)> - kField - 1>());
  }
  template <class Record, std::size_t kFirst, std::size_t... kOffset>
  static constexpr std::size_t MinSizeFrom(std::index_sequence<kOffset...>) {
    return (std::size_t{0} + ... + Reader<FieldType<Record, kFirst + kOffset>>::kMinWireSize);
  }

  // Positions are offsets from begin_, which is what the runs record. The
  // length's first byte is there: the check before this one made sure.
  template <class Element, std::size_t kRest>
  VELMOR_WIRE_INLINE bool MapSequence() noexcept {
    static_assert(kIsFixed<Element>, "sequences of variable-size elements cannot be mapped");
    std::size_t count;
    if (begin_[pos_] < 0x80) {
      count = begin_[pos_++];
    } else {
      const LongLength length = ReadLongLength(begin_ + pos_, begin_ + size_);
      if (length.end == nullptr) return false;
      pos_ = static_cast<std::size_t>(length.end - begin_);
      // Divided, not multiplied: a long count can be anything, and its
      // product with the element size wraps where size_t is 32 bits.
      if (length.value > (size_ - pos_) / kSize<Element>) return false;
      count = length.value;
    }
    // Neither sum wraps: the elements fit the payload (or, with a one-byte
    // count, take a few kilobytes), and the payload is at most half of
    // size_t's range (MapPayload).
    const std::size_t end = pos_ + count * kSize<Element>;
    if (end + kRest > size_) return false;
    if constexpr (!kIsWireScalar<Element>) {
      if (ElementDefects<Element>(begin_ + pos_, count) != 0) return false;
    }
    *run_++ = WireRun{static_cast<std::uint32_t>(pos_), static_cast<std::uint32_t>(count)};
    pos_ = end;
    return true;
  }

  // Defects of the `count` elements at `p`, all inside the payload.
  template <class Element>
  VELMOR_WIRE_INLINE static std::uint64_t ElementDefects(const std::uint8_t* p, std::size_t count) noexcept {
    constexpr std::size_t kStride = kSize<Element>;
    std::uint64_t defects = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    if constexpr (IsScalarArray<Element>::value && kStride >= 8 && kStride < 16) {
      i = LengthPairDefects<kStride, std::tuple_size_v<Element>>(p, count, defects);
    }
#endif
    for (; i < count; ++i) defects |= Defects<Element>(p + i * kStride);
    return defects;
  }

#if defined(__SSE2__)
  // Arrays of scalars shorter than 16 bytes can only be wrong in their length
  // byte. One 16-byte load covers two of them (the second's length byte sits
  // kStride bytes in) without leaving the pair, so without leaving the
  // payload. Checks whole pairs and returns the elements checked.
  template <std::size_t kStride, unsigned kLength>
  VELMOR_WIRE_INLINE static std::size_t LengthPairDefects(const std::uint8_t* p, std::size_t count,
                                                          std::uint64_t& defects) noexcept {
    const __m128i lengths = _mm_set1_epi8(static_cast<char>(kLength));
    const auto pair_equal = [&](std::size_t i) {
      return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i * kStride)), lengths);
    };
    __m128i equal = _mm_set1_epi8(-1);
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
      equal = _mm_and_si128(equal, _mm_and_si128(_mm_and_si128(pair_equal(i), pair_equal(i + 2)),
                                                 _mm_and_si128(pair_equal(i + 4), pair_equal(i + 6))));
    }
    for (; i + 2 <= count; i += 2) equal = _mm_and_si128(equal, pair_equal(i));
    constexpr int kLengthBytes = 1 | 1 << kStride;
    defects |= static_cast<std::uint64_t>((_mm_movemask_epi8(equal) & kLengthBytes) ^ kLengthBytes);
    return i;
  }
#endif

  const std::uint8_t* begin_;
  std::size_t size_;
  std::size_t pos_ = 0;
  WireRun* run_;
};

template <class Member, class Record, class Field>
bool SameMember(Member member, Field Record::*field) {
  if constexpr (std::is_same_v<Member, Field Record::*>) {
    return member == field;
  } else {
    return false;
  }
}

// Bytes before `field` in a record of fixed-size fields.
template <class Record, class Field, std::size_t... kIndex>
std::size_t FieldOffset(Field Record::*field, std::index_sequence<kIndex...>) {
  using Members = std::remove_const_t<decltype(RecordFields<Record>::kMembers)>;
  std::size_t offset = 0;
  bool found = false;
  ((found = found || SameMember(std::get<kIndex>(RecordFields<Record>::kMembers), field),
    offset += found ? 0 : kSize<MemberTypeT<std::tuple_element_t<kIndex, Members>>>),
   ...);
  return offset;
}

#undef VELMOR_WIRE_INLINE

}  // namespace wire

/// The runs of a canonical T filling the `size` bytes at `data`, in wire
/// order; false if the bytes are anything else (the decoder may still
/// accept them) or too many for 32-bit offsets (on a 32-bit build, for half
/// of size_t's range).
template <class T>
bool MapPayload(const std::uint8_t* data, std::size_t size, std::array<WireRun, wire::RunCount<T>()>& runs) noexcept {
  constexpr std::size_t kLargest =
      std::min<std::size_t>(std::numeric_limits<std::uint32_t>::max(), std::numeric_limits<std::size_t>::max() / 2);
  // The pass reads each field's first byte once the fields before it have
  // made sure it is there; the smallest T makes sure of the first.
  if (size > kLargest || size < Reader<T>::kMinWireSize) return false;
  wire::Mapper mapper(data, size, runs.data());
  return mapper.Map<T, 0>() && mapper.AtEnd();
}

/// The elements of one run of a mapped payload, read in place.
template <class T>
class WireSequence {
 public:
  WireSequence(const std::uint8_t* data, std::size_t count) noexcept : data_(data), count_(count) {}
  std::size_t size() const noexcept { return count_; }
  T operator[](std::size_t i) const noexcept { return wire::Load<T>(data_ + i * wire::kSize<T>); }

 private:
  const std::uint8_t* data_;
  std::size_t count_;
};

}  // namespace velmor::zenoh_msgs
