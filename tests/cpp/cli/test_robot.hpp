#pragma once
// A small robot for the recorder's tests: its layout and one sample of each
// stream whose every value tells where it came from.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/stream_messages.hpp"
#include "services/group_maps.hpp"
#include "services/stream_slicing.hpp"

namespace velmor::cli::test {

using qrk::JointGroup;

constexpr std::size_t kJoints = 16;

// Two arms and an external axis over 16 joints; joint i's values are
// 100 + i (q), 200 + i (theta), ...; group g's cartesian values 10 * g + k.
struct Robot {
  qrk_impl::GroupNames groups{
      {JointGroup::ALL, "ALL"}, {JointGroup::ARM_2, "ARM_2"}, {JointGroup::EXT_AXIS, "EXT_AXIS"}};
  qrk_impl::StartIds start_ids{{JointGroup::ALL, 0}, {JointGroup::ARM_2, 7}, {JointGroup::EXT_AXIS, 14}};
  qrk_impl::Dofs dofs{{JointGroup::ALL, 16}, {JointGroup::ARM_2, 7}, {JointGroup::EXT_AXIS, 2}};

  qrk_impl::BasicStreamData Basic(std::int32_t stamp_first = 12, std::uint32_t stamp_second = 34) const {
    zenoh_msgs::qrk_msg::AllBasicStreamData basic;
    basic.timestamp_first = stamp_first;
    basic.timestamp_second = stamp_second;
    auto& joints = basic.joint_data;
    const std::vector<std::vector<float>*> fields{&joints.q,       &joints.theta,        &joints.dq,
                                                  &joints.dtheta,  &joints.tau,          &joints.tau_dot,
                                                  &joints.tau_ext, &joints.tau_interact, &joints.temperature};
    for (std::size_t f = 0; f < fields.size(); ++f) {
      for (std::size_t i = 0; i < kJoints; ++i) fields[f]->push_back(static_cast<float>(100 * (f + 1) + i));
    }
    for (const auto& [group, name] : groups) {
      basic.group_indices.push_back(static_cast<std::uint16_t>(group));
      zenoh_msgs::qrk_msg::CartesianStateData cartesian;
      for (std::size_t k = 0; k < cartesian.tcp_pose.size(); ++k) {
        cartesian.tcp_pose[k] = static_cast<float>(10 * static_cast<int>(group) + static_cast<int>(k));
      }
      basic.cartesian_data.push_back(cartesian);
    }
    return qrk_impl::BasicStreamData::Of(basic);
  }

  qrk_impl::ExtraStreamData Extra() const {
    zenoh_msgs::qrk_msg::AllExtraStreamData extra;
    for (std::size_t i = 0; i < kJoints; ++i) {
      extra.joint_data.q_d.push_back(static_cast<float>(100 + i));
      extra.joint_data.dq_d.push_back(static_cast<float>(200 + i));
      extra.joint_data.tau_d.push_back(static_cast<float>(300 + i));
    }
    for (const auto& [group, name] : groups) {
      extra.group_indices.push_back(static_cast<std::uint16_t>(group));
      zenoh_msgs::qrk_msg::CartesianDesiredData cartesian;
      cartesian.tcp_pose_d[0] = static_cast<float>(10 * static_cast<int>(group));
      extra.cartesian_data.push_back(cartesian);
    }
    return qrk_impl::ExtraStreamData::Of(extra);
  }
};

}  // namespace velmor::cli::test
