#include "cli/foxglove/live_server.hpp"

#include "cli/foxglove/c_shapes.hpp"

namespace velmor::cli::foxglove {

LiveServer::LiveServer(const std::string& host, std::uint16_t port) {
  detail::Check(vf_live_server_start(host.c_str(), port, &handle_));
}

std::uint16_t LiveServer::Port() const noexcept { return vf_live_server_port(handle_); }

std::size_t LiveServer::ClientCount() const noexcept { return vf_live_server_client_count(handle_); }

}  // namespace velmor::cli::foxglove
