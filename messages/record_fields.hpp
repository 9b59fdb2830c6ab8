#pragma once
// A record (a message or a nested part of one) is its fields concatenated in
// declaration order, with no prefix of its own. Each record type states that
// order once, as a tuple of member pointers in a RecordFields specialization
// next to its definition; readers, writers and size bounds are all derived
// from that single list, so they cannot disagree about the layout.
//
//   template <> struct RecordFields<Point> {
//     static constexpr auto kMembers = std::make_tuple(&Point::x, &Point::y);
//   };
#include <tuple>
#include <type_traits>

namespace velmor::zenoh_msgs {

template <class Record>
struct RecordFields;  // specialised per record type

template <class T, class = void>
struct IsRecord : std::false_type {};
template <class T>
struct IsRecord<T, std::void_t<decltype(RecordFields<T>::kMembers)>> : std::true_type {};
template <class T>
inline constexpr bool kIsRecord = IsRecord<T>::value;

template <class MemberPointer>
struct MemberType;
template <class Class, class Member>
struct MemberType<Member Class::*> {
  using type = Member;
};
template <class MemberPointer>
using MemberTypeT = typename MemberType<MemberPointer>::type;

/// Calls `f(record.*member)` for every field in wire order.
template <class Record, class F>
void ForEachField(Record& record, F&& f) {
  std::apply([&](auto... members) { (f(record.*members), ...); }, RecordFields<std::remove_const_t<Record>>::kMembers);
}

}  // namespace velmor::zenoh_msgs
