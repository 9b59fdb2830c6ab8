#include "foxglove/c_shapes.hpp"

#include <algorithm>
#include <stdexcept>

#include "foxglove/live_server.hpp"
#include "toolkit/write_error.hpp"

namespace velmor::foxglove::detail {
namespace {

static_assert(static_cast<vf_schema>(Schema::kJointStates) == VF_SCHEMA_JOINT_STATES);
static_assert(static_cast<vf_schema>(Schema::kFrameTransforms) == VF_SCHEMA_FRAME_TRANSFORMS);
static_assert(static_cast<vf_schema>(Schema::kRobotStates) == VF_SCHEMA_ROBOT_STATES);
static_assert(static_cast<vf_schema>(Schema::kRobotActions) == VF_SCHEMA_ROBOT_ACTIONS);
static_assert(static_cast<vf_schema>(Schema::kRobotIo) == VF_SCHEMA_ROBOT_IO);
static_assert(static_cast<vf_compression>(Compression::kNone) == VF_COMPRESSION_NONE);
static_assert(static_cast<vf_compression>(Compression::kZstd) == VF_COMPRESSION_ZSTD);
static_assert(static_cast<vf_compression>(Compression::kLz4) == VF_COMPRESSION_LZ4);

// The C side reads `joints` values from every per-joint array.
template <class... Vectors>
std::size_t JointCount(const std::vector<double>& first, const Vectors&... rest) {
  if (((rest.size() != first.size()) || ...)) {
    throw std::invalid_argument("a record's joint vectors differ in length");
  }
  return first.size();
}

}  // namespace

vf_stamp ToC(const MessageStamp& stamp) noexcept {
  return vf_stamp{static_cast<std::uint32_t>(stamp.sequence), stamp.log_time_ns};
}

vf_group_states ToC(const qrk::RobotStates& s, std::uint32_t first_joint) {
  vf_group_states c{};
  c.first_joint = first_joint;
  c.joints = JointCount(s.q, s.theta, s.dq, s.dtheta, s.tau, s.tau_dot, s.tau_ext, s.tau_interact, s.temperature);
  c.timestamp[0] = s.timestamp.first;
  c.timestamp[1] = s.timestamp.second;
  c.q = s.q.data();
  c.theta = s.theta.data();
  c.dq = s.dq.data();
  c.dtheta = s.dtheta.data();
  c.tau = s.tau.data();
  c.tau_dot = s.tau_dot.data();
  c.tau_ext = s.tau_ext.data();
  c.tau_interact = s.tau_interact.data();
  c.temperature = s.temperature.data();
  c.flange_pose = s.flange_pose.data();
  c.tcp_pose = s.tcp_pose.data();
  c.tcp_twist = s.tcp_twist.data();
  c.tcp_wrench = s.tcp_wrench.data();
  c.tcp_wrench_local = s.tcp_wrench_local.data();
  c.raw_tcp_wrench = s.raw_tcp_wrench.data();
  c.raw_tcp_wrench_local = s.raw_tcp_wrench_local.data();
  c.raw_ft_sensor = s.raw_ft_sensor.data();
  return c;
}

vf_group_frames ToC(const GroupFrames& frames) noexcept {
  return vf_group_frames{frames.group.c_str(), frames.tcp_pose.data(), frames.flange_pose.data()};
}

vf_group_actions ToC(const qrk::RobotActions& a, std::uint32_t first_joint) {
  vf_group_actions c{};
  c.first_joint = first_joint;
  c.joints = JointCount(a.q_d, a.dq_d, a.tau_d);
  c.timestamp[0] = a.timestamp.first;
  c.timestamp[1] = a.timestamp.second;
  c.q_d = a.q_d.data();
  c.dq_d = a.dq_d.data();
  c.tau_d = a.tau_d.data();
  c.tcp_pose_d = a.tcp_pose_d.data();
  c.tcp_twist_d = a.tcp_twist_d.data();
  c.tcp_wrench_d = a.tcp_wrench_d.data();
  return c;
}

vf_io ToC(const qrk_impl::RobotIo& io) noexcept {
  vf_io c{};
  c.timestamp[0] = io.timestamp.first;
  c.timestamp[1] = io.timestamp.second;
  c.estop_released = io.estop_released;
  c.enabling_device_on = io.enabling_device_on;
  std::copy(io.digital_inputs.begin(), io.digital_inputs.end(), c.digital_inputs);
  std::copy(io.digital_outputs.begin(), io.digital_outputs.end(), c.digital_outputs);
  return c;
}

void Check(vf_result code) {
  if (code == VF_OK) return;
  const std::string message = vf_last_error();
  switch (code) {
    case VF_EIO:
      throw toolkit::WriteError(message);
    case VF_EEXIST:
      throw toolkit::FileExists(message);
    case VF_ENETWORK:
      throw ServeError(message);
    case VF_EINVAL:
    case VF_ENULL:
      throw std::invalid_argument(message);
    default:
      throw std::runtime_error(message);
  }
}

}  // namespace velmor::foxglove::detail
