#include "foxglove/live_server.hpp"

#include "foxglove/c_shapes.hpp"

namespace velmor::foxglove {

LiveServer::LiveServer(const std::string& host, std::uint16_t port, std::size_t max_viewers) {
  detail::Check(vf_live_server_start(host.c_str(), port, max_viewers, &handle_));
}

std::uint16_t LiveServer::Port() const noexcept { return vf_live_server_port(handle_); }

std::uint64_t LiveServer::Refused() const noexcept { return vf_live_server_refused(handle_); }

}  // namespace velmor::foxglove
