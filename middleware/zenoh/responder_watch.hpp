#pragma once
// Whether zenoh knows a queryable that a query on one key expression would
// reach. zenoh ends a query at once, with no reply, while it knows none: a
// server that is still starting, or one this session has not learnt of yet,
// looks exactly like no server. Waiting here first gives it the time to show
// up. Only for the caller's thread: waiting blocks it.
#include <chrono>

#include "middleware/zenoh/bridge_types.hpp"

namespace velmor::zenoh {

class KeyExpr;
class Session;

class ResponderWatch {
 public:
  /// Throws ZException "Failed to declare ResponderWatch".
  ResponderWatch(const Session& session, const KeyExpr& key);
  ~ResponderWatch();
  ResponderWatch(const ResponderWatch&) = delete;
  ResponderWatch& operator=(const ResponderWatch&) = delete;

  /// True as soon as a responder is known (at once if it already is), false
  /// when `within` passes first.
  bool WaitUntilKnown(std::chrono::milliseconds within) const;

 private:
  vb_responder_watch* handle_ = nullptr;
};

}  // namespace velmor::zenoh
