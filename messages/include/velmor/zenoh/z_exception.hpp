#pragma once
// The error type of the zenoh facade: every middleware, encoding and decoding
// failure reaches callers as a ZException carrying zenoh's own result code.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmor::zenoh {

/// zenoh's C result codes; 0 means success.
using ZResult = std::int8_t;
inline constexpr ZResult Z_OK = 0;
inline constexpr ZResult Z_EINVAL = -1;
inline constexpr ZResult Z_EPARSE = -2;
inline constexpr ZResult Z_EIO = -3;
inline constexpr ZResult Z_ENETWORK = -4;
inline constexpr ZResult Z_ENULL = -5;
inline constexpr ZResult Z_EUNAVAILABLE = -6;
inline constexpr ZResult Z_EDESERIALIZE = -7;
inline constexpr ZResult Z_ESESSION_CLOSED = -8;
inline constexpr ZResult Z_EUTF8 = -9;
inline constexpr ZResult Z_EGENERIC = -128;

class ZException : public std::runtime_error {
 public:
  /// The message reads `operation` followed directly by "(Error code: <code> )".
  ZException(const std::string& operation, ZResult code)
      : std::runtime_error(operation + "(Error code: " + std::to_string(code) + " )"), code_(code) {}

  ZResult code() const noexcept { return code_; }

 private:
  ZResult code_;
};

}  // namespace velmor::zenoh
