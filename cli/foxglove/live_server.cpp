#include "cli/foxglove/live_server.hpp"

#include <utility>

#include "cli/foxglove/c_shapes.hpp"

namespace velmor::cli::foxglove {

using detail::Check;
using detail::ToC;

LiveServer::LiveServer(const std::string& host, std::uint16_t port) {
  Check(vf_live_server_start(host.c_str(), port, &handle_));
}

LiveServer::~LiveServer() { vf_live_server_stop(handle_); }

LiveServer::LiveServer(LiveServer&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

LiveServer& LiveServer::operator=(LiveServer&& other) noexcept {
  if (this != &other) {
    vf_live_server_stop(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

std::uint16_t LiveServer::Port() const noexcept { return vf_live_server_port(handle_); }

std::size_t LiveServer::ClientCount() const noexcept { return vf_live_server_client_count(handle_); }

std::uint32_t LiveServer::AddChannel(const std::string& topic, Schema schema) {
  std::uint32_t channel = 0;
  Check(vf_live_server_add_channel(handle_, topic.c_str(), static_cast<vf_schema>(schema), &channel));
  return channel;
}

void LiveServer::LogStates(std::uint32_t channel, const MessageStamp& stamp, const std::string& group,
                           std::uint32_t first_joint, const qrk::RobotStates& states) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_group_states c_states = ToC(states, group, first_joint);
  Check(vf_live_server_log_states(handle_, channel, &c_stamp, &c_states));
}

void LiveServer::LogActions(std::uint32_t channel, const MessageStamp& stamp, const qrk::RobotActions& actions) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_group_actions c_actions = ToC(actions);
  Check(vf_live_server_log_actions(handle_, channel, &c_stamp, &c_actions));
}

void LiveServer::LogIo(std::uint32_t channel, const MessageStamp& stamp, const RobotIo& io) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_io c_io = ToC(io);
  Check(vf_live_server_log_io(handle_, channel, &c_stamp, &c_io));
}

}  // namespace velmor::cli::foxglove
