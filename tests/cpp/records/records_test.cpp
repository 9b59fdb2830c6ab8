#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "records/record_field_list.hpp"
#include "velmor/qrk/joint_group.hpp"
#include "velmor/qrk/plan_info.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk {
namespace {

TEST(JointGroupNames, HoldsTheSixMembersAscendingAndNothingForOne) {
  using Rows = std::vector<std::pair<JointGroup, std::string>>;
  const Rows expected{
      {JointGroup::UNKNOWN, "UNKNOWN"}, {JointGroup::ALL, "ALL"},     {JointGroup::ARMS, "ARMS"},
      {JointGroup::ARM_1, "ARM_1"},     {JointGroup::ARM_2, "ARM_2"}, {JointGroup::EXT_AXIS, "EXT_AXIS"},
  };
  const auto& names = JointGroupNames();
  EXPECT_EQ(Rows(names.begin(), names.end()), expected);
  EXPECT_THROW(names.at(static_cast<JointGroup>(1)), std::out_of_range);
  EXPECT_THROW(names.at(static_cast<JointGroup>(6)), std::out_of_range);
}

// Default-initialises a record on top of garbage: a field that lacks an
// initialiser keeps the garbage instead of reading zero.
template <typename Record, typename Check>
void OnDirtyMemory(Check check) {
  alignas(Record) unsigned char storage[sizeof(Record)];
  std::memset(storage, 0xA5, sizeof storage);
  // Keeps the optimiser from dropping the fill as a store to dead storage.
  asm volatile("" : : "r"(storage) : "memory");
  Record* record = new (storage) Record;
  check(*record);
  record->~Record();
}

// Zero, false or empty, whatever the field's type.
template <class T>
bool IsZero(const T& value);

template <class T, std::size_t N>
bool IsZero(const std::array<T, N>& values) {
  return std::all_of(values.begin(), values.end(), [](const T& v) { return IsZero(v); });
}

template <class A, class B>
bool IsZero(const std::pair<A, B>& value) {
  return IsZero(value.first) && IsZero(value.second);
}

template <class T>
bool IsZero(const T& value) {
  if constexpr (std::is_arithmetic_v<T>) {
    return value == T{};
  } else {
    return value.empty();
  }
}

// Every field the record's field list names (which the list's own check
// holds to every field the record has), so that a field added without an
// initialiser fails here.
template <class Record>
void ExpectEveryFieldZeroOnDirtyMemory() {
  OnDirtyMemory<Record>([](const Record& record) {
    ForEachNamedField<Record>([&](const auto& field) { EXPECT_TRUE(IsZero(record.*field.member)) << field.name; });
  });
}

TEST(RecordDefaults, EveryFieldOfEveryRecordStartsAtZero) {
  ExpectEveryFieldZeroOnDirtyMemory<RobotStates>();
  ExpectEveryFieldZeroOnDirtyMemory<RobotActions>();
  ExpectEveryFieldZeroOnDirtyMemory<PlanInfo>();
  ExpectEveryFieldZeroOnDirtyMemory<PrimitiveStates>();
}

}  // namespace
}  // namespace velmor::qrk
