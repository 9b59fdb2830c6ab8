#pragma once
// Helpers shared by the modes of e2e_reader: the stamp-server time stamps,
// connecting while discovery is still under way, and CPU and memory readings
// of the process.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/connect.hpp"
#include "velmor/qrk/client.hpp"

namespace velmor::bench {

using Clock = std::chrono::steady_clock;

inline constexpr int kWarmUp = 300;
inline constexpr auto kGiveUpAfter = std::chrono::seconds(120);

/// CLOCK_MONOTONIC in nanoseconds modulo 2^32, stamp-server's send-time unit.
inline std::uint32_t NowLow() {
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

inline std::int64_t NanosBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
}

inline std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

/// A quiet client; the robot may not be discovered yet when the first search
/// starts (the tests' ConnectWithin waits for it).
inline std::unique_ptr<qrk::Client> Connect(const std::string& serial) {
  return test::ConnectWithin(serial, false, std::chrono::seconds(30));
}

/// CPU time of every thread of the process, in seconds.
inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// Each sample's delay as seen by a bare subscriber callback, by sequence
/// number; written on zenoh's thread, read by the poller.
class RawDelays {
 public:
  void Record(std::uint32_t sequence, std::uint32_t delay) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[sequence % kSlots] = {sequence, delay};
  }
  std::optional<std::uint32_t> Find(std::uint32_t sequence) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& slot = slots_[sequence % kSlots];
    if (slot.first != sequence) return std::nullopt;
    return slot.second;
  }

 private:
  static constexpr std::size_t kSlots = 1 << 16;
  std::mutex mutex_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> slots_ = decltype(slots_)(kSlots);
};

/// e2e_reader fleet: N clients in one process against N robots (see
/// e2e_fleet.cpp).
int Fleet(const std::vector<std::string>& serials, int seconds);
/// e2e_reader fleet-bare: the bare reference process run beside it.
int FleetBare(const std::vector<std::string>& serials, int seconds);

}  // namespace velmor::bench
