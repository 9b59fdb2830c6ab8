#pragma once
// Clients for the tests and the benchmarks, constructed again while zenoh has
// not yet discovered the robot's host: construction itself gives up after
// about three seconds of search. Only that failure is retried; any other
// throws at once.
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "velmor/qrk/client.hpp"

namespace velmor::test {

/// True for the error construction throws when its search found no robot.
inline bool IsRobotNotFound(const std::runtime_error& error) {
  constexpr std::string_view kNotFound = "[velmor::qrk::Client] Failed to connect to [";
  return std::string_view(error.what()).substr(0, kNotFound.size()) == kNotFound;
}

/// A client for `serial`, constructed again while the robot is not found;
/// past `within` the last not-found error is rethrown.
inline std::unique_ptr<qrk::Client> ConnectWithin(const std::string& serial, bool verbose = true,
                                                  std::chrono::seconds within = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (true) {
    try {
      return std::make_unique<qrk::Client>(serial, verbose);
    } catch (const std::runtime_error& error) {
      if (!IsRobotNotFound(error) || std::chrono::steady_clock::now() > deadline) throw;
    }
  }
}

}  // namespace velmor::test
