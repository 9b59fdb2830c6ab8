#include "middleware/zenoh/publisher.hpp"

#include <velmor_bridge.h>

#include <utility>

#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh {

Publisher::Publisher(const Session& session, const KeyExpr& key) {
  const vb_result code = vb_publisher_declare(session.handle(), key.handle(), &handle_);
  if (code != VB_OK) throw ZException("Failed to declare Publisher", code);
}

Publisher::~Publisher() { vb_publisher_undeclare(handle_); }

Publisher::Publisher(Publisher&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Publisher& Publisher::operator=(Publisher&& other) noexcept {
  if (this != &other) {
    vb_publisher_undeclare(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void Publisher::put(const std::vector<std::uint8_t>& payload) const {
  const vb_result code = vb_publisher_put(handle_, payload.data(), payload.size());
  if (code != VB_OK) throw ZException("Failed to put", code);
}

}  // namespace velmor::zenoh
