#pragma once
// What qrk hands to its Foxglove outputs besides the client's records: the
// schema of a channel, the compression and profile of a recording, a message's numbers
// and times, and the robot's I/O.
#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace velmor::foxglove {

/// What a channel carries. Foxglove's own schemas are velmor_foxglove.h's;
/// ours carry every field of their record's field list, in its order.
enum class Schema : std::int32_t {
  kJointStates = 0,      ///< foxglove.JointStates, from a group's states
  kFrameTransforms = 1,  ///< foxglove.FrameTransforms, from every group's frames of a sample
  kRobotStates = 2,      ///< robotstates.RobotStates
  kRobotActions = 3,     ///< robotactions.RobotActions
  kRobotIo = 4,          ///< robotio.RobotIo
};

enum class Compression : std::int32_t { kNone = 0, kZstd = 1, kLz4 = 2 };

/// What a target's channels are for, a recording's (its header profile) and
/// a live server's alike: Foxglove's protobuf channels, or ROS 2's CDR ones
/// (profile `ros2`), never both.
enum class McapProfile { kFoxglove, kRos2 };

/// The sample's number in its stream (32 bits in MCAP: it wraps) and its
/// log time, in nanoseconds since the Unix epoch (a recording's publish time
/// too).
struct MessageStamp {
  std::uint64_t sequence = 0;
  std::uint64_t log_time_ns = 0;
};

/// A joint group's two frames in one sample: its name and the robot's tcp
/// and flange poses (position, then the quaternion w, x, y, z).
struct GroupFrames {
  std::string group;
  std::array<double, 7> tcp_pose{};
  std::array<double, 7> flange_pose{};
};

}  // namespace velmor::foxglove
