#pragma once
// Ros2Topics<Target>: the topics of a ROS 2 recording, standard messages
// only, so that a stock ROS 2 install plays the file:
//
//   /<GROUP>/joint_states          sensor_msgs/msg/JointState: the joints' names, q, dq, tau
//   /<GROUP>/joint_commands        sensor_msgs/msg/JointState: q_d, dq_d, tau_d
//   /<GROUP>/tcp_wrench            geometry_msgs/msg/WrenchStamped, frame world
//   /<GROUP>/raw_tcp_wrench        the same, frame world
//   /<GROUP>/tcp_wrench_local      the same, frame <NAME>_tcp
//   /<GROUP>/raw_tcp_wrench_local  the same, frame <NAME>_tcp
//   /io                            sensor_msgs/msg/Joy: the I/O as buttons
//   /tf                            tf2_msgs/msg/TFMessage: the frames of FoxgloveTopics' /tf
//
// With --all-fields (Ros2AllFieldsPlan) each group adds its records whole,
// as types of our own interface package (ros2/velmorqrk_msgs):
//
//   /<GROUP>/states                velmorqrk_msgs/msg/RobotStates: every field of the states
//   /<GROUP>/actions               velmorqrk_msgs/msg/RobotActions: every field of the commanded values
//
// Only on request: `ros2 bag play` refuses a whole file when one of its
// types is not installed, and the default file must play anywhere.
//
// Every header's stamp is the receive time. <NAME> is the group's name as
// qrk prints it, which the frames carry as FoxgloveTopics' do; <GROUP> is
// the same where ROS 2 allows it as a topic's token (Ros2Token). The
// commanded wrench and the force-torque sensor's reading are left out: the
// robot does not say which frame they are in, and a wrench in a wrong frame
// would mislead every tool that draws it.
#include <array>
#include <cstdint>
#include <string>

#include "cli/common/group_text.hpp"
#include "cli/recorder/sample_topics.hpp"
#include "foxglove/mcap_writer.hpp"
#include "foxglove/messages.hpp"
#include "foxglove/ros2_message.hpp"

namespace velmor::cli {

/// The group's name where ROS 2 takes it as a topic's token (letters,
/// digits and underscores, not starting with a digit, no "__"), else
/// group_<number>.
std::string Ros2Token(qrk::JointGroup group);

struct Ros2Plan {
  static constexpr auto kProfile = foxglove::McapProfile::kRos2;

  struct Group {
    std::uint32_t joint_states = 0;
    std::uint32_t joint_commands = 0;
    std::array<std::uint32_t, 4> wrenches{};
  };

  template <class Target>
  static std::uint32_t AddIo(Target& target) {
    return target.AddRos2Channel("/io", foxglove::Ros2Message::kIo);
  }
  template <class Target>
  static std::uint32_t AddTf(Target& target) {
    return target.AddRos2Channel("/tf", foxglove::Ros2Message::kTf);
  }
  template <class Target>
  static Group AddGroup(Target& target, qrk::JointGroup group) {
    using foxglove::Ros2Message;
    const std::string topic = "/" + Ros2Token(group);
    const std::string tcp = GroupName(group) + "_tcp";
    return {target.AddRos2Channel(topic + "/joint_states", Ros2Message::kJointStates),
            target.AddRos2Channel(topic + "/joint_commands", Ros2Message::kJointCommands),
            {target.AddRos2Channel(topic + "/tcp_wrench", Ros2Message::kTcpWrench, kWorld),
             target.AddRos2Channel(topic + "/raw_tcp_wrench", Ros2Message::kRawTcpWrench, kWorld),
             target.AddRos2Channel(topic + "/tcp_wrench_local", Ros2Message::kTcpWrenchLocal, tcp),
             target.AddRos2Channel(topic + "/raw_tcp_wrench_local", Ros2Message::kRawTcpWrenchLocal, tcp)}};
  }
  template <class Target>
  static std::uint64_t LogStates(Target& target, const Group& group, const foxglove::MessageStamp& stamp,
                                 std::uint32_t first_joint, const qrk::RobotStates& states) {
    target.LogStates(group.joint_states, stamp, first_joint, states);
    for (const std::uint32_t wrench : group.wrenches) target.LogStates(wrench, stamp, first_joint, states);
    return 1 + group.wrenches.size();
  }
  template <class Target>
  static std::uint64_t LogActions(Target& target, const Group& group, const foxglove::MessageStamp& stamp,
                                  std::uint32_t first_joint, const qrk::RobotActions& actions) {
    target.LogActions(group.joint_commands, stamp, first_joint, actions);
    return 1;
  }

  static inline const std::string kWorld = "world";
};

/// Ros2Plan's topics and each group's records whole.
struct Ros2AllFieldsPlan : Ros2Plan {
  struct Group : Ros2Plan::Group {
    std::uint32_t states = 0;
    std::uint32_t actions = 0;
  };

  template <class Target>
  static Group AddGroup(Target& target, qrk::JointGroup group) {
    using foxglove::Ros2Message;
    const std::string topic = "/" + Ros2Token(group);
    return {Ros2Plan::AddGroup(target, group), target.AddRos2Channel(topic + "/states", Ros2Message::kRobotStates),
            target.AddRos2Channel(topic + "/actions", Ros2Message::kRobotActions)};
  }
  template <class Target>
  static std::uint64_t LogStates(Target& target, const Group& group, const foxglove::MessageStamp& stamp,
                                 std::uint32_t first_joint, const qrk::RobotStates& states) {
    target.LogStates(group.states, stamp, first_joint, states);
    return 1 + Ros2Plan::LogStates(target, group, stamp, first_joint, states);
  }
  template <class Target>
  static std::uint64_t LogActions(Target& target, const Group& group, const foxglove::MessageStamp& stamp,
                                  std::uint32_t first_joint, const qrk::RobotActions& actions) {
    target.LogActions(group.actions, stamp, first_joint, actions);
    return 1 + Ros2Plan::LogActions(target, group, stamp, first_joint, actions);
  }
};

template <class Target>
using Ros2Topics = SampleTopics<Target, Ros2Plan>;

/// Calls `use` with the ROS 2 plan that --all-fields chooses, for a file and
/// a live view alike: the records whole only on request (see above).
template <class Use>
decltype(auto) WithRos2Plan(bool all_fields, Use&& use) {
  if (all_fields) return use(Ros2AllFieldsPlan{});
  return use(Ros2Plan{});
}

}  // namespace velmor::cli
