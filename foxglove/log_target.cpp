#include "foxglove/log_target.hpp"

#include <utility>
#include <vector>

#include "foxglove/c_shapes.hpp"

namespace velmor::foxglove {

using detail::Check;
using detail::ToC;

LogTarget::LogTarget(LogTarget&& other) noexcept : target_(std::exchange(other.target_, nullptr)) {}

LogTarget& LogTarget::operator=(LogTarget&& other) noexcept {
  target_ = std::exchange(other.target_, nullptr);
  return *this;
}

std::uint32_t LogTarget::AddChannel(const std::string& topic, Schema schema) {
  std::uint32_t channel = 0;
  Check(vf_log_target_add_channel(target_, topic.c_str(), static_cast<vf_schema>(schema), &channel));
  return channel;
}

void LogTarget::LogStates(std::uint32_t channel, const MessageStamp& stamp, std::uint32_t first_joint,
                          const qrk::RobotStates& states) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_group_states c_states = ToC(states, first_joint);
  Check(vf_log_target_log_states(target_, channel, &c_stamp, &c_states));
}

void LogTarget::LogFrames(std::uint32_t channel, const MessageStamp& stamp, const std::vector<GroupFrames>& groups) {
  const vf_stamp c_stamp = ToC(stamp);
  std::vector<vf_group_frames> c_groups;
  c_groups.reserve(groups.size());
  for (const GroupFrames& group : groups) c_groups.push_back(ToC(group));
  Check(vf_log_target_log_frames(target_, channel, &c_stamp, c_groups.data(), groups.size()));
}

void LogTarget::LogActions(std::uint32_t channel, const MessageStamp& stamp, std::uint32_t first_joint,
                           const qrk::RobotActions& actions) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_group_actions c_actions = ToC(actions, first_joint);
  Check(vf_log_target_log_actions(target_, channel, &c_stamp, &c_actions));
}

void LogTarget::LogIo(std::uint32_t channel, const MessageStamp& stamp, const qrk_impl::RobotIo& io) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_io c_io = ToC(io);
  Check(vf_log_target_log_io(target_, channel, &c_stamp, &c_io));
}

}  // namespace velmor::foxglove
