#pragma once
// Answers one robot's remote procedures as they arrive from zenoh: decodes
// the request, applies the fault switches, and replies with the responder's
// answer. The queryable's handler shares ownership of this object, because
// undeclaring a queryable does not wait for a handler that is still running.
//
// Threads: Handle runs on zenoh's threads, possibly several at once; the
// release calls run on the main loop. Everything Handle touches is either
// immutable, atomic or locked inside its own member.
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
