#pragma once
// FoxgloveTopics<Target>: the fixed topics under which qrk shows a robot in
// Foxglove and PlotJuggler, the same in an MCAP recording (Target =
// McapWriter) and on the live server (Target = LiveServer), so that a layout
// saved for one robot works for every robot and for both:
//
//   /<GROUP>/joint_states  foxglove.JointStates: the joints' names, q, dq, tau
//   /<GROUP>/states        every field of the group's RobotStates
//   /<GROUP>/actions       every field of the group's RobotActions
//   /io                    E-stop, enabling device, 20 digital inputs and outputs
//   /tf                    one message per sample: for every group
//                          world -> <GROUP>_tcp and world -> <GROUP>_flange
//
// <GROUP> is the group's name as qrk prints it. What every plan shares
// (which groups, when, the stamps) is sample_topics.hpp's.
#include <cstdint>
#include <string>

#include "cli/common/group_text.hpp"
#include "cli/recorder/sample_topics.hpp"
#include "foxglove/mcap_writer.hpp"
#include "foxglove/messages.hpp"

namespace velmor::cli {

struct FoxglovePlan {
  static constexpr auto kProfile = foxglove::McapProfile::kFoxglove;

  struct Group {
    std::uint32_t joint_states = 0;
    std::uint32_t states = 0;
    std::uint32_t actions = 0;
  };

  template <class Target>
  static std::uint32_t AddIo(Target& target) {
    return target.AddChannel("/io", foxglove::Schema::kRobotIo);
  }
  template <class Target>
  static std::uint32_t AddTf(Target& target) {
    return target.AddChannel("/tf", foxglove::Schema::kFrameTransforms);
  }
  template <class Target>
  static Group AddGroup(Target& target, qrk::JointGroup group) {
    using foxglove::Schema;
    const std::string topic = "/" + GroupName(group);
    return {target.AddChannel(topic + "/joint_states", Schema::kJointStates),
            target.AddChannel(topic + "/states", Schema::kRobotStates),
            target.AddChannel(topic + "/actions", Schema::kRobotActions)};
  }
  template <class Target>
  static std::uint64_t LogStates(Target& target, const Group& group, const foxglove::MessageStamp& stamp,
                                 std::uint32_t first_joint, const qrk::RobotStates& states) {
    target.LogStates(group.joint_states, stamp, first_joint, states);
    target.LogStates(group.states, stamp, first_joint, states);
    return 2;
  }
  template <class Target>
  static std::uint64_t LogActions(Target& target, const Group& group, const foxglove::MessageStamp& stamp,
                                  std::uint32_t first_joint, const qrk::RobotActions& actions) {
    target.LogActions(group.actions, stamp, first_joint, actions);
    return 1;
  }
};

template <class Target>
using FoxgloveTopics = SampleTopics<Target, FoxglovePlan>;

}  // namespace velmor::cli
