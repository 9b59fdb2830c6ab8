#pragma once
// LogTarget: what McapWriter and LiveServer share, a handle of
// velmor_foxglove.h that messages are logged to on channels of its own. It
// owns the handle (null once moved from) and releases it with its kind's own
// function; the two kinds it exists for are explicitly instantiated in
// log_target.cpp.
#include <cstdint>
#include <string>
#include <vector>

#include "foxglove/messages.hpp"
#include "services/robot_io.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

extern "C" {
struct vf_mcap_writer;
struct vf_live_server;
}

namespace velmor::foxglove {

template <class Handle>
class LogTarget {
 public:
  ~LogTarget();
  LogTarget(LogTarget&& other) noexcept;
  LogTarget& operator=(LogTarget&& other) noexcept;
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;

  /// Adds a topic (the server advertises it); returns the channel to log on.
  /// A recording throws WriteError.
  std::uint32_t AddChannel(const std::string& topic, Schema schema);

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
  /// On a kRobotActions channel; throws as LogStates.
  void LogActions(std::uint32_t channel, const MessageStamp& stamp, const qrk::RobotActions& actions);
  /// On a kRobotIo channel; throws as LogStates.
  void LogIo(std::uint32_t channel, const MessageStamp& stamp, const qrk_impl::RobotIo& io);

 protected:
  LogTarget() = default;

  Handle* handle_ = nullptr;
};

extern template class LogTarget<vf_mcap_writer>;
extern template class LogTarget<vf_live_server>;

}  // namespace velmor::foxglove
