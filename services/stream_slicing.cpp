#include "services/stream_slicing.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>

#include "services/joint_segmentation.hpp"

namespace velmor::qrk_impl {
namespace {

using qrk::JointGroup;

template <std::size_t N>
void Widen(const std::array<float, N>& source, std::array<double, N>& destination) {
  std::copy(source.begin(), source.end(), destination.begin());
}

bool HasLayout(JointGroup group, const StartIds& start_ids, const Dofs& dofs) {
  if (start_ids.count(group) != 0 && dofs.count(group) != 0) return true;
  spdlog::error("[velmor::qrk::Client] Missing start ID or DoF metadata for joint group [{}]", static_cast<int>(group));
  return false;
}

// Start IDs arrive signed; a negative one reads as a huge unsigned start and
// therefore never fits.
std::uint32_t StartOf(JointGroup group, const StartIds& start_ids) {
  return static_cast<std::uint32_t>(start_ids.at(group));
}

}  // namespace

std::map<JointGroup, qrk::RobotStates> SliceStates(const BasicStreamData& basic, const GroupNames& groups,
                                                   const StartIds& start_ids, const Dofs& dofs) {
  const auto& cartesian = basic.cartesian_data;
  const auto& indices = basic.group_indices;
  if (cartesian.size() != indices.size()) {
    spdlog::error(
        "[velmor::qrk::Client] The received data has mismatched sizes: cartesian_data size is {}, expected number "
        "of joint groups is {}",
        cartesian.size(), indices.size());
    return {};
  }

  std::map<JointGroup, qrk::RobotStates> result;
  const auto& joints = basic.joint_data;
  for (const auto& entry : groups) {
    const JointGroup group = entry.first;
    if (!HasLayout(group, start_ids, dofs)) return {};
    qrk::RobotStates& states = result[group];
    states.timestamp = StampOf(basic);
    const std::uint32_t start = StartOf(group, start_ids);
    const std::uint64_t dof = dofs.at(group);
    const bool cut = SegmentJointData(joints.q, start, dof, states.q) &&
                     SegmentJointData(joints.theta, start, dof, states.theta) &&
                     SegmentJointData(joints.dq, start, dof, states.dq) &&
                     SegmentJointData(joints.dtheta, start, dof, states.dtheta) &&
                     SegmentJointData(joints.tau, start, dof, states.tau) &&
                     SegmentJointData(joints.tau_dot, start, dof, states.tau_dot) &&
                     SegmentJointData(joints.tau_ext, start, dof, states.tau_ext) &&
                     SegmentJointData(joints.tau_interact, start, dof, states.tau_interact) &&
                     SegmentJointData(joints.temperature, start, dof, states.temperature);
    if (!cut) {
      spdlog::error("[velmor::qrk::Client] Failed to segment full-DoF joint data for joint group [{}]",
                    static_cast<int>(group));
      return {};
    }
  }

  for (std::size_t i = 0; i < indices.size(); ++i) {
    const auto& source = cartesian.at(i);
    qrk::RobotStates& states = result[WireGroup(indices[i])];
    Widen(source.flange_pose, states.flange_pose);
    Widen(source.tcp_pose, states.tcp_pose);
    Widen(source.tcp_twist, states.tcp_twist);
    Widen(source.tcp_wrench_local, states.tcp_wrench_local);
    Widen(source.raw_tcp_wrench_local, states.raw_tcp_wrench_local);
    Widen(source.raw_ft_sensor, states.raw_ft_sensor);
    FillWorldWrenches(states);
  }
  return result;
}

std::map<JointGroup, qrk::RobotActions> SliceActions(const ExtraStreamData& extra,
                                                     std::pair<std::int32_t, std::int32_t> timestamp,
                                                     const GroupNames& groups, const StartIds& start_ids,
                                                     const Dofs& dofs) {
  const auto& cartesian = extra.cartesian_data;
  const auto& indices = extra.group_indices;
  if (cartesian.size() != indices.size()) {
    spdlog::error(
        "[velmor::qrk::Client] The received desired data has mismatched sizes: cartesian_data size is {}, expected "
        "number of joint groups is {}",
        cartesian.size(), indices.size());
    return {};
  }

  std::map<JointGroup, qrk::RobotActions> result;
  const auto& joints = extra.joint_data;
  for (const auto& entry : groups) {
    const JointGroup group = entry.first;
    if (!HasLayout(group, start_ids, dofs)) return {};
    qrk::RobotActions& actions = result[group];
    actions.timestamp = timestamp;
    const std::uint32_t start = StartOf(group, start_ids);
    const std::uint64_t dof = dofs.at(group);
    const bool cut = SegmentJointData(joints.q_d, start, dof, actions.q_d) &&
                     SegmentJointData(joints.dq_d, start, dof, actions.dq_d) &&
                     SegmentJointData(joints.tau_d, start, dof, actions.tau_d);
    if (!cut) {
      spdlog::error("[velmor::qrk::Client] Failed to segment desired joint data for joint group [{}]",
                    static_cast<int>(group));
      return {};
    }
  }

  for (std::size_t i = 0; i < indices.size(); ++i) {
    const auto& source = cartesian.at(i);
    qrk::RobotActions& actions = result[WireGroup(indices[i])];
    Widen(source.tcp_pose_d, actions.tcp_pose_d);
    Widen(source.tcp_twist_d, actions.tcp_twist_d);
    Widen(source.tcp_wrench_d, actions.tcp_wrench_d);
  }
  return result;
}

}  // namespace velmor::qrk_impl
