#pragma once
// The measured and commanded state of one simulated robot as pure functions
// of time: the same time gives the same sample, so tests need neither a clock
// nor a network. Joints follow independent slow sines; velocities and torque
// rates are the exact derivatives of positions and torques, and the commanded
// values are the same trajectory a few milliseconds ahead, as a controller's
// set points would be. Const members may run on any thread.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/stream_messages.hpp"
#include "sim/quaternion.hpp"
#include "sim/safety_script.hpp"

namespace velmor::sim {

class RobotModel {
 public:
  /// `groups` appear in group_indices and cartesian_data in this order; each
  /// must be a group of kRobotGroups. `variant` shifts every phase so that
  /// several robots served together differ. `script` sets the safety
  /// inputs and digital inputs it names.
  RobotModel(std::vector<std::uint16_t> groups, unsigned variant, SafetyScript script = SafetyScript());

  /// Presses or releases the E-stop from `t` on (SafetyScript::ToggleEstop).
  void ToggleEstop(double t) { script_.ToggleEstop(t); }

  /// The measured state `t` seconds after the start; the time stamp is the
  /// whole seconds of `t` and `sequence`.
  zenoh_msgs::qrk_msg::AllBasicStreamData Basic(double t, std::uint32_t sequence) const;
  /// The commanded values at `t`.
  zenoh_msgs::qrk_msg::AllExtraStreamData Extra(double t) const;

  const std::vector<std::uint16_t>& groups() const noexcept { return groups_; }

 private:
  struct JointMotion {
    double q, dq, tau, tau_dot;
  };
  struct TcpMotion {
    Vec3 position, velocity;
    Quaternion orientation;
    Vec3 angular_velocity;
  };

  JointMotion Joint(std::size_t joint, double t) const;
  TcpMotion Tcp(std::uint16_t group, double t) const;
  zenoh_msgs::qrk_msg::CartesianStateData Cartesian(std::uint16_t group, double t) const;
  zenoh_msgs::qrk_msg::StatusData Status(double t, std::uint32_t sequence) const;

  std::vector<std::uint16_t> groups_;
  double phase_;
  SafetyScript script_;
};

}  // namespace velmor::sim
