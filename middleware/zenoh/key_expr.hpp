#pragma once
#include <string>
#include <string_view>

#include "middleware/zenoh/bridge_types.hpp"

namespace velmor::zenoh {

/// A key expression, canonised on construction (autocanonisation).
class KeyExpr {
 public:
  /// Throws ZException "Failed to construct KeyExpr from: <text>" when zenoh
  /// rejects the text even after canonisation.
  explicit KeyExpr(const std::string& text);
  ~KeyExpr();
  KeyExpr(KeyExpr&& other) noexcept;
  KeyExpr& operator=(KeyExpr&& other) noexcept;
  KeyExpr(const KeyExpr&) = delete;
  KeyExpr& operator=(const KeyExpr&) = delete;

  /// The canonical form.
  std::string_view as_string_view() const noexcept;
  const vb_keyexpr* handle() const noexcept { return handle_; }

 private:
  vb_keyexpr* handle_ = nullptr;
};

}  // namespace velmor::zenoh
