#pragma once
// Publishing exists for the robot simulator and the tests; the client itself
// never publishes.
#include <cstdint>
#include <memory>
#include <vector>

#include "middleware/zenoh/bridge_types.hpp"

namespace velmor::zenoh {

class KeyExpr;
class Session;

class Publisher {
 public:
  /// Throws ZException "Failed to declare Publisher".
  Publisher(const Session& session, const KeyExpr& key);

  /// Throws ZException "Failed to put".
  void put(const std::vector<std::uint8_t>& payload) const;

 private:
  std::unique_ptr<vb_publisher, detail::UndeclarePublisher> handle_;
};

}  // namespace velmor::zenoh
