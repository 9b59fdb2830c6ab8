#pragma once
// Cutting a joint group's values out of the full-robot arrays (read in place
// from a kept sample), and turning local wrenches into world-frame ones. Pure
// functions, no locking.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/wire_map.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk_impl {

/// Replaces `destination` with source[start .. start + count), widened to
/// double. False, with `destination` untouched, when the slice does not fit;
/// the bound is checked without overflow, so any start and count are safe.
bool SegmentJointData(const zenoh_msgs::WireSequence<float>& source, std::uint32_t start, std::uint64_t count,
                      std::vector<double>& destination);

/// Sets tcp_wrench and raw_tcp_wrench to tcp_wrench_local and
/// raw_tcp_wrench_local rotated by the orientation of tcp_pose (w, x, y, z at
/// positions 3..6, normalised first; a zero quaternion means no rotation).
void FillWorldWrenches(qrk::RobotStates& states);

}  // namespace velmor::qrk_impl
