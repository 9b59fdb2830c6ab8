#include "sim/stream_loop.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <optional>
#include <thread>

#include "sim/tick_schedule.hpp"

namespace velmor::sim {
namespace {

// Sleeps are cut into slices this long so that a stop request is noticed
// promptly even at low rates.
constexpr std::chrono::milliseconds kMaxSleep{50};

}  // namespace

std::uint64_t RunStreamLoop(std::vector<std::unique_ptr<RobotServer>>& robots, const SimClock& clock,
                            const LoopSettings& settings, const std::function<bool()>& stop) {
  using Clock = SimClock::Clock;
  TickSchedule ticks(Clock::now(), settings.rate);
  std::optional<TickSchedule> garbage;
  if (settings.garbage_rate > 0.0) garbage.emplace(ticks.due(), settings.garbage_rate);
  // Without a duration the loop runs until stopped.
  const Clock::time_point end = settings.duration > 0.0
                                    ? clock.start() + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(settings.duration))
                                    : Clock::time_point::max();
  std::uint64_t published = 0;
  std::uint64_t toggles = 0;
  while (!stop()) {
    Clock::time_point now = Clock::now();
    if (now >= end) break;
    if (now < ticks.due()) {
      std::this_thread::sleep_until(std::min(ticks.due(), now + kMaxSleep));
      continue;
    }
    const double t = clock.SecondsAt(now);
    for (const std::uint64_t asked = settings.estop_toggles(); toggles < asked; ++toggles) {
      for (auto& robot : robots) robot->ToggleEstop(t);
    }
    if (!settings.streams_paused()) {
      for (auto& robot : robots) robot->PublishSample(t);
      ++published;
      if (garbage && now >= garbage->due()) {
        for (auto& robot : robots) robot->PublishGarbage();
        garbage->Advance(now);
      }
    }
    for (auto& robot : robots) robot->ReleaseHeldQueries(now);
    if (const std::uint64_t skipped = ticks.Advance(Clock::now()); skipped > 0) {
      spdlog::debug("fell behind the schedule: skipped {} ticks", skipped);
    }
  }
  return published;
}

}  // namespace velmor::sim
