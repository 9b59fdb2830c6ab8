#pragma once
#include <cstddef>
#include <cstdint>

namespace velmor::zenoh {

/// Borrowed bytes of a payload; valid only for the duration of the callback
/// that received them.
struct ByteView {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

}  // namespace velmor::zenoh
