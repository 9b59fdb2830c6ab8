#pragma once
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace velmor::qrk {

/// The commanded state of one joint group. A default-constructed value is all
/// zero. The time stamp is the same one RobotStates carries.
struct RobotActions {
  std::pair<int32_t, int32_t> timestamp{0, 0};
  std::vector<double> q_d;
  std::vector<double> dq_d;
  std::vector<double> tau_d;
  std::array<double, 7> tcp_pose_d{};
  std::array<double, 6> tcp_twist_d{};
  std::array<double, 6> tcp_wrench_d{};
};

}  // namespace velmor::qrk
