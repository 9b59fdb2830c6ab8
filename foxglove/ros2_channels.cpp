// LogTarget's ROS 2 channels and the joints' names, apart from the protobuf
// channels' calls in log_target.cpp.
#include <string>
#include <vector>

#include "foxglove/c_shapes.hpp"
#include "foxglove/log_target.hpp"

namespace velmor::foxglove {
namespace {

static_assert(static_cast<vf_ros2_message>(Ros2Message::kJointStates) == VF_ROS2_JOINT_STATES);
static_assert(static_cast<vf_ros2_message>(Ros2Message::kJointCommands) == VF_ROS2_JOINT_COMMANDS);
static_assert(static_cast<vf_ros2_message>(Ros2Message::kTf) == VF_ROS2_TF);
static_assert(static_cast<vf_ros2_message>(Ros2Message::kTcpWrench) == VF_ROS2_TCP_WRENCH);
static_assert(static_cast<vf_ros2_message>(Ros2Message::kTcpWrenchLocal) == VF_ROS2_TCP_WRENCH_LOCAL);
static_assert(static_cast<vf_ros2_message>(Ros2Message::kRawTcpWrench) == VF_ROS2_RAW_TCP_WRENCH);
static_assert(static_cast<vf_ros2_message>(Ros2Message::kRawTcpWrenchLocal) == VF_ROS2_RAW_TCP_WRENCH_LOCAL);
static_assert(static_cast<vf_ros2_message>(Ros2Message::kIo) == VF_ROS2_IO);

}  // namespace

using detail::Check;

std::uint32_t LogTarget::AddRos2Channel(const std::string& topic, Ros2Message message, const std::string& frame_id) {
  switch (message) {
    case Ros2Message::kRobotStates:
      return AddChannel(topic, Schema::kRobotStates);
    case Ros2Message::kRobotActions:
      return AddChannel(topic, Schema::kRobotActions);
    default:
      break;
  }
  std::uint32_t channel = 0;
  Check(vf_log_target_add_ros2_channel(target_, topic.c_str(), static_cast<vf_ros2_message>(message), frame_id.c_str(),
                                       &channel));
  return channel;
}

void LogTarget::SetJointNames(const std::vector<std::string>& names) {
  std::vector<const char*> c_names;
  c_names.reserve(names.size());
  for (const std::string& name : names) c_names.push_back(name.c_str());
  Check(vf_log_target_set_joint_names(target_, c_names.data(), c_names.size()));
}

}  // namespace velmor::foxglove
