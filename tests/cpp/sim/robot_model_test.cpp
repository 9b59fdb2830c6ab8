#include "sim/robot_model.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "messages/stream_codec.hpp"
#include "sim/quaternion.hpp"
#include "sim/robot_layout.hpp"

namespace velmor::sim {
namespace {

namespace msg = zenoh_msgs::qrk_msg;

const std::vector<std::uint16_t> kGroups{0, 2, 3, 4, 5};
constexpr double kTimes[] = {0.0, 0.37, 4.2, 61.5, 3600.25};

Quaternion Orientation(const std::array<float, 7>& pose) { return {pose[3], pose[4], pose[5], pose[6]}; }

double Norm(const Quaternion& q) { return std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z); }

void ExpectSlicesFit(const std::vector<std::uint16_t>& groups, std::size_t joints) {
  for (const std::uint16_t group : groups) {
    const auto layout = FindGroup(group);
    ASSERT_TRUE(layout) << "group " << group;
    EXPECT_LE(static_cast<std::size_t>(layout->start_id) + layout->dof, joints) << "group " << group;
  }
}

TEST(RobotModel, BasicSamplesAreSelfConsistent) {
  const RobotModel model(kGroups, 0);
  for (const double t : kTimes) {
    SCOPED_TRACE(t);
    const msg::AllBasicStreamData data = model.Basic(t, 42);
    EXPECT_EQ(data.group_indices, kGroups);
    ASSERT_EQ(data.cartesian_data.size(), data.group_indices.size());
    const msg::JointStateData& j = data.joint_data;
    for (const auto* vector :
         {&j.q, &j.theta, &j.dq, &j.dtheta, &j.tau, &j.tau_dot, &j.tau_ext, &j.tau_interact, &j.temperature}) {
      EXPECT_EQ(vector->size(), kJointCount);
    }
    EXPECT_EQ(j.aux_vec3_a.size(), kJointCount);
    EXPECT_EQ(j.aux_vec3_b.size(), kJointCount);
    ExpectSlicesFit(data.group_indices, j.q.size());
    for (const msg::CartesianStateData& c : data.cartesian_data) {
      EXPECT_NEAR(Norm(Orientation(c.tcp_pose)), 1.0, 1e-5);
      EXPECT_NEAR(Norm(Orientation(c.flange_pose)), 1.0, 1e-5);
      EXPECT_GT(std::abs(c.tcp_wrench_local[2]), 1.0f);
      EXPECT_NE(c.raw_tcp_wrench_local, c.tcp_wrench_local);
    }
    EXPECT_TRUE(data.status.estop_released);
    EXPECT_EQ(data.timestamp_first, static_cast<std::int32_t>(std::floor(t)));
    EXPECT_EQ(data.timestamp_second, 42u);
  }
}

TEST(RobotModel, SetPointsCoverTheSameGroupsAndStayNearTheMeasuredState) {
  const RobotModel model(kGroups, 1);
  for (const double t : kTimes) {
    SCOPED_TRACE(t);
    const msg::AllBasicStreamData measured = model.Basic(t, 1);
    const msg::AllExtraStreamData desired = model.Extra(t);
    EXPECT_EQ(desired.group_indices, measured.group_indices);
    ASSERT_EQ(desired.cartesian_data.size(), desired.group_indices.size());
    ASSERT_EQ(desired.joint_data.q_d.size(), kJointCount);
    EXPECT_EQ(desired.joint_data.dq_d.size(), kJointCount);
    EXPECT_EQ(desired.joint_data.tau_d.size(), kJointCount);
    for (std::size_t i = 0; i < kJointCount; ++i)
      EXPECT_NEAR(desired.joint_data.q_d[i], measured.joint_data.q[i], 0.01);
    for (std::size_t g = 0; g < desired.cartesian_data.size(); ++g) {
      const auto& pose_d = desired.cartesian_data[g].tcp_pose_d;
      EXPECT_NEAR(Norm(Orientation(pose_d)), 1.0, 1e-5);
      for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(pose_d[k], measured.cartesian_data[g].tcp_pose[k], 0.01);
    }
  }
}

// The rates are published beside the positions; a consumer that
// differentiates one and compares with the other must find them agree.
TEST(RobotModel, RatesAreTheDerivativesOfWhatTheyDescribe) {
  const RobotModel model(kGroups, 2);
  constexpr double h = 1e-3;
  for (const double t : {0.5, 17.25, 123.0}) {
    SCOPED_TRACE(t);
    const auto before = model.Basic(t - h, 1);
    const auto now = model.Basic(t, 2);
    const auto after = model.Basic(t + h, 3);
    for (std::size_t i = 0; i < kJointCount; ++i) {
      EXPECT_NEAR((after.joint_data.q[i] - before.joint_data.q[i]) / (2 * h), now.joint_data.dq[i], 2e-3);
      EXPECT_NEAR((after.joint_data.tau[i] - before.joint_data.tau[i]) / (2 * h), now.joint_data.tau_dot[i], 2e-2);
    }
    for (std::size_t g = 0; g < kGroups.size(); ++g) {
      const auto& p0 = before.cartesian_data[g].tcp_pose;
      const auto& p1 = after.cartesian_data[g].tcp_pose;
      const auto& twist = now.cartesian_data[g].tcp_twist;
      for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR((p1[k] - p0[k]) / (2 * h), twist[k], 2e-3);
      // World-frame angular velocity: the vector part of 2 * dq/dt * conj(q).
      const Quaternion q0 = Orientation(p0);
      const Quaternion q1 = Orientation(p1);
      const Quaternion q = Orientation(now.cartesian_data[g].tcp_pose);
      const Quaternion rate{(q1.w - q0.w) / (2 * h), (q1.x - q0.x) / (2 * h), (q1.y - q0.y) / (2 * h),
                            (q1.z - q0.z) / (2 * h)};
      const Quaternion omega = rate * Quaternion{q.w, -q.x, -q.y, -q.z};
      EXPECT_NEAR(2 * omega.x, twist[3], 5e-3);
      EXPECT_NEAR(2 * omega.y, twist[4], 5e-3);
      EXPECT_NEAR(2 * omega.z, twist[5], 5e-3);
    }
  }
}

TEST(RobotModel, SamplesSurviveEncodingUnchanged) {
  const RobotModel model(kGroups, 0);
  const msg::AllBasicStreamData basic = model.Basic(12.3, 7);
  const std::vector<std::uint8_t> basic_bytes = zenoh_msgs::Encode(basic);
  const auto decoded = zenoh_msgs::Decode<msg::AllBasicStreamData>(basic_bytes);
  EXPECT_EQ(zenoh_msgs::Encode(decoded), basic_bytes);
  EXPECT_EQ(decoded.joint_data.q, basic.joint_data.q);
  EXPECT_EQ(decoded.timestamp_second, 7u);

  const std::vector<std::uint8_t> extra_bytes = zenoh_msgs::Encode(model.Extra(12.3));
  EXPECT_EQ(zenoh_msgs::Encode(zenoh_msgs::Decode<msg::AllExtraStreamData>(extra_bytes)), extra_bytes);
}

TEST(RobotModel, ReportsOnlyTheChosenGroupsInTheirOrder) {
  const RobotModel model({5, 3}, 0);
  const auto basic = model.Basic(1.0, 1);
  const auto extra = model.Extra(1.0);
  EXPECT_EQ(basic.group_indices, (std::vector<std::uint16_t>{5, 3}));
  EXPECT_EQ(basic.cartesian_data.size(), 2u);
  EXPECT_EQ(extra.group_indices, basic.group_indices);
  EXPECT_EQ(extra.cartesian_data.size(), 2u);
  EXPECT_EQ(basic.joint_data.q.size(), kJointCount);  // joint arrays always cover the whole robot
}

TEST(RobotModel, InputsChangeOverTime) {
  const RobotModel model(kGroups, 0);
  bool enabled_seen = false;
  bool disabled_seen = false;
  std::vector<std::array<bool, 20>> inputs;
  std::vector<std::array<bool, 20>> outputs;
  for (double t = 0.0; t < 20.0; t += 0.25) {
    const auto status = model.Basic(t, 1).status;
    (status.enabling_device_on ? enabled_seen : disabled_seen) = true;
    inputs.push_back(status.digital_inputs);
    outputs.push_back(status.digital_outputs);
  }
  EXPECT_TRUE(enabled_seen);
  EXPECT_TRUE(disabled_seen);
  EXPECT_NE(inputs.front(), inputs[1]);
  EXPECT_NE(outputs.front(), outputs[2]);
}

// Each scripted input rests until its first event and then follows its
// events alone, so that a recorder watching it sees exactly those edges.
TEST(RobotModel, ScriptedEventsAreTheOnlyEdgesOfTheirInputs) {
  RobotModel model(kGroups, 0,
                   SafetyScript({ParseSafetyEvent("di:3:off@6"), ParseSafetyEvent("estop:press@2.5"),
                                 ParseSafetyEvent("enabling:off@3"), ParseSafetyEvent("di:3:on@1.5"),
                                 ParseSafetyEvent("estop:release@4")}));
  const auto at = [&model](double t) { return model.Basic(t, 1).status; };
  std::vector<double> estop_edges;
  std::vector<double> enabling_edges;
  std::vector<double> input_edges;
  auto before = at(0.0);
  for (double t = 0.001; t < 25.0; t += 0.001) {
    const auto now = at(t);
    if (now.estop_released != before.estop_released) estop_edges.push_back(t);
    if (now.enabling_device_on != before.enabling_device_on) enabling_edges.push_back(t);
    if (now.digital_inputs[3] != before.digital_inputs[3]) input_edges.push_back(t);
    EXPECT_EQ(now.aux_flags[1], now.enabling_device_on);
    before = now;
  }
  EXPECT_TRUE(at(0.0).estop_released && at(0.0).enabling_device_on && !at(0.0).digital_inputs[3]);
  ASSERT_EQ(estop_edges.size(), 2u);
  EXPECT_NEAR(estop_edges[0], 2.5, 0.0015);
  EXPECT_NEAR(estop_edges[1], 4.0, 0.0015);
  ASSERT_EQ(enabling_edges.size(), 1u);  // not the model's own release every 20 s
  EXPECT_NEAR(enabling_edges[0], 3.0, 0.0015);
  ASSERT_EQ(input_edges.size(), 2u);  // not the walking bit's
  EXPECT_NEAR(input_edges[0], 1.5, 0.0015);
  EXPECT_NEAR(input_edges[1], 6.0, 0.0015);
  EXPECT_TRUE(at(7.0).digital_inputs[static_cast<std::size_t>(4 * 7.0) % 20]);  // the others still walk

  // Toggles press a released E-stop and release a pressed one, from then on.
  model.ToggleEstop(10.0);
  EXPECT_TRUE(at(9.99).estop_released);
  EXPECT_FALSE(at(10.0).estop_released);
  model.ToggleEstop(11.0);
  EXPECT_FALSE(at(10.99).estop_released);
  EXPECT_TRUE(at(11.0).estop_released);
  RobotModel pressed(kGroups, 0, SafetyScript({ParseSafetyEvent("estop:press@1")}));
  pressed.ToggleEstop(2.0);  // released by the toggle
  EXPECT_FALSE(pressed.Basic(1.5, 1).status.estop_released);
  EXPECT_TRUE(pressed.Basic(2.5, 1).status.estop_released);
}

}  // namespace
}  // namespace velmor::sim
