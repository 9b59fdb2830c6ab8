#pragma once
// The two periodic messages the robot's data server publishes: the measured
// state (AllBasicStreamData) and the commanded values (AllExtraStreamData).
// Fields appear in wire order. Vectors named after a joint quantity hold one
// entry per joint of the whole robot; cartesian_data[i] belongs to the joint
// group group_indices[i]. Consistency between fields is not checked while
// decoding; the stream intake checks it when it reads the data.
#include <array>
#include <cstdint>
#include <tuple>
#include <vector>

#include "messages/record_fields.hpp"

namespace velmor::zenoh_msgs::qrk_msg {

struct StatusData {
  std::uint16_t aux_u16 = 0;  // carried, not interpreted
  std::int16_t aux_i16 = 0;   // carried, not interpreted
  bool estop_released = false;
  bool enabling_device_on = false;
  std::array<bool, 8> aux_flags{};  // carried, not interpreted
  std::array<bool, 20> digital_inputs{};
  std::array<bool, 20> digital_outputs{};
};

struct JointStateData {
  std::vector<float> q;
  std::vector<float> theta;
  std::vector<float> dq;
  std::vector<float> dtheta;
  std::vector<float> tau;
  std::vector<float> tau_dot;
  std::vector<float> tau_ext;
  std::vector<float> tau_interact;
  std::vector<float> temperature;
  std::vector<std::array<float, 3>> aux_vec3_a;  // carried, not interpreted
  std::vector<std::array<float, 3>> aux_vec3_b;  // carried, not interpreted
};

/// One joint group. Poses are x, y, z, then the quaternion w, x, y, z; a
/// wrench is force then moment.
struct CartesianStateData {
  std::array<float, 7> flange_pose{};
  std::array<float, 7> tcp_pose{};
  std::array<float, 6> tcp_twist{};
  std::array<float, 6> tcp_wrench_local{};
  std::array<float, 6> aux_wrench{};  // carried, not interpreted
  std::array<float, 6> raw_tcp_wrench_local{};
  std::array<float, 6> raw_ft_sensor{};
};

struct AllBasicStreamData {
  StatusData status;
  std::vector<std::uint16_t> group_indices;
  JointStateData joint_data;
  std::vector<CartesianStateData> cartesian_data;
  std::int32_t timestamp_first = 0;
  std::uint32_t timestamp_second = 0;
};

struct JointDesiredData {
  std::vector<float> q_d;
  std::vector<float> dq_d;
  std::vector<float> tau_d;
};

struct CartesianDesiredData {
  std::array<float, 7> tcp_pose_d{};
  std::array<float, 6> tcp_twist_d{};
  std::array<float, 6> tcp_wrench_d{};
};

struct AllExtraStreamData {
  std::vector<std::uint16_t> group_indices;
  JointDesiredData joint_data;
  std::vector<CartesianDesiredData> cartesian_data;
};

}  // namespace velmor::zenoh_msgs::qrk_msg

namespace velmor::zenoh_msgs {

template <>
struct RecordFields<qrk_msg::StatusData> {
  using T = qrk_msg::StatusData;
  static constexpr auto kMembers = std::make_tuple(&T::aux_u16, &T::aux_i16, &T::estop_released, &T::enabling_device_on,
                                                   &T::aux_flags, &T::digital_inputs, &T::digital_outputs);
};

template <>
struct RecordFields<qrk_msg::JointStateData> {
  using T = qrk_msg::JointStateData;
  static constexpr auto kMembers =
      std::make_tuple(&T::q, &T::theta, &T::dq, &T::dtheta, &T::tau, &T::tau_dot, &T::tau_ext, &T::tau_interact,
                      &T::temperature, &T::aux_vec3_a, &T::aux_vec3_b);
};

template <>
struct RecordFields<qrk_msg::CartesianStateData> {
  using T = qrk_msg::CartesianStateData;
  static constexpr auto kMembers = std::make_tuple(&T::flange_pose, &T::tcp_pose, &T::tcp_twist, &T::tcp_wrench_local,
                                                   &T::aux_wrench, &T::raw_tcp_wrench_local, &T::raw_ft_sensor);
};

template <>
struct RecordFields<qrk_msg::AllBasicStreamData> {
  using T = qrk_msg::AllBasicStreamData;
  static constexpr auto kMembers = std::make_tuple(&T::status, &T::group_indices, &T::joint_data, &T::cartesian_data,
                                                   &T::timestamp_first, &T::timestamp_second);
};

template <>
struct RecordFields<qrk_msg::JointDesiredData> {
  using T = qrk_msg::JointDesiredData;
  static constexpr auto kMembers = std::make_tuple(&T::q_d, &T::dq_d, &T::tau_d);
};

template <>
struct RecordFields<qrk_msg::CartesianDesiredData> {
  using T = qrk_msg::CartesianDesiredData;
  static constexpr auto kMembers = std::make_tuple(&T::tcp_pose_d, &T::tcp_twist_d, &T::tcp_wrench_d);
};

template <>
struct RecordFields<qrk_msg::AllExtraStreamData> {
  using T = qrk_msg::AllExtraStreamData;
  static constexpr auto kMembers = std::make_tuple(&T::group_indices, &T::joint_data, &T::cartesian_data);
};

}  // namespace velmor::zenoh_msgs
