#include "foxglove/log_target.hpp"

#include <utility>
#include <vector>

#include "foxglove/c_shapes.hpp"

namespace velmor::foxglove {
namespace {

using detail::Check;
using detail::ToC;

// The C functions of each handle kind, which velmor_foxglove.h gives the same
// signatures.
template <class Handle>
struct CFunctions;

template <>
struct CFunctions<vf_mcap_writer> {
  static constexpr auto kAddChannel = vf_mcap_writer_add_channel;
  static constexpr auto kLogStates = vf_mcap_writer_log_states;
  static constexpr auto kLogFrames = vf_mcap_writer_log_frames;
  static constexpr auto kLogActions = vf_mcap_writer_log_actions;
  static constexpr auto kLogIo = vf_mcap_writer_log_io;
  static constexpr auto kRelease = vf_mcap_writer_drop;
};

template <>
struct CFunctions<vf_live_server> {
  static constexpr auto kAddChannel = vf_live_server_add_channel;
  static constexpr auto kLogStates = vf_live_server_log_states;
  static constexpr auto kLogFrames = vf_live_server_log_frames;
  static constexpr auto kLogActions = vf_live_server_log_actions;
  static constexpr auto kLogIo = vf_live_server_log_io;
  static constexpr auto kRelease = vf_live_server_stop;
};

}  // namespace

template <class Handle>
LogTarget<Handle>::~LogTarget() {
  CFunctions<Handle>::kRelease(handle_);
}

template <class Handle>
LogTarget<Handle>::LogTarget(LogTarget&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

template <class Handle>
LogTarget<Handle>& LogTarget<Handle>::operator=(LogTarget&& other) noexcept {
  if (this != &other) {
    CFunctions<Handle>::kRelease(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

template <class Handle>
std::uint32_t LogTarget<Handle>::AddChannel(const std::string& topic, Schema schema) {
  std::uint32_t channel = 0;
  Check(CFunctions<Handle>::kAddChannel(handle_, topic.c_str(), static_cast<vf_schema>(schema), &channel));
  return channel;
}

template <class Handle>
void LogTarget<Handle>::LogStates(std::uint32_t channel, const MessageStamp& stamp, std::uint32_t first_joint,
                                  const qrk::RobotStates& states) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_group_states c_states = ToC(states, first_joint);
  Check(CFunctions<Handle>::kLogStates(handle_, channel, &c_stamp, &c_states));
}

template <class Handle>
void LogTarget<Handle>::LogFrames(std::uint32_t channel, const MessageStamp& stamp,
                                  const std::vector<GroupFrames>& groups) {
  const vf_stamp c_stamp = ToC(stamp);
  std::vector<vf_group_frames> c_groups;
  c_groups.reserve(groups.size());
  for (const GroupFrames& group : groups) c_groups.push_back(ToC(group));
  Check(CFunctions<Handle>::kLogFrames(handle_, channel, &c_stamp, c_groups.data(), groups.size()));
}

template <class Handle>
void LogTarget<Handle>::LogActions(std::uint32_t channel, const MessageStamp& stamp, const qrk::RobotActions& actions) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_group_actions c_actions = ToC(actions);
  Check(CFunctions<Handle>::kLogActions(handle_, channel, &c_stamp, &c_actions));
}

template <class Handle>
void LogTarget<Handle>::LogIo(std::uint32_t channel, const MessageStamp& stamp, const qrk_impl::RobotIo& io) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_io c_io = ToC(io);
  Check(CFunctions<Handle>::kLogIo(handle_, channel, &c_stamp, &c_io));
}

template class LogTarget<vf_mcap_writer>;
template class LogTarget<vf_live_server>;

}  // namespace velmor::foxglove
