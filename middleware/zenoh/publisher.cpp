#include "middleware/zenoh/publisher.hpp"

#include <velmor_bridge.h>

#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh {

void detail::UndeclarePublisher::operator()(vb_publisher* handle) const noexcept { vb_publisher_undeclare(handle); }

Publisher::Publisher(const Session& session, const KeyExpr& key) {
  vb_publisher* handle = nullptr;
  const vb_result code = vb_publisher_declare(session.handle(), key.handle(), &handle);
  handle_.reset(handle);
  if (code != VB_OK) throw ZException("Failed to declare Publisher", code);
}

void Publisher::put(const std::vector<std::uint8_t>& payload) const {
  const vb_result code = vb_publisher_put(handle_.get(), payload.data(), payload.size());
  if (code != VB_OK) throw ZException("Failed to put", code);
}

}  // namespace velmor::zenoh
