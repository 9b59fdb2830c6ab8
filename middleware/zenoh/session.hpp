#pragma once
// A zenoh session opened with zenoh's default configuration. It is shared by
// every user in the process (see middleware/shared_session.hpp) and closes
// when the last shared reference is released. Thread safe: zenoh serialises
// concurrent use.
#include <cstdint>
#include <functional>
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
