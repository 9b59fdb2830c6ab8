#pragma once
// LogTarget: what McapWriter and LiveServer share, velmor_foxglove.h's
// vf_log_target that messages are logged to on channels of its own. It
// borrows the target from the handle its derived class owns, so it lives
// exactly as long as that handle; moving the owner moves both (null once
// moved from).
#include <cstdint>
#include <string>
#include <vector>

#include "foxglove/messages.hpp"
#include "foxglove/ros2_message.hpp"
#include "services/robot_io.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

extern "C" {
struct vf_log_target;
}

namespace velmor::foxglove {

class LogTarget {
 public:
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;

  /// Adds a topic (the server advertises it); returns the channel to log on.
  /// A recording throws WriteError; a target of McapProfile::kRos2 throws
  /// std::invalid_argument.
  std::uint32_t AddChannel(const std::string& topic, Schema schema);
  /// Adds a ROS 2 topic to a target of McapProfile::kRos2 (which takes no
  /// other); `frame_id` is the frame a wrench is in. Throws
  /// std::invalid_argument on any other target.
  /// kRobotStates and kRobotActions take no frame.
  std::uint32_t AddRos2Channel(const std::string& topic, Ros2Message message, const std::string& frame_id = "");
  /// Names the robot's joints: `names[i]` is joint i's (its index in the
  /// whole robot); an empty name, or none, keeps joint_<i>. Once, before
  /// the first message; throws std::invalid_argument a second time.
  void SetJointNames(const std::vector<std::string>& names);

  /// Logs a group's states on a kJointStates or kRobotStates channel:
  /// `first_joint` (its first joint's index in the whole robot) names its
  /// joints. Throws
  /// std::invalid_argument when the channel does not carry states or the
  /// record's joint vectors differ in length; a recording throws WriteError
  /// when its file cannot be written (every later call throws it again; the
  /// file keeps its complete chunks).
  void LogStates(std::uint32_t channel, const MessageStamp& stamp, std::uint32_t first_joint,
                 const qrk::RobotStates& states);
  /// Logs every group's frames of one sample as one message on a
  /// kFrameTransforms channel; throws as LogStates.
  void LogFrames(std::uint32_t channel, const MessageStamp& stamp, const std::vector<GroupFrames>& groups);
  /// On a kRobotActions channel (or a ROS 2 joint commands one); throws as
  /// LogStates.
  void LogActions(std::uint32_t channel, const MessageStamp& stamp, std::uint32_t first_joint,
                  const qrk::RobotActions& actions);
  /// On a kRobotIo channel; throws as LogStates.
  void LogIo(std::uint32_t channel, const MessageStamp& stamp, const qrk_impl::RobotIo& io);

 protected:
  /// `target` is the owner's handle's, which the owner keeps until it is
  /// destroyed or moved from.
  explicit LogTarget(const vf_log_target* target) noexcept : target_(target) {}
  ~LogTarget() = default;
  LogTarget(LogTarget&& other) noexcept;
  LogTarget& operator=(LogTarget&& other) noexcept;

 private:
  const vf_log_target* target_;
};

}  // namespace velmor::foxglove
