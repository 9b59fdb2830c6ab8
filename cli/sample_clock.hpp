#pragma once
// SampleClock: counts the samples on one key and remembers when the latest
// arrived, for the sample rate and the age of the latest sample. The handler
// only touches two atomics.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "middleware/zenoh/session.hpp"
#include "middleware/zenoh/subscriber.hpp"

namespace velmor::cli {

class SampleClock {
 public:
  using Clock = std::chrono::steady_clock;

  /// Subscribes to `key` at once; throws zenoh::ZException when it cannot.
  SampleClock(const zenoh::Session& session, const std::string& key);

  std::uint64_t Samples() const noexcept { return samples_.load(std::memory_order_relaxed); }
  /// How long ago the latest sample arrived; nothing before the first.
  std::optional<Clock::duration> Age() const noexcept;
  /// The age as people read it: "0.4 ms ago", or "no sample yet".
  std::string AgeText() const;

 private:
  std::atomic<std::uint64_t> samples_{0};
  std::atomic<Clock::rep> latest_{0};
  std::optional<zenoh::Subscriber> subscriber_;  // last: undeclared first
};

}  // namespace velmor::cli
