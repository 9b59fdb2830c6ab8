#pragma once
// What a channel of a ROS 2 recording carries (velmor_foxglove.h's
// vf_ros2_message tells each one's content): standard ROS 2 messages that a
// stock install plays, each made from one part of a sample.
#include <cstdint>

namespace velmor::foxglove {

enum class Ros2Message : std::int32_t {
  kJointStates = 0,        ///< sensor_msgs/msg/JointState: q, dq, tau
  kJointCommands = 1,      ///< sensor_msgs/msg/JointState: q_d, dq_d, tau_d
  kTf = 2,                 ///< tf2_msgs/msg/TFMessage: every group's frames of a sample
  kTcpWrench = 3,          ///< geometry_msgs/msg/WrenchStamped, in the channel's frame
  kTcpWrenchLocal = 4,     ///< as kTcpWrench
  kRawTcpWrench = 5,       ///< as kTcpWrench
  kRawTcpWrenchLocal = 6,  ///< as kTcpWrench
  kIo = 7,                 ///< sensor_msgs/msg/Joy: the I/O as buttons
};

}  // namespace velmor::foxglove
