#include "cli/sample_clock.hpp"

#include <fmt/format.h>

#include "middleware/zenoh/key_expr.hpp"

namespace velmor::cli {

SampleClock::SampleClock(const zenoh::Session& session, const std::string& key) {
  subscriber_.emplace(session, zenoh::KeyExpr(key), [this](zenoh::ByteView) {
    latest_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    samples_.fetch_add(1, std::memory_order_relaxed);
  });
}

std::optional<SampleClock::Clock::duration> SampleClock::Age() const noexcept {
  const Clock::rep latest = latest_.load(std::memory_order_relaxed);
  if (latest == 0) return std::nullopt;
  return Clock::now().time_since_epoch() - Clock::duration(latest);
}

std::string SampleClock::AgeText() const {
  const auto age = Age();
  return age ? fmt::format("{:.1f} ms ago", std::chrono::duration<double, std::milli>(*age).count()) : "no sample yet";
}

}  // namespace velmor::cli
