#pragma once
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace velmor::qrk {

/// The measured state of one joint group. A default-constructed value is all
/// zero. The joint vectors hold one entry per joint of the group. A pose is a
/// position followed by an orientation quaternion (w, x, y, z); a wrench is a
/// force followed by a moment.
struct RobotStates {
  /// The stream's time stamp, copied bit for bit (the second half arrives
  /// unsigned and is kept signed here).
  std::pair<int32_t, int32_t> timestamp{0, 0};
  std::vector<double> q;
  std::vector<double> theta;
  std::vector<double> dq;
  std::vector<double> dtheta;
  std::vector<double> tau;
  std::vector<double> tau_dot;
  std::vector<double> tau_ext;
  std::vector<double> tau_interact;
  std::vector<double> temperature;
  std::array<double, 7> flange_pose{};
  std::array<double, 7> tcp_pose{};
  std::array<double, 6> tcp_twist{};
  /// tcp_wrench_local rotated into the world frame by tcp_pose's orientation;
  /// raw_tcp_wrench is raw_tcp_wrench_local rotated the same way.
  std::array<double, 6> tcp_wrench{};
  std::array<double, 6> tcp_wrench_local{};
  std::array<double, 6> raw_tcp_wrench{};
  std::array<double, 6> raw_tcp_wrench_local{};
  std::array<double, 6> raw_ft_sensor{};
};

}  // namespace velmor::qrk
