#pragma once
// FieldTable(record): a record as velmor_foxglove.h's field table, one
// vf_field per entry of the record's field list (FieldList, in its order and
// under its names), each pointing into the record: valid while the record
// lives unchanged. A field added to the list reaches the Foxglove schemas
// and messages through this table alone; a member of a type without a kind
// below does not compile.
#include <velmor_foxglove.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "records/record_field_list.hpp"

namespace velmor::foxglove::detail {

template <class T>
struct FieldKind {
  static_assert(sizeof(T) == 0, "a record's field of a type with no vf_field_kind: add one in field_table.hpp");
};

// The time stamp pair, read as two int32_t in a row.
using StampPair = std::pair<std::int32_t, std::int32_t>;
static_assert(std::is_standard_layout_v<StampPair> && sizeof(StampPair) == 2 * sizeof(std::int32_t));

template <>
struct FieldKind<StampPair> {
  static constexpr vf_field_kind kKind = VF_FIELD_I32_ARRAY;
  static const void* Data(const StampPair& value) { return &value.first; }
  static std::size_t Size(const StampPair&) { return 2; }
};

template <>
struct FieldKind<std::vector<double>> {
  static constexpr vf_field_kind kKind = VF_FIELD_F64_SEQUENCE;
  static const void* Data(const std::vector<double>& value) { return value.data(); }
  static std::size_t Size(const std::vector<double>& value) { return value.size(); }
};

template <std::size_t N>
struct FieldKind<std::array<double, N>> {
  static constexpr vf_field_kind kKind = VF_FIELD_F64_ARRAY;
  static const void* Data(const std::array<double, N>& value) { return value.data(); }
  static std::size_t Size(const std::array<double, N>&) { return N; }
};

template <>
struct FieldKind<bool> {
  static constexpr vf_field_kind kKind = VF_FIELD_BOOL;
  static const void* Data(const bool& value) { return &value; }
  static std::size_t Size(const bool&) { return 1; }
};

template <std::size_t N>
struct FieldKind<std::array<bool, N>> {
  static constexpr vf_field_kind kKind = VF_FIELD_BOOL_ARRAY;
  static const void* Data(const std::array<bool, N>& value) { return value.data(); }
  static std::size_t Size(const std::array<bool, N>&) { return N; }
};

template <class Record>
using FieldTableOf = std::array<vf_field, std::tuple_size_v<std::decay_t<decltype(qrk::FieldList<Record>::kFields)>>>;

template <class Record>
FieldTableOf<Record> FieldTable(const Record& record) {
  FieldTableOf<Record> table{};
  std::size_t i = 0;
  qrk::ForEachNamedField<Record>([&](const auto& field) {
    using Kind = FieldKind<typename std::decay_t<decltype(field)>::Type>;
    const auto& value = record.*field.member;
    table[i++] = vf_field{field.name, Kind::kKind, Kind::Data(value), Kind::Size(value)};
  });
  return table;
}

}  // namespace velmor::foxglove::detail
