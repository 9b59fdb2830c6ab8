#pragma once
// Publishing exists for the robot simulator and the tests; the client itself
// never publishes.
#include <cstdint>
#include <vector>

#include "middleware/zenoh/bridge_types.hpp"

namespace velmor::zenoh {

class KeyExpr;
class Session;

class Publisher {
 public:
  /// Throws ZException "Failed to declare Publisher".
  Publisher(const Session& session, const KeyExpr& key);
  ~Publisher();
  Publisher(Publisher&& other) noexcept;
  Publisher& operator=(Publisher&& other) noexcept;
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  /// Throws ZException "Failed to put".
  void put(const std::vector<std::uint8_t>& payload) const;

 private:
  vb_publisher* handle_ = nullptr;
};

}  // namespace velmor::zenoh
