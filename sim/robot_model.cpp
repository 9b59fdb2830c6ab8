#include "sim/robot_model.hpp"

#include <cmath>
#include <utility>

#include "sim/robot_layout.hpp"

namespace velmor::sim {
namespace {

namespace msg = zenoh_msgs::qrk_msg;

constexpr double kTwoPi = 6.283185307179586;
// Set points lead the measured state by a couple of controller cycles.
constexpr double kSetPointLead = 0.002;
constexpr double kToolLength = 0.12;
// Joint deflection under load: theta differs from q by tau / stiffness.
constexpr double kJointStiffness = 5000.0;
constexpr std::array<double, 6> kForceSensorBias{0.4, -0.3, 0.6, 0.02, -0.01, 0.005};
// Tool pointing down: half a turn about x.
constexpr Quaternion kToolDown{0.0, 1.0, 0.0, 0.0};

struct GroupGeometry {
  Vec3 base;
  Vec3 wobble_axis;
};

// Parallel to kRobotGroups; ALL and ARMS report the midpoint between the arms.
constexpr std::array<GroupGeometry, kRobotGroups.size()> kGeometry{{
    {{0.45, 0.0, 0.9}, {0.0, 0.0, 1.0}},
    {{0.45, 0.0, 0.9}, {0.0, 1.0, 0.0}},
    {{0.40, 0.35, 0.8}, {1.0, 0.5, 0.2}},
    {{0.40, -0.35, 0.8}, {-0.3, 1.0, 0.4}},
    {{1.20, 0.0, 0.3}, {0.0, 0.0, 1.0}},
}};

std::size_t GroupIndex(std::uint16_t group) {
  for (std::size_t i = 0; i < kRobotGroups.size(); ++i) {
    if (kRobotGroups[i].group == group) return i;
  }
  return 0;
}

template <std::size_t N>
std::array<float, N> ToFloats(const std::array<double, N>& values) {
  std::array<float, N> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<float>(values[i]);
  return out;
}

std::array<float, 7> Pose(const Vec3& p, const Quaternion& q) {
  return ToFloats<7>({p[0], p[1], p[2], q.w, q.x, q.y, q.z});
}

std::array<float, 6> Twist(const Vec3& v, const Vec3& w) { return ToFloats<6>({v[0], v[1], v[2], w[0], w[1], w[2]}); }

}  // namespace

RobotModel::RobotModel(std::vector<std::uint16_t> groups, unsigned variant, SafetyScript script)
    : groups_(std::move(groups)), phase_(1.3 * variant), script_(std::move(script)) {}

RobotModel::JointMotion RobotModel::Joint(std::size_t joint, double t) const {
  const bool external = joint >= 14;
  const double amplitude = external ? 0.3 : 0.6 / (1.0 + 0.1 * static_cast<double>(joint % 7));
  const double omega = kTwoPi * (0.05 + 0.013 * static_cast<double>(joint));
  const double offset = 0.25 * std::sin(1.7 * static_cast<double>(joint));
  const double angle = omega * t + 0.7 * static_cast<double>(joint) + phase_;
  const double q = offset + amplitude * std::sin(angle);
  const double dq = amplitude * omega * std::cos(angle);
  // Gravity load: largest at the shoulders, none on the external axis's drive.
  const double gravity = external ? 4.0 : 30.0 / (1.0 + static_cast<double>(joint % 7));
  return {q, dq, gravity * std::cos(q), -gravity * std::sin(q) * dq};
}

RobotModel::TcpMotion RobotModel::Tcp(std::uint16_t group, double t) const {
  const std::size_t index = GroupIndex(group);
  const GroupGeometry& geometry = kGeometry[index];
  const double phase = phase_ + 0.9 * static_cast<double>(index);
  constexpr Vec3 kAmplitude{0.08, 0.06, 0.05};
  constexpr Vec3 kOmega{kTwoPi * 0.11, kTwoPi * 0.07, kTwoPi * 0.13};
  TcpMotion motion{};
  for (std::size_t j = 0; j < 3; ++j) {
    const double angle = kOmega[j] * t + phase + static_cast<double>(j);
    motion.position[j] = geometry.base[j] + kAmplitude[j] * std::sin(angle);
    motion.velocity[j] = kAmplitude[j] * kOmega[j] * std::cos(angle);
  }
  // The tool wobbles about a fixed axis, so its angular velocity is that axis
  // (seen from the world) times the rate of the wobble angle.
  const Vec3 axis = Normalized(geometry.wobble_axis);
  const double wobble = 0.5 * std::sin(0.9 * t + phase);
  const double wobble_rate = 0.45 * std::cos(0.9 * t + phase);
  motion.orientation = kToolDown * FromAxisAngle(axis, wobble);
  const Vec3 world_axis = Rotate(kToolDown, axis);
  for (std::size_t j = 0; j < 3; ++j) motion.angular_velocity[j] = world_axis[j] * wobble_rate;
  return motion;
}

msg::CartesianStateData RobotModel::Cartesian(std::uint16_t group, double t) const {
  const TcpMotion tcp = Tcp(group, t);
  const Vec3 tool = Rotate(tcp.orientation, {0.0, 0.0, kToolLength});
  const Vec3 flange{tcp.position[0] - tool[0], tcp.position[1] - tool[1], tcp.position[2] - tool[2]};
  const double p = phase_ + static_cast<double>(group);
  const std::array<double, 6> wrench{2.0 * std::sin(0.7 * t + p), 1.5 * std::cos(0.5 * t + p),
                                     -15.0 + std::sin(t + p),     0.3 * std::sin(0.6 * t + p),
                                     0.2 * std::cos(0.8 * t + p), 0.05 * std::sin(0.4 * t + p)};
  std::array<double, 6> raw{};
  std::array<double, 6> aux{};
  for (std::size_t j = 0; j < 6; ++j) {
    raw[j] = wrench[j] + kForceSensorBias[j];
    aux[j] = 0.5 * wrench[j];
  }
  msg::CartesianStateData data;
  data.flange_pose = Pose(flange, tcp.orientation);
  data.tcp_pose = Pose(tcp.position, tcp.orientation);
  data.tcp_twist = Twist(tcp.velocity, tcp.angular_velocity);
  data.tcp_wrench_local = ToFloats(wrench);
  data.aux_wrench = ToFloats(aux);
  data.raw_tcp_wrench_local = ToFloats(raw);
  data.raw_ft_sensor = ToFloats(raw);
  return data;
}

msg::StatusData RobotModel::Status(double t, std::uint32_t sequence) const {
  msg::StatusData status;
  status.aux_u16 = static_cast<std::uint16_t>(sequence & 0xFFFFu);
  status.aux_i16 = static_cast<std::int16_t>(std::lround(200.0 * std::sin(t)));
  status.estop_released = true;
  // The operator lets go of the enabling device for 3 s every 20 s.
  status.enabling_device_on = std::fmod(t + phase_, 20.0) < 17.0;
  status.aux_flags[0] = true;
  status.aux_flags[1] = status.enabling_device_on;
  // A bit walks up the inputs at 4 Hz and down the outputs at 2 Hz.
  const auto inputs_step = static_cast<std::uint64_t>(std::floor(4.0 * t));
  const auto outputs_step = static_cast<std::uint64_t>(std::floor(2.0 * t));
  status.digital_inputs[inputs_step % 20] = true;
  status.digital_outputs[19 - outputs_step % 20] = true;
  script_.Apply(status, t);
  return status;
}

msg::AllBasicStreamData RobotModel::Basic(double t, std::uint32_t sequence) const {
  msg::AllBasicStreamData data;
  data.status = Status(t, sequence);
  data.group_indices = groups_;
  msg::JointStateData& joints = data.joint_data;
  for (std::size_t i = 0; i < kJointCount; ++i) {
    const JointMotion m = Joint(i, t);
    const double tau_ext = 0.5 * std::sin(0.3 * t + static_cast<double>(i) + phase_);
    joints.q.push_back(static_cast<float>(m.q));
    joints.theta.push_back(static_cast<float>(m.q + m.tau / kJointStiffness));
    joints.dq.push_back(static_cast<float>(m.dq));
    joints.dtheta.push_back(static_cast<float>(m.dq + m.tau_dot / kJointStiffness));
    joints.tau.push_back(static_cast<float>(m.tau));
    joints.tau_dot.push_back(static_cast<float>(m.tau_dot));
    joints.tau_ext.push_back(static_cast<float>(tau_ext));
    joints.tau_interact.push_back(static_cast<float>(0.8 * tau_ext));
    joints.temperature.push_back(static_cast<float>(32.0 + 0.5 * static_cast<double>(i) +
                                                    1.5 * std::sin(kTwoPi * t / 300.0 + static_cast<double>(i))));
    // Motor currents and a gravity-aligned accelerometer, per joint.
    joints.aux_vec3_a.push_back(ToFloats<3>({0.01 * m.tau, 0.02 * m.tau, 0.0}));
    joints.aux_vec3_b.push_back(ToFloats<3>({0.0, 0.0, 9.81}));
  }
  for (const std::uint16_t group : groups_) data.cartesian_data.push_back(Cartesian(group, t));
  data.timestamp_first = static_cast<std::int32_t>(std::floor(t));
  data.timestamp_second = sequence;
  return data;
}

msg::AllExtraStreamData RobotModel::Extra(double t) const {
  const double ahead = t + kSetPointLead;
  msg::AllExtraStreamData data;
  data.group_indices = groups_;
  for (std::size_t i = 0; i < kJointCount; ++i) {
    const JointMotion m = Joint(i, ahead);
    data.joint_data.q_d.push_back(static_cast<float>(m.q));
    data.joint_data.dq_d.push_back(static_cast<float>(m.dq));
    data.joint_data.tau_d.push_back(static_cast<float>(m.tau));
  }
  for (const std::uint16_t group : groups_) {
    const TcpMotion tcp = Tcp(group, ahead);
    msg::CartesianDesiredData desired;
    desired.tcp_pose_d = Pose(tcp.position, tcp.orientation);
    desired.tcp_twist_d = Twist(tcp.velocity, tcp.angular_velocity);
    desired.tcp_wrench_d = {0.0f, 0.0f, -15.0f, 0.0f, 0.0f, 0.0f};
    data.cartesian_data.push_back(desired);
  }
  return data;
}

}  // namespace velmor::sim
