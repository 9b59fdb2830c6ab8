#pragma once
// A zenoh session. The client's is opened with zenoh's default configuration
// and shared by every user in the process (see middleware/shared_session.hpp);
// it closes when the last shared reference is released. Thread safe: zenoh
// serialises concurrent use.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "middleware/zenoh/bridge_types.hpp"
#include "middleware/zenoh/byte_view.hpp"

namespace velmor::zenoh {

class KeyExpr;

/// Options of one query; the defaults are those every query of the client uses
/// (target best-matching, default consolidation, block, priority data).
struct GetOptions {
  std::vector<std::uint8_t> payload;
  std::int64_t timeout_ms = 0;
  /// Reach every matching server and hand over each reply as it comes, so
  /// that two servers on one key answer twice (zenoh otherwise merges
  /// replies on one key into one).
  bool every_server = false;
};

/// Where a session differs from zenoh's default configuration: only a server
/// placed behind a router (the simulator) needs it; the client never does.
struct SessionOptions {
  /// "peer" or "client"; empty keeps zenoh's default (peer).
  std::string mode;
  /// Endpoints to connect to, such as "tcp/10.0.0.1:7447".
  std::vector<std::string> connect;
};

/// Called on zenoh's threads for every reply; `ok` is false for an error
/// reply, whose key is empty. Key and payload are valid only during the call.
using ReplyHandler = std::function<void(bool ok, std::string_view key, ByteView payload)>;
/// Called exactly once on zenoh's threads when the query's replies have ended.
using RepliesDoneHandler = std::function<void()>;

class Session {
 public:
  /// Opens a session; throws ZException "Failed to open session".
  Session();
  /// Opens a session with `options`; throws ZException "Failed to open session"
  /// also for a mode or endpoint that zenoh rejects.
  explicit Session(const SessionOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// Sends a query. Handlers must not throw out (exceptions are swallowed)
  /// and must not block. `on_done` also runs when this call fails, which it
  /// reports by throwing ZException "Failed to perform get operation".
  void get(const KeyExpr& key, GetOptions options, ReplyHandler on_reply, RepliesDoneHandler on_done) const;

  const vb_session* handle() const noexcept { return handle_; }

 private:
  vb_session* handle_ = nullptr;
};

}  // namespace velmor::zenoh
