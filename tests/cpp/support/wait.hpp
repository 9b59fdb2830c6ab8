#pragma once
#include <chrono>
#include <thread>

namespace velmor::test {

/// Polls `condition` until it holds or `timeout` passes; returns its last value.
/// For conditions set by other threads, read under their own locks.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

/// Wall time since `start`, in seconds, for timing assertions and reports.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace velmor::test
