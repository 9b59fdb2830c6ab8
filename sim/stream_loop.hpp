#pragma once
// The main loop: publishes every robot's streams on a steady schedule,
// interleaves garbage when asked, lets held queries end, and returns when a
// stop is requested or the run time is over. Runs on the calling thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sim/robot_server.hpp"
#include "sim/sim_clock.hpp"

namespace velmor::sim {

struct LoopSettings {
  double rate = 1000.0;
  double garbage_rate = 0.0;
  /// Asked before every tick: while true, nothing is published.
  std::function<bool()> streams_paused = [] { return false; };
  /// How many E-stop toggles were asked for so far: each new one toggles
  /// every robot's E-stop at the next tick.
  std::function<std::uint64_t()> estop_toggles = [] { return std::uint64_t{0}; };
  /// Seconds after the clock's start; 0 runs until `stop` says so.
  double duration = 0.0;
};

/// Returns the number of ticks published per robot.
std::uint64_t RunStreamLoop(std::vector<std::unique_ptr<RobotServer>>& robots, const SimClock& clock,
                            const LoopSettings& settings, const std::function<bool()>& stop);

}  // namespace velmor::sim
