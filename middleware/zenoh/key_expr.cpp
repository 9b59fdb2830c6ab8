#include "middleware/zenoh/key_expr.hpp"

#include <velmor_bridge.h>

#include <utility>

#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh {

KeyExpr::KeyExpr(const std::string& text) {
  const vb_result code = vb_keyexpr_autocanonize(text.data(), text.size(), &handle_);
  if (code != VB_OK) throw ZException("Failed to construct KeyExpr from: " + text, code);
}

KeyExpr::~KeyExpr() { vb_keyexpr_drop(handle_); }

KeyExpr::KeyExpr(KeyExpr&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

KeyExpr& KeyExpr::operator=(KeyExpr&& other) noexcept {
  if (this != &other) {
    vb_keyexpr_drop(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

std::string_view KeyExpr::as_string_view() const noexcept {
  const char* data = nullptr;
  std::size_t size = 0;
  vb_keyexpr_as_str(handle_, &data, &size);
  return {data, size};
}

}  // namespace velmor::zenoh
