#pragma once
// What a channel of a ROS 2 recording carries (velmor_foxglove.h's
// vf_ros2_message tells each one's content): standard ROS 2 messages that a
// stock install plays, each made from one part of a sample, or a record
// whole as a type of our own interface package (ros2/velmorqrk_msgs), which
// plays only where that package is built.
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
  kRobotStates = 8,        ///< velmorqrk_msgs/msg/RobotStates: every field
  kRobotActions = 9,       ///< velmorqrk_msgs/msg/RobotActions: every field
};

}  // namespace velmor::foxglove
