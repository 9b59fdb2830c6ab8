#pragma once
#include <memory>
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

  /// The canonical form.
  std::string_view as_string_view() const noexcept;
  const vb_keyexpr* handle() const noexcept { return handle_.get(); }

 private:
  std::unique_ptr<vb_keyexpr, detail::DropKeyExpr> handle_;
};

}  // namespace velmor::zenoh
