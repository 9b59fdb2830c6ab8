#pragma once
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include "velmor/qrk/client.hpp"

namespace velmor::test {

/// A client for `serial`, retried while zenoh has not yet discovered the
/// robot's host: construction itself gives up after three quick
/// reachability queries.
inline std::unique_ptr<qrk::Client> ConnectWithin(const std::string& serial, bool verbose = true,
                                                  std::chrono::seconds within = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (true) {
    try {
      return std::make_unique<qrk::Client>(serial, verbose);
    } catch (const std::runtime_error&) {
      if (std::chrono::steady_clock::now() > deadline) throw;
    }
  }
}

}  // namespace velmor::test
