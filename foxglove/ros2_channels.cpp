// LogTarget's ROS 2 channels and the joints' names, apart from the protobuf
// channels' calls in log_target.cpp.
#include <string>
#include <vector>

#include "foxglove/c_shapes.hpp"
#include "foxglove/field_table.hpp"
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

// The type is made from the record's field table (the values of a default
// record are not read), as a protobuf record channel's schema is.
template <class Record>
std::uint32_t AddRecordChannel(const vf_log_target* target, const std::string& topic, const char* name) {
  const auto table = detail::FieldTable(Record{});
  std::uint32_t channel = 0;
  detail::Check(
      vf_log_target_add_ros2_record_channel(target, topic.c_str(), name, table.data(), table.size(), &channel));
  return channel;
}

}  // namespace

using detail::Check;

std::uint32_t LogTarget::AddRos2Channel(const std::string& topic, Ros2Message message, const std::string& frame_id) {
  switch (message) {
    case Ros2Message::kRobotStates:
      return AddRecordChannel<qrk::RobotStates>(target_, topic, "RobotStates");
    case Ros2Message::kRobotActions:
      return AddRecordChannel<qrk::RobotActions>(target_, topic, "RobotActions");
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
