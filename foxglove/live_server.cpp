#include "foxglove/live_server.hpp"

#include "foxglove/c_shapes.hpp"

namespace velmor::foxglove {
namespace {

vf_live_server* Start(const std::string& host, std::uint16_t port, std::size_t max_viewers, McapProfile profile) {
  vf_live_server* server = nullptr;
  detail::Check(vf_live_server_start(host.c_str(), port, max_viewers, static_cast<vf_mcap_profile>(profile), &server));
  return server;
}

}  // namespace

void ReleaseHandle::operator()(vf_live_server* server) const noexcept { vf_live_server_stop(server); }

LiveServer::LiveServer(const std::string& host, std::uint16_t port, std::size_t max_viewers, McapProfile profile)
    : LiveServer(Start(host, port, max_viewers, profile)) {}

// The target is borrowed before the server is owned: a base class is made
// before the members.
LiveServer::LiveServer(vf_live_server* server) noexcept
    : LogTarget(vf_live_server_log_target(server)), server_(server) {}

std::uint16_t LiveServer::Port() const noexcept { return vf_live_server_port(server_.get()); }

std::uint64_t LiveServer::Refused() const noexcept { return vf_live_server_refused(server_.get()); }

}  // namespace velmor::foxglove
