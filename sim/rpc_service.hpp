#pragma once
// Answers one robot's remote procedures as they arrive from zenoh: decodes
// the request, applies the fault switches, and replies with the responder's
// answer. Undeclaring the queryable waits for a handler that is still
// running, so the queryable's owner may hold this object as a plain member
// declared before it.
//
// Threads: Handle runs on zenoh's threads, one query at a time (the bridge
// lets one call of a queryable in at once); the release calls run on the
// main loop, concurrently with Handle. What both touch (the held queries) is
// locked inside its own member; the rest is immutable or atomic.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "middleware/zenoh/queryable.hpp"
#include "sim/fault_switches.hpp"
#include "sim/holding_pen.hpp"
#include "sim/rpc_responder.hpp"
#include "sim/sim_clock.hpp"

namespace velmor::sim {

/// How long the silent server keeps a query before letting it end unanswered,
/// and how many it keeps at most.
inline constexpr std::chrono::seconds kHoldTime{5};
inline constexpr std::size_t kMaxHeldQueries = 10000;

class RpcService {
 public:
  RpcService(std::string serial, FaultSwitches faults, ResponderSettings settings, SimClock clock);

  /// Answers (or, when silent, holds) one query. Never throws.
  void Handle(const zenoh::Query& query) noexcept;

  /// Ends the held queries older than kHoldTime at `now`.
  void ReleaseExpired(SimClock::Clock::time_point now);
  /// Ends every held query.
  void ReleaseAll();

 private:
  const std::string serial_;
  const FaultSwitches faults_;
  const SimClock clock_;
  RpcResponder responder_;
  HoldingPen<zenoh::Query> held_;
  std::atomic<std::uint64_t> malformed_replies_{0};
};

}  // namespace velmor::sim
