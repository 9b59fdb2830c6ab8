#include "middleware/zenoh/key_expr.hpp"

#include <velmor_bridge.h>

#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh {

void detail::DropKeyExpr::operator()(vb_keyexpr* handle) const noexcept { vb_keyexpr_drop(handle); }

KeyExpr::KeyExpr(const std::string& text) {
  vb_keyexpr* handle = nullptr;
  const vb_result code = vb_keyexpr_autocanonize(text.data(), text.size(), &handle);
  handle_.reset(handle);
  if (code != VB_OK) throw ZException("Failed to construct KeyExpr from: " + text, code);
}

std::string_view KeyExpr::as_string_view() const noexcept {
  const char* data = nullptr;
  std::size_t size = 0;
  vb_keyexpr_as_str(handle_.get(), &data, &size);
  return {data, size};
}

}  // namespace velmor::zenoh
