#pragma once
// LiveServer: the SDK's Foxglove WebSocket server (velmor_foxglove.h's
// vf_live_server). It serves from the SDK's own threads; the Log calls only
// encode a message for the clients subscribed to its channel and queue it per
// client (a bounded queue: a slow client loses the oldest messages), so they
// never wait on a client.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "cli/foxglove/messages.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

extern "C" {
struct vf_live_server;
}

namespace velmor::cli::foxglove {

/// The server cannot listen: "cannot serve on HOST:PORT: reason".
struct ServeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class LiveServer {
 public:
  /// Listens on `host`:`port` (0: any free port). Throws ServeError.
  LiveServer(const std::string& host, std::uint16_t port);
  /// Closes every connection and waits for the server's tasks to end.
  ~LiveServer();
  LiveServer(LiveServer&& other) noexcept;
  LiveServer& operator=(LiveServer&& other) noexcept;
  LiveServer(const LiveServer&) = delete;
  LiveServer& operator=(const LiveServer&) = delete;

  std::uint16_t Port() const noexcept;
  std::size_t ClientCount() const noexcept;

  /// Adds and advertises a topic; returns the channel to log on.
  std::uint32_t AddChannel(const std::string& topic, Schema schema);
  /// As McapWriter's; the stamp's log time is the only one sent. Throw
  /// std::invalid_argument when the channel does not carry what is logged.
  void LogStates(std::uint32_t channel, const MessageStamp& stamp, const std::string& group, std::uint32_t first_joint,
                 const qrk::RobotStates& states);
  void LogActions(std::uint32_t channel, const MessageStamp& stamp, const qrk::RobotActions& actions);
  void LogIo(std::uint32_t channel, const MessageStamp& stamp, const RobotIo& io);

 private:
  vf_live_server* handle_ = nullptr;
};

}  // namespace velmor::cli::foxglove
