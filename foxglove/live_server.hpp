#pragma once
// LiveServer: the SDK's Foxglove WebSocket server (velmor_foxglove.h's
// vf_live_server). It serves from the SDK's own threads; the Log calls only
// encode a message for the clients subscribed to its channel and queue it per
// client (a bounded queue: a slow client loses the oldest messages), so they
// never wait on a client. Of a message's stamp, only the log time is sent.
// Destroying it closes every connection and waits at most half a second for
// the server's tasks to end.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "foxglove/log_target.hpp"
#include "foxglove/owned_handle.hpp"

namespace velmor::foxglove {

/// The server cannot listen: "cannot serve on HOST:PORT: reason".
struct ServeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class LiveServer : public LogTarget {
 public:
  /// Listens on `host`:`port` (0: any free port) for at most `max_viewers`
  /// connections at once (at least 1), serving channels of `profile` only,
  /// as a recording of it holds (McapProfile::kRos2: AddRos2Channel's).
  /// Throws ServeError.
  LiveServer(const std::string& host, std::uint16_t port, std::size_t max_viewers,
             McapProfile profile = McapProfile::kFoxglove);

  std::uint16_t Port() const noexcept;
  /// Connections refused so far for being over `max_viewers`.
  std::uint64_t Refused() const noexcept;

 private:
  explicit LiveServer(vf_live_server* server) noexcept;

  OwnedHandle<vf_live_server> server_;
};

}  // namespace velmor::foxglove
