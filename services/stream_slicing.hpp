#pragma once
// Turning one stream message into per-group records: the joint values cut
// out of the full-robot arrays by the layout the robot reported, widened to
// double, with the world-frame wrenches filled in. Pure functions: the stream
// intake calls them under its lock on the latest sample, the recorder on
// every sample.
#include <cstdint>
#include <map>
#include <utility>

#include "messages/stream_samples.hpp"
#include "services/group_maps.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk_impl {

using BasicStreamData = zenoh_msgs::BasicSample;
using ExtraStreamData = zenoh_msgs::ExtraSample;

/// The time stamp pair of a basic sample, as the records carry it.
inline std::pair<std::int32_t, std::int32_t> StampOf(const BasicStreamData& basic) {
  const auto [first, second] = zenoh_msgs::Timestamps(basic);
  return {first, static_cast<std::int32_t>(second)};
}

/// Measured state per group of `groups`; empty, with an error line, when the
/// message does not fit the layout or lists a group `groups` lacks a layout for.
std::map<qrk::JointGroup, qrk::RobotStates> SliceStates(const BasicStreamData& basic, const GroupNames& groups,
                                                        const StartIds& start_ids, const Dofs& dofs);

/// Commanded values per group, stamped with `timestamp` (the extra stream
/// carries none of its own); empty, with an error line, as above.
std::map<qrk::JointGroup, qrk::RobotActions> SliceActions(const ExtraStreamData& extra,
                                                          std::pair<std::int32_t, std::int32_t> timestamp,
                                                          const GroupNames& groups, const StartIds& start_ids,
                                                          const Dofs& dofs);

}  // namespace velmor::qrk_impl
