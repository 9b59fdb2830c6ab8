#pragma once
// SafetyScript: an operator at the simulated robot, pressing and releasing
// the E-stop, letting go of the enabling device and switching digital
// inputs, at given times (--event) or when told to (SIGUSR2 toggles the
// E-stop). Every input the script names is its own from the start: it rests
// (E-stop released, enabling device held, input off) until its first event,
// instead of following the model's own pattern, so that each event is the
// only edge of its input. The state is a function of time and the events
// recorded so far; one thread (the stream loop's) uses a script.
#include <string>
#include <vector>

#include "messages/stream_messages.hpp"

namespace velmor::sim {

enum class SafetyInput { kEstop, kEnablingDevice, kDigitalInput };

struct SafetyEvent {
  SafetyInput input = SafetyInput::kEstop;
  /// The digital input's number, 0 to 19.
  unsigned index = 0;
  /// Pressed (E-stop), held (enabling device), on (digital input).
  bool engaged = false;
  /// Seconds on the simulator's clock, the samples' time.
  double at = 0.0;
};

/// Parses "estop:press@2.5", "estop:release@4", "enabling:off@3",
/// "enabling:on@5", "di:3:on@1.5", "di:3:off@2". Throws
/// std::invalid_argument with the reason.
SafetyEvent ParseSafetyEvent(const std::string& text);

class SafetyScript {
 public:
  SafetyScript() = default;
  explicit SafetyScript(std::vector<SafetyEvent> events);

  /// Presses the E-stop if it is released at `t`, releases it otherwise,
  /// from `t` on. `t` must not precede an earlier toggle's.
  void ToggleEstop(double t);
  /// Sets the inputs the script owns to their state at `t`.
  void Apply(zenoh_msgs::qrk_msg::StatusData& status, double t) const;

 private:
  bool EngagedAt(SafetyInput input, unsigned index, double t) const;

  std::vector<SafetyEvent> events_;  // in time order
};

}  // namespace velmor::sim
