#pragma once
// The one request and one reply type of every remote procedure. The request
// selects the procedure by number; the reply carries results in generic
// containers whose meaning depends on the procedure. Fields in wire order.
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "messages/record_fields.hpp"

namespace velmor::zenoh_msgs::qrk_msg {

/// The remote procedures of the robot's data server, by request_id.
enum class Procedure : std::uint16_t {
  kReachability = 0,
  kServerVersion = 1,
  kPrimitiveStates = 3,
  kPlanInfo = 4,
  kManipulability = 9,
  kJointGroupLayout = 10,
};

struct RPCRequest {
  std::uint16_t request_id = 0;
  std::vector<std::uint16_t> joint_groups;  // empty except for the joint-group layout
};

struct RPCReply {
  std::uint16_t request_id = 0;
  bool success = false;
  std::vector<std::uint16_t> joint_groups;  // entry i names the group of entry i of a parallel container
  std::vector<std::int32_t> int_container;
  std::vector<std::string> string_container;
  std::vector<float> float_container;
  std::vector<std::vector<float>> float2d_container;
};

}  // namespace velmor::zenoh_msgs::qrk_msg

namespace velmor::zenoh_msgs {

template <>
struct RecordFields<qrk_msg::RPCRequest> {
  using T = qrk_msg::RPCRequest;
  static constexpr auto kMembers = std::make_tuple(&T::request_id, &T::joint_groups);
};

template <>
struct RecordFields<qrk_msg::RPCReply> {
  using T = qrk_msg::RPCReply;
  static constexpr auto kMembers = std::make_tuple(&T::request_id, &T::success, &T::joint_groups, &T::int_container,
                                                   &T::string_container, &T::float_container, &T::float2d_container);
};

}  // namespace velmor::zenoh_msgs
