#pragma once
// The fields of the records handed to callers, in declaration order, each with
// its name. The Python properties, the recorder's columns and the info
// report's fields all derive from this one list, so a field added to a record
// reaches every one of them by being added here; the size check below fails
// the build when a record gains a field this list lacks.
#include <cstddef>
#include <tuple>

#include "velmor/qrk/plan_info.hpp"
#include "velmor/qrk/primitive_states.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk {

template <class Record, class Member>
struct NamedField {
  using Type = Member;
  const char* name;
  Member Record::*member;
};

template <class Record, class Member>
constexpr NamedField<Record, Member> Field(const char* name, Member Record::*member) {
  return {name, member};
}

template <class Record>
struct FieldList;  // specialised per record below

template <>
struct FieldList<RobotStates> {
  using R = RobotStates;
  static constexpr auto kFields = std::make_tuple(
      Field("timestamp", &R::timestamp), Field("q", &R::q), Field("theta", &R::theta), Field("dq", &R::dq),
      Field("dtheta", &R::dtheta), Field("tau", &R::tau), Field("tau_dot", &R::tau_dot), Field("tau_ext", &R::tau_ext),
      Field("tau_interact", &R::tau_interact), Field("temperature", &R::temperature),
      Field("flange_pose", &R::flange_pose), Field("tcp_pose", &R::tcp_pose), Field("tcp_twist", &R::tcp_twist),
      Field("tcp_wrench", &R::tcp_wrench), Field("tcp_wrench_local", &R::tcp_wrench_local),
      Field("raw_tcp_wrench", &R::raw_tcp_wrench), Field("raw_tcp_wrench_local", &R::raw_tcp_wrench_local),
      Field("raw_ft_sensor", &R::raw_ft_sensor));
};

template <>
struct FieldList<RobotActions> {
  using R = RobotActions;
  static constexpr auto kFields =
      std::make_tuple(Field("timestamp", &R::timestamp), Field("q_d", &R::q_d), Field("dq_d", &R::dq_d),
                      Field("tau_d", &R::tau_d), Field("tcp_pose_d", &R::tcp_pose_d),
                      Field("tcp_twist_d", &R::tcp_twist_d), Field("tcp_wrench_d", &R::tcp_wrench_d));
};

template <>
struct FieldList<PrimitiveStates> {
  using R = PrimitiveStates;
  static constexpr auto kFields =
      std::make_tuple(Field("pt_name", &R::pt_name), Field("names_and_values", &R::names_and_values));
};

template <>
struct FieldList<PlanInfo> {
  using R = PlanInfo;
  static constexpr auto kFields = std::make_tuple(
      Field("pt_name", &R::pt_name), Field("node_name", &R::node_name), Field("node_path", &R::node_path),
      Field("node_path_time_period", &R::node_path_time_period), Field("node_path_number", &R::node_path_number),
      Field("assigned_plan_name", &R::assigned_plan_name), Field("velocity_scale", &R::velocity_scale),
      Field("waiting_for_step", &R::waiting_for_step));
};

/// Calls `f(field)` for every NamedField of `Record`, in declaration order.
template <class Record, class F>
constexpr void ForEachNamedField(F&& f) {
  std::apply([&](const auto&... fields) { (f(fields), ...); }, FieldList<Record>::kFields);
}

namespace detail {

template <class Record>
constexpr std::size_t ListedBytes() {
  return std::apply([](const auto&... fields) { return (sizeof(typename std::decay_t<decltype(fields)>::Type) + ...); },
                    FieldList<Record>::kFields);
}

// A record whose fields all appear in the list leaves less than one alignment
// unit of padding unaccounted for; a missing field leaves at least its own
// size, and a field listed twice overshoots.
template <class Record>
constexpr bool kListsEveryField = ListedBytes<Record>() <= sizeof(Record) &&
                                  sizeof(Record) - ListedBytes<Record>() < alignof(Record);

static_assert(kListsEveryField<RobotStates>);
static_assert(kListsEveryField<RobotActions>);
static_assert(kListsEveryField<PrimitiveStates>);
static_assert(kListsEveryField<PlanInfo>);

}  // namespace detail
}  // namespace velmor::qrk
