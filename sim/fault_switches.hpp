#pragma once
// Deliberate misbehaviour of the simulated server, so that the client's error
// paths can be watched and tested against a real process. All switches are
// off by default; the simulator then behaves like a healthy robot.
#include <cstdint>
#include <vector>

namespace velmor::sim {

struct FaultSwitches {
  /// Hold every query without replying; held queries end unanswered after
  /// kHoldTime (rpc_service.hpp).
  bool silent = false;
  /// Reply with bytes that do not decode as a reply.
  bool malformed = false;
  /// The first N primitive-state replies carry one empty entry.
  int corrupt_primitives = 0;
  /// Publish nothing on either stream.
  bool pause_streams = false;
  /// Publish nothing until SIGUSR1 arrives (resume_signal.hpp), then stream
  /// as usual.
  bool start_paused = false;
  /// Undecodable stream payloads per second, interleaved with the good ones.
  double garbage_rate = 0.0;
  /// Answer the reachability procedure with success true, which the client rejects.
  bool reachability_success = false;
};

/// Bytes that no message decoder accepts, derived from the valid payload
/// `valid`: cut short, one byte too long, or junk, chosen by `n` so that a
/// running counter cycles through all three. Junk bytes all have their high
/// bit set, which no bool accepts and which makes any sequence length run
/// past the end.
std::vector<std::uint8_t> GarblePayload(const std::vector<std::uint8_t>& valid, std::uint64_t n);

}  // namespace velmor::sim
