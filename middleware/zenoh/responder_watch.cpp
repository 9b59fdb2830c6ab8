#include "middleware/zenoh/responder_watch.hpp"

#include <velmor_bridge.h>

#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh {

ResponderWatch::ResponderWatch(const Session& session, const KeyExpr& key) {
  const vb_result code = vb_responder_watch_declare(session.handle(), key.handle(), &handle_);
  if (code != VB_OK) throw ZException("Failed to declare ResponderWatch", code);
}

ResponderWatch::~ResponderWatch() { vb_responder_watch_undeclare(handle_); }

bool ResponderWatch::WaitUntilKnown(std::chrono::milliseconds within) const {
  const auto timeout_ms = within.count() > 0 ? static_cast<std::uint64_t>(within.count()) : 0;
  return vb_responder_watch_wait(handle_, timeout_ms);
}

}  // namespace velmor::zenoh
